#include "gui/crash_message.h"

#include <QApplication>
#include <QMessageBox>

#include <cstring>

#include "gui/translations.h"
#include "platform/crash_reporter.h"
#include "platform/user_locale.h"

namespace kestrum {

bool IsCrashMessageRun(int argc, char** argv) {
  return argc == 3 && std::strcmp(argv[1], kCrashMessageOption) == 0;
}

int ShowCrashMessage(int argc, char** argv) {
  QApplication app(argc, argv);
  UseLanguage(LanguageFromEnvironment(platform::UserLocaleName()));
  QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("kestrum", "错误"), QString::fromStdString(CrashMessage(argv[2])),
                  QMessageBox::Ok);
  box.exec();
  return 0;
}

}  // namespace kestrum
