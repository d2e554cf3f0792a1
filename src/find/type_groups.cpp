#include "find/type_groups.h"

#include <algorithm>
#include <array>

#include "base/catalog.h"

namespace kestrum {

namespace {

struct GroupedExtension {
  std::u16string_view extension;  // lower case
  TypeGroup group;
};

// Sorted by extension, for a binary search.
constexpr auto kExtensions = [] {
  std::array<GroupedExtension, 100> table = {{
      {u"3g2", TypeGroup::kVideo}, {u"3gp", TypeGroup::kVideo}, {u"7z", TypeGroup::kArchive},
      {u"aac", TypeGroup::kAudio}, {u"accdb", TypeGroup::kDocument}, {u"aif", TypeGroup::kAudio},
      {u"aiff", TypeGroup::kAudio}, {u"amr", TypeGroup::kAudio}, {u"ape", TypeGroup::kAudio},
      {u"arw", TypeGroup::kPicture}, {u"avi", TypeGroup::kVideo}, {u"avif", TypeGroup::kPicture},
      {u"bmp", TypeGroup::kPicture}, {u"bz2", TypeGroup::kArchive}, {u"cab", TypeGroup::kArchive},
      {u"chm", TypeGroup::kDocument}, {u"cr2", TypeGroup::kPicture}, {u"cr3", TypeGroup::kPicture},
      {u"csv", TypeGroup::kDocument}, {u"dng", TypeGroup::kPicture}, {u"doc", TypeGroup::kDocument},
      {u"docm", TypeGroup::kDocument}, {u"docx", TypeGroup::kDocument}, {u"dps", TypeGroup::kDocument},
      {u"dwg", TypeGroup::kDocument}, {u"emf", TypeGroup::kPicture}, {u"epub", TypeGroup::kDocument},
      {u"et", TypeGroup::kDocument}, {u"flac", TypeGroup::kAudio}, {u"flv", TypeGroup::kVideo},
      {u"gif", TypeGroup::kPicture}, {u"gz", TypeGroup::kArchive}, {u"heic", TypeGroup::kPicture},
      {u"heif", TypeGroup::kPicture}, {u"hlp", TypeGroup::kDocument}, {u"htm", TypeGroup::kDocument},
      {u"html", TypeGroup::kDocument}, {u"ico", TypeGroup::kPicture}, {u"iso", TypeGroup::kArchive},
      {u"jar", TypeGroup::kArchive}, {u"jpe", TypeGroup::kPicture}, {u"jpeg", TypeGroup::kPicture},
      {u"jpg", TypeGroup::kPicture}, {u"key", TypeGroup::kDocument}, {u"m2ts", TypeGroup::kVideo},
      {u"m4a", TypeGroup::kAudio}, {u"m4v", TypeGroup::kVideo}, {u"md", TypeGroup::kDocument},
      {u"mdb", TypeGroup::kDocument}, {u"mid", TypeGroup::kAudio}, {u"midi", TypeGroup::kAudio},
      {u"mkv", TypeGroup::kVideo}, {u"mov", TypeGroup::kVideo}, {u"mp3", TypeGroup::kAudio},
      {u"mp4", TypeGroup::kVideo}, {u"mpeg", TypeGroup::kVideo}, {u"mpg", TypeGroup::kVideo},
      {u"mts", TypeGroup::kVideo}, {u"nef", TypeGroup::kPicture}, {u"numbers", TypeGroup::kDocument},
      {u"odp", TypeGroup::kDocument}, {u"ods", TypeGroup::kDocument}, {u"odt", TypeGroup::kDocument},
      {u"ogg", TypeGroup::kAudio}, {u"opus", TypeGroup::kAudio}, {u"orf", TypeGroup::kPicture},
      {u"pages", TypeGroup::kDocument}, {u"pdf", TypeGroup::kDocument}, {u"pef", TypeGroup::kPicture},
      {u"png", TypeGroup::kPicture}, {u"ppt", TypeGroup::kDocument}, {u"pptx", TypeGroup::kDocument},
      {u"psd", TypeGroup::kPicture}, {u"rar", TypeGroup::kArchive}, {u"raw", TypeGroup::kPicture},
      {u"rm", TypeGroup::kVideo}, {u"rmvb", TypeGroup::kVideo}, {u"rtf", TypeGroup::kDocument},
      {u"rw2", TypeGroup::kPicture}, {u"sqlite", TypeGroup::kDocument}, {u"svg", TypeGroup::kPicture},
      {u"tar", TypeGroup::kArchive}, {u"tgz", TypeGroup::kArchive}, {u"tif", TypeGroup::kPicture},
      {u"tiff", TypeGroup::kPicture}, {u"ts", TypeGroup::kVideo}, {u"txt", TypeGroup::kDocument},
      {u"vob", TypeGroup::kVideo}, {u"wav", TypeGroup::kAudio}, {u"webm", TypeGroup::kVideo},
      {u"webp", TypeGroup::kPicture}, {u"wma", TypeGroup::kAudio}, {u"wmf", TypeGroup::kPicture},
      {u"wmv", TypeGroup::kVideo}, {u"wps", TypeGroup::kDocument}, {u"xls", TypeGroup::kDocument},
      {u"xlsx", TypeGroup::kDocument}, {u"xz", TypeGroup::kArchive}, {u"zip", TypeGroup::kArchive},
      {u"zst", TypeGroup::kArchive},
  }};
  return table;
}();

static_assert(std::is_sorted(kExtensions.begin(), kExtensions.end(),
                             [](const GroupedExtension& a, const GroupedExtension& b) {
                               return a.extension < b.extension;
                             }),
              "the extension table must stay sorted");

struct GroupWords {
  const char* name;
  const char16_t* text;
};
constexpr GroupWords kWords[kTypeGroupCount] = {
    {"picture", u"图片"}, {"document", u"文档"}, {"video", u"视频"},
    {"audio", u"音频"},   {"archive", u"压缩包"}, {"other", u"其他"},
};

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

const char* TypeGroupName(TypeGroup group) { return kWords[static_cast<int>(group)].name; }

std::u16string TypeGroupText(TypeGroup group) { return Tr(kWords[static_cast<int>(group)].text); }

bool ParseTypeGroup(std::u16string_view text, TypeGroup& out) {
  for (int g = 0; g < kTypeGroupCount; ++g) {
    std::u16string_view name = kWords[g].text;
    bool english = true;
    std::string_view ascii = kWords[g].name;
    if (text.size() != ascii.size()) english = false;
    for (std::size_t i = 0; english && i < text.size(); ++i) english = AsciiLower(text[i]) == ascii[i];
    if (english || text == name) {
      out = static_cast<TypeGroup>(g);
      return true;
    }
  }
  return false;
}

TypeGroup TypeGroupOfExtension(std::u16string_view extension) {
  // Longer than any extension in the table: no group.
  constexpr std::size_t kLongest = 8;
  if (extension.empty() || extension.size() > kLongest) return TypeGroup::kOther;
  char16_t lower[kLongest];
  for (std::size_t i = 0; i < extension.size(); ++i) lower[i] = AsciiLower(extension[i]);
  const std::u16string_view key(lower, extension.size());
  auto it = std::lower_bound(kExtensions.begin(), kExtensions.end(), key,
                             [](const GroupedExtension& e, std::u16string_view k) { return e.extension < k; });
  return it != kExtensions.end() && it->extension == key ? it->group : TypeGroup::kOther;
}

TypeGroup TypeGroupOfName(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return TypeGroup::kOther;
  return TypeGroupOfExtension(name.substr(dot + 1));
}

}  // namespace kestrum
