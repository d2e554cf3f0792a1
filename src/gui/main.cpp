// kestrum: the desktop program.

#include "gui/crash_message.h"
#include "gui/kestrum_app.h"
#include "platform/crash_reporter.h"

int main(int argc, char** argv) {
  if (kestrum::IsCrashMessageRun(argc, argv)) return kestrum::ShowCrashMessage(argc, argv);
  // Before the application object: a crash anywhere after this is reported.
  kestrum::CrashReporterOptions crash;
  crash.notice = kestrum::CrashNotice::kRelaunch;
  kestrum::InstallCrashReporter(crash);
  kestrum::CKestrumApp app(argc, argv);
  return app.Run();
}
