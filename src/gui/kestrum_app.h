#pragma once
// The application object: reads the command line (image files to add as
// disks) and runs the main window.

#include <QApplication>

namespace kestrum {

class CKestrumApp : public QApplication {
  Q_OBJECT

 public:
  CKestrumApp(int& argc, char** argv);
  // Runs the main window modally; the process exit status.
  int Run();
};

}  // namespace kestrum
