// kestrum: the desktop program.

#include "app/kestrum_app.h"

int main(int argc, char** argv) {
  kestrum::CKestrumApp app(argc, argv);
  return app.Run();
}
