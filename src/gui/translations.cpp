#include "gui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kestrum {

namespace {

QTranslator* gProgram = nullptr;  // the program's English
QTranslator* gQt = nullptr;       // Qt's own Chinese

void Drop(QTranslator*& translator) {
  if (translator == nullptr) return;
  QCoreApplication::removeTranslator(translator);
  delete translator;
  translator = nullptr;
}

}  // namespace

void UseLanguage(Language language) {
  SetLanguage(language);
  Drop(gProgram);
  Drop(gQt);
  if (language == Language::kEnglish) {
    // The source texts are Chinese: English is a translation of them, while
    // Qt's own texts are English already.
    gProgram = new QTranslator;
    if (gProgram->load(QStringLiteral(":/i18n/kestrum_en.qm"))) {
      QCoreApplication::installTranslator(gProgram);
    } else {
      Drop(gProgram);
    }
    return;
  }
  // Qt's dialogs (the folder chooser, the buttons of message boxes) in
  // Chinese too, where Qt ships the texts.
  gQt = new QTranslator;
  if (gQt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(gQt);
  } else {
    Drop(gQt);
  }
}

}  // namespace kestrum
