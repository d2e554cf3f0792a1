#include "repair/scan_finish_hooks.h"

namespace kestrum {

ScanFinishHook ScanFinishHookFor(std::int32_t /*mode*/) {
  // Until volumes are rebuilt from the findings, every file search ends in
  // the volume of files found by content.
  return AppendSearchFileVolume;
}

}  // namespace kestrum
