#pragma once
// What the pages of the desktop program need from outside themselves: the
// boxes that talk to the user and the presenter of long operations.

namespace kestrum {

class AdminRestart;
class FileChoosers;
class MessageBoxes;
class ProgressPresenter;

struct GuiServices {
  MessageBoxes* boxes = nullptr;
  FileChoosers* choosers = nullptr;
  ProgressPresenter* presenter = nullptr;
  AdminRestart* restart = nullptr;
};

}  // namespace kestrum
