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
FileEnd FindRiffEnd(ByteSource& source);    // WAV, AVI, WebP: the RIFF size, AVI's AVIX extensions
FileEnd FindPdfEnd(ByteSource& source);     // the last %%EOF of the document and its updates
FileEnd FindZipEnd(ByteSource& source);     // ZIP, DOCX/XLSX/PPTX, EPUB, ODF, APK: end of the central directory
FileEnd FindIsoMediaEnd(ByteSource& source);  // MP4, MOV, HEIC, AVIF, CR3 and kin: top-level boxes
FileEnd Find7zEnd(ByteSource& source);      // signature header: next-header offset and size
FileEnd FindRarEnd(ByteSource& source);     // RAR 1.5–4.x blocks to the end-of-archive block
FileEnd FindOle2End(ByteSource& source);    // OLE2 compound files: the last sector in use
FileEnd FindTiffEnd(ByteSource& source);    // TIFF and the raws built on it: the furthest IFD, value, strip or tile
FileEnd FindPsdEnd(ByteSource& source);     // section lengths, then the image data
FileEnd FindMp3End(ByteSource& source);     // ID3v2, frames, ID3v1/APE
FileEnd FindFlvEnd(ByteSource& source);     // tags with their back pointers
FileEnd FindRealMediaEnd(ByteSource& source);  // chunks
FileEnd FindPeEnd(ByteSource& source);      // sections, then the certificate table
FileEnd FindWmfEnd(ByteSource& source);     // WMF: the size in words of its header
FileEnd FindEmfEnd(ByteSource& source);     // EMF: the size in its header record
FileEnd FindTextEnd(ByteSource& source);    // HTML, XML, text: the run of text up to its last markup
FileEnd FindMatroskaEnd(ByteSource& source);  // MKV, WebM: EBML element sizes
FileEnd FindTransportStreamEnd(ByteSource& source);  // 188-byte packets
FileEnd FindM2tsEnd(ByteSource& source);    // 192-byte packets
FileEnd FindFlacEnd(ByteSource& source);    // metadata blocks, then frames with their CRCs
FileEnd FindOggEnd(ByteSource& source);     // pages with CRC to the last stream's end
FileEnd FindAsfEnd(ByteSource& source);     // WMA, WMV: top-level objects
FileEnd FindSqliteEnd(ByteSource& source);  // page size × page count
FileEnd FindGzipEnd(ByteSource& source);    // members: deflate streams to their trailers
FileEnd FindBzip2End(ByteSource& source);   // blocks to the stream end, combined CRC checked
FileEnd FindXzEnd(ByteSource& source);      // stream footer and index
FileEnd FindZstdEnd(ByteSource& source);    // frames: block sizes
FileEnd FindTarEnd(ByteSource& source);     // 512-byte headers to the two zero blocks
FileEnd FindIso9660End(ByteSource& source);  // the volume size
FileEnd FindElfEnd(ByteSource& source);     // section and program headers
FileEnd FindMachOEnd(ByteSource& source);   // segments and link-edit data, or the archs of a fat file
FileEnd FindChmEnd(ByteSource& source);     // compiled HTML help: the size in its first header section
FileEnd FindHlpEnd(ByteSource& source);     // WinHelp: the size in its header

// What the scan knows of one file format beyond its signature.
struct FileFormat {
  // Null for formats whose structure does not tell their end: those run to
  // the next finding.
  FileEndFinder finder = nullptr;
  // Its structure can hold other files the scan finds by content (pictures
  // in a document or a raw, members of an archive): a walk that runs into a
  // later file finding is tried again past it, and files that then lie
  // inside it are part of it.
  bool holdsFiles = false;
  // The file begins this many sectors before the sector its signature is
  // in (an ISO 9660 image: its volume descriptor comes after 32 KiB).
  std::uint32_t leadSectors = 0;
};

const FileFormat& FileFormatOf(ScanCategory category);
inline FileEndFinder EndFinderFor(ScanCategory category) { return FileFormatOf(category).finder; }

}  // namespace kestrum
