#include "gui/kestrum_app.h"

#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

#include <clocale>
#include <cstdio>

#include "gui/kestrum_dlg.h"

namespace kestrum {

CKestrumApp::CKestrumApp(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_ALL, "");
  setApplicationName(QStringLiteral("kestrum"));
  // The program speaks Chinese whatever the locale: Qt's own dialogs (the
  // folder chooser, the buttons of message boxes) too, where Qt ships the texts.
  auto* translator = new QTranslator(this);
  if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installTranslator(translator);
  }
}

int CKestrumApp::Run() {
  MainWindowOptions options;
  QStringList args = arguments();
  args.removeFirst();
  for (const QString& arg : args) {
    if (arg == QStringLiteral("--images-only")) {
      options.systemDisks = false;
    } else if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
      std::fprintf(stdout, "usage: kestrum [--images-only] [IMAGE...]\n"
                           "  IMAGE         a disk or volume image file, added as a disk\n"
                           "  --images-only list only the given images, not the machine's disks\n");
      return 0;
    } else {
      options.images.push_back(arg.toStdU16String());
    }
  }
  CKestrumDlg window(options);
  window.exec();
  return 0;
}

}  // namespace kestrum
