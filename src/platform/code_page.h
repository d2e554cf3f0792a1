#pragma once
// Text a device or file system hands over as bytes; GBK (code page 936) is
// FromGbk of base/text.h, defined by each side with the system's converter.

#include <string>
#include <string_view>

namespace kestrum {

bool IsValidUtf8(std::string_view bytes);
// Text a device or file system hands over as bytes (a label, a vendor name):
// UTF-8 when it is valid UTF-8, else GBK.
std::u16string DecodeLabelBytes(std::string_view bytes);

}  // namespace kestrum
