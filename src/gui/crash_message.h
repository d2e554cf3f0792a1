#pragma once
// The desktop program's message-only mode: started again by the crash
// reporter's signal handler (which must not drive Qt), it shows which dump
// file to send and ends.

namespace kestrum {

// `kestrum --crash-message DUMP`: true when argv asks for it.
bool IsCrashMessageRun(int argc, char** argv);
// Shows the box (caption "错误", button OK) and answers the exit status.
int ShowCrashMessage(int argc, char** argv);

}  // namespace kestrum
