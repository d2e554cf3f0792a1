#pragma once
// GUIDs as GPT stores them: 16 bytes whose first three fields are
// little-endian, shown as the usual upper-case text with dashes.

#include <array>
#include <cstdint>
#include <string>

namespace kestrum {

using Guid = std::array<std::uint8_t, 16>;

// "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" into its on-disk bytes; false for
// any other shape (case does not matter).
bool ParseGuid(const std::string& text, Guid& out);
std::string GuidText(const Guid& guid);
bool IsZeroGuid(const Guid& guid);
// A random (version 4) GUID from the system's random source (src/platform); false when the
// source gives too few bytes.
bool NewRandomGuid(Guid& out);

}  // namespace kestrum
