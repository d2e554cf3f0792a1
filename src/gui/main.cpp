// kestrum: the desktop program.

#include "gui/kestrum_app.h"

int main(int argc, char** argv) {
  kestrum::CKestrumApp app(argc, argv);
  return app.Run();
}
