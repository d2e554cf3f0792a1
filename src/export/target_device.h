#pragma once
// Paths of export and image targets as the target check compares them.

#include <string>

namespace kestrum {

// The path with its links and dots resolved; the path as given when it
// cannot be (it does not exist yet).
std::string AbsolutePath(const std::string& path);

}  // namespace kestrum
