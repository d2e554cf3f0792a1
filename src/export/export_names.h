#pragma once
// Names from a damaged disk, made fit to be one component of a Linux path
// inside the export's target folder.

#include <cstddef>
#include <string>

namespace kestrum {

// The longest file name, in bytes of UTF-8, that Linux file systems take.
constexpr std::size_t kMaxNameBytes = 255;

// One safe path component: "/" and NUL become "_", and so do "\", which
// no FAT or NTFS name holds and which would read as a separator where paths
// are joined, and ":", which NTFS data streams are named with ("file:stream")
// and which FAT, exFAT and NTFS targets refuse; lone surrogates become U+FFFD;
// "", "." and ".." become "_", "_." and "_.." (the dots kept so the user
// recognises them); the result is cut at a character boundary to at most
// kMaxNameBytes of UTF-8. Never empty, never "." or "..", never holds "/".
std::u16string CleanExportName(const std::u16string& name);

// The name for the n-th (n >= 2) of several siblings that came out the same:
// "report (2).doc", the counter before the extension, cut to fit.
std::u16string NumberedName(const std::u16string& cleanName, unsigned n);

// Bytes `text` takes as UTF-8 (lone surrogates as U+FFFD).
std::size_t Utf8Length(const std::u16string& text);

}  // namespace kestrum
