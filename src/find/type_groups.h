#pragma once
// The kinds of file a user looks for (pictures, documents, …), told by a
// name's extension. Files found by content are named after the category
// their signature gave ("0012.jpg"), so the same table groups them.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum {

enum class TypeGroup : std::uint8_t {
  kPicture,
  kDocument,
  kVideo,
  kAudio,
  kArchive,
  kOther,  // any other extension, or none
};
constexpr int kTypeGroupCount = 6;

// "picture", "document", "video", "audio", "archive", "other".
const char* TypeGroupName(TypeGroup group);
// "图片", "文档", "视频", "音频", "压缩包", "其他".
std::u16string TypeGroupText(TypeGroup group);
// Either spelling (the English one in any case); false for anything else.
bool ParseTypeGroup(std::u16string_view text, TypeGroup& out);

// By the name's extension (after its last ".", any case); kOther without one.
TypeGroup TypeGroupOfName(std::u16string_view name);
// The same for an extension without its dot ("JPG", "docx").
TypeGroup TypeGroupOfExtension(std::u16string_view extension);

}  // namespace kestrum
