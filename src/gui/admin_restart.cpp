#include "gui/admin_restart.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QWidget>

#include "platform/process.h"

namespace kestrum {

namespace {

// pkexec's own exit statuses: the password dialog was dismissed, or the
// user is not allowed.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

}  // namespace

bool PkexecRestart::LacksRights() const { return !platform::HasAdministratorRights(); }

bool PkexecRestart::Restart(const QStringList& arguments, QString& why) {
  const QString launcher = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrum-pkexec");
  if (!QFileInfo(launcher).isExecutable()) {
    why = QCoreApplication::translate("kestrum", "找不到 %1").arg(launcher);
    return false;
  }
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(launcher, arguments);
  if (!process.waitForStarted()) {
    why = process.errorString();
    return false;
  }
  if (window_ != nullptr) window_->hide();
  process.waitForFinished(-1);
  const bool refused = process.exitStatus() == QProcess::NormalExit &&
                       (process.exitCode() == kPkexecDismissed || process.exitCode() == kPkexecNotAuthorized);
  if (!refused) return true;
  if (window_ != nullptr) window_->show();
  why = QCoreApplication::translate("kestrum", "没有得到管理员权限。");
  return false;
}

}  // namespace kestrum
