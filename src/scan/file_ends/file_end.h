#pragma once
// Where a file found by its signature ends, read from its own structure.
// One finder per format; each is a pure function of the file's bytes (a
// ByteSource, which never reads past the length the scan gave the file).

#include <cstdint>
#include <optional>

#include "scan/file_ends/byte_source.h"
#include "scan/scan_category.h"

namespace kestrum {

// The file's length in bytes, or nothing when its structure breaks before
// its end: a field out of range, a structure cut by the limit, bytes that
// are not the format's (overwritten, or the rest of the file lies
// elsewhere).
using FileEnd = std::optional<std::uint64_t>;
using FileEndFinder = FileEnd (*)(ByteSource&);

FileEnd FindJpegEnd(ByteSource& source);    // markers to EOI
FileEnd FindPngEnd(ByteSource& source);     // chunks to IEND
FileEnd FindGifEnd(ByteSource& source);     // blocks to the trailer
FileEnd FindBmpEnd(ByteSource& source);     // the file-size field
FileEnd FindRiffEnd(ByteSource& source);    // WAV, AVI: the RIFF size, AVI's AVIX extensions
FileEnd FindPdfEnd(ByteSource& source);     // the last %%EOF of the document and its updates
FileEnd FindZipEnd(ByteSource& source);     // ZIP, DOCX/XLSX/PPTX: end of the central directory
FileEnd FindIsoMediaEnd(ByteSource& source);  // MP4, 3GP, M4A, M4V, MOV: top-level boxes
FileEnd Find7zEnd(ByteSource& source);      // signature header: next-header offset and size
FileEnd FindRarEnd(ByteSource& source);     // RAR 1.5–4.x blocks to the end-of-archive block
FileEnd FindOle2End(ByteSource& source);    // OLE2 compound files: the last sector in use

// The finder for a file category; null for formats whose structure does not
// tell their end.
FileEndFinder EndFinderFor(ScanCategory category);

}  // namespace kestrum
