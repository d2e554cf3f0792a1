#pragma once
// Reading disks raw needs administrator rights. A program started from the
// menu without them can start itself again with them, the system asking the
// user (pkexec's password dialog on Linux, the consent prompt on Windows).

#include <QString>
#include <QStringList>

class QWidget;

namespace kestrum {

class AdminRestart {
 public:
  virtual ~AdminRestart() = default;
  // Whether the program runs without the rights to read disks.
  virtual bool LacksRights() const = 0;
  // Starts the program again with administrator rights and `arguments`, and
  // waits for it. False when it did not start, or the password was not given
  // (`why` then says so); true once the program that has the rights has ended.
  virtual bool Restart(const QStringList& arguments, QString& why) = 0;
};

// Through the system's way (platform::RunElevated); `window` is hidden while
// the restarted program runs, and shown again when it did not start.
class ElevatedRestart : public AdminRestart {
 public:
  explicit ElevatedRestart(QWidget* window) : window_(window) {}
  bool LacksRights() const override;
  bool Restart(const QStringList& arguments, QString& why) override;

 private:
  QWidget* window_;
};

}  // namespace kestrum
