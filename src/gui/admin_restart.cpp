#include "gui/admin_restart.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

#include <string>
#include <vector>

#include "platform/elevation.h"
#include "platform/process.h"

namespace kestrum {

bool ElevatedRestart::LacksRights() const { return !platform::HasAdministratorRights(); }

bool ElevatedRestart::Restart(const QStringList& arguments, QString& why) {
  const QString program = QString::fromStdString(platform::ElevationProgram());
  if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
    why = QCoreApplication::translate("kestrum", "找不到 %1").arg(program);
    return false;
  }
  std::vector<std::string> args;
  for (const QString& a : arguments) args.push_back(a.toStdString());
  // Hidden while the prompt is up and the other program runs: it shows the
  // same devices, and two windows would be two programs at one disk.
  if (window_ != nullptr) window_->hide();
  std::string reason;
  const platform::ElevatedRun run = platform::RunElevated(args, reason);
  if (run == platform::ElevatedRun::kEnded) return true;
  if (window_ != nullptr) window_->show();
  why = run == platform::ElevatedRun::kRefused ? QCoreApplication::translate("kestrum", "没有得到管理员权限。")
                                               : QString::fromStdString(reason);
  return false;
}

}  // namespace kestrum
