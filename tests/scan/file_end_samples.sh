#!/bin/sh
# Makes files whose end the scan must find into the folder $1, with the
# real tools (scripts/deps.sh installs them), and prints one line per file
# made: its name. $2, a small number (0 by default), varies sizes and texts
# so that several sets differ file by file (bench/carve_bench.sh). A tool
# that fails stops the script, so the caller sees a short list. Formats no
# Debian tool writes (camera raws, CR3, WMF, EMF, APK, CHM, HLP) are built
# by the Python below to their published layouts, around content the real
# tools made (JPEG previews, random raw data).
set -eu
out=$1
v=${2:-0}
cd "$out"
py=/usr/bin/python3
made() { [ -s "$1" ] && echo "$1"; }
ff() { ffmpeg -v error -y "$@"; }
video="-f lavfi -i testsrc=duration=1:size=$((176 + 16 * v))x144:rate=10"
audio="-f lavfi -i sine=frequency=$((440 + 10 * v)):duration=1:sample_rate=22050"

head -c 3000 /dev/zero | tr '\0' 'k' > notes.txt
head -c 40000 /dev/urandom > noise.bin
head -c 40000 /dev/urandom | base64 > words.txt

# Pictures.
convert -size $((320 + v))x240 gradient:red-blue photo.jpg && made photo.jpg
convert -size $((320 + v))x$((240 + v)) gradient:red-blue -interlace JPEG progressive.jpg && made progressive.jpg
convert -size 64x48 gradient:blue-red thumb.jpg
cp photo.jpg thumbnailed.jpg
exiftool -q -overwrite_original -Make=Kestrum "-ThumbnailImage<=thumb.jpg" thumbnailed.jpg && made thumbnailed.jpg
convert -size 200x150 plasma:fractal -seed $((7 + v)) picture.png && made picture.png
convert -delay 10 -size $((64 + v))x64 xc:red xc:green xc:blue animated.gif && made animated.gif
convert -size 200x$((200 + v)) gradient:red-blue picture.bmp && made picture.bmp
convert -size 320x$((240 + v)) gradient:red-blue picture.tif && made picture.tif
convert -size 320x$((240 + v)) gradient:red-blue picture.psd && made picture.psd
convert -size 320x240 plasma:fractal -seed $((3 + v)) picture.webp && made picture.webp
convert -size 160x120 plasma:fractal -seed $((5 + v)) still.png
heif-enc -q 60 -o photo.heic still.png >/dev/null && made photo.heic
# This libaom encodes no 4:2:0 still from heif-enc; 4:2:2 it does.
heif-enc -A -p chroma=422 -o photo.avif still.png >/dev/null && made photo.avif

# Documents.
gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o text.pdf -c \
  "/Helvetica findfont 20 scalefont setfont 72 720 moveto (Kestrum $v) show showpage" && made text.pdf
cp text.pdf updated.pdf
"$py" - <<'PY' && made updated.pdf
import fitz
for n in range(2):
    doc = fitz.open("updated.pdf")
    doc[0].insert_text((72, 100 + 40 * n), "update %d" % n)
    doc.saveIncr()
PY
"$py" - <<'PY' && made letter.docx
import docx
d = docx.Document()
d.add_heading("Kestrum", 0)
for i in range(40):
    d.add_paragraph("Line %d of a letter that python-docx wrote." % i)
d.save("letter.docx")
PY
gsf createole compound.doc notes.txt noise.bin && made compound.doc
{ printf '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>页面</title></head><body>\n'
  for i in $(seq 1 $((60 + v))); do printf '<p>第 %d 行 line %d</p>\n' "$i" "$i"; done
  printf '</body></html>\n'; } > page.html && made page.html
# Office and e-book documents are zips whose first entry names their kind.
mkdir -p odt epub/META-INF
printf 'application/vnd.oasis.opendocument.text' > odt/mimetype
printf '<?xml version="1.0"?><office:document-content/>\n' > odt/content.xml
(cd odt && zip -q -X -0 ../text.odt mimetype && zip -q -X -r ../text.odt content.xml) && made text.odt
printf 'application/epub+zip' > epub/mimetype
printf '<?xml version="1.0"?><container/>\n' > epub/META-INF/container.xml
cp words.txt epub/chapter.txt
(cd epub && zip -q -X -0 ../book.epub mimetype && zip -q -X -r ../book.epub META-INF chapter.txt) && made book.epub

# Archives and compressed files.
zip -q -j archive.zip notes.txt noise.bin && made archive.zip
zip -q -j other.zip picture.bmp notes.txt
cat archive.zip other.zip > two.zip && made two.zip
# Written to a pipe, zip cannot go back to fill in sizes: data descriptors.
zip -q -j - notes.txt noise.bin | cat > streamed.zip && made streamed.zip
zip -q -j -fz zip64.zip notes.txt && made zip64.zip
7zz a -bd archive.7z notes.txt noise.bin >/dev/null && made archive.7z
gzip -c words.txt > words.gz && made words.gz
# tar czf: gzip compresses a stream, with a zero time.
tar cf - notes.txt noise.bin words.txt | gzip > bundle.tgz && made bundle.tgz
bzip2 -c words.txt > words.bz2 && made words.bz2
xz -c words.txt > words.xz && made words.xz
zstd -q -c words.txt > words.zst && made words.zst
tar cf bundle.tar notes.txt noise.bin photo.jpg picture.png && made bundle.tar
mkdir -p disc && cp words.txt photo.jpg disc/
genisoimage -quiet -r -J -V KESTRUM -o disc.iso disc && made disc.iso
sqlite3 notes.sqlite "create table notes(id integer primary key, text); \
  with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) \
  insert into notes(text) select printf('note %d of the notes that sqlite3 wrote, set $v', i) from n;" && made notes.sqlite

# Audio and video.
ff $audio -bitexact tone.wav && made tone.wav
ff $video $audio -c:v mpeg4 -c:a aac -brand mp42 clip.mp4 && made clip.mp4
ff $video $audio -c:v mpeg4 -c:a aac -brand mp42 -movflags faststart faststart.mp4 && made faststart.mp4
ff $video $audio -c:v mpeg4 -c:a aac -ac 1 clip.3gp && made clip.3gp
ff $audio -c:a aac tone.m4a && made tone.m4a
ff $video -c:v mpeg4 clip.avi && made clip.avi
ff $video $audio -c:v mpeg4 -c:a aac clip.mov && made clip.mov
# An ID3 tag under 16 KiB reads as blank (bytes 4–7 are zero): a cover makes it larger.
convert -size 256x256 xc: +noise Random cover.png
ff $audio -c:a libmp3lame plain.mp3
ff -i plain.mp3 -i cover.png -map 0 -map 1 -c copy -id3v2_version 3 tagged.mp3 && made tagged.mp3
ff $video $audio -c:v flv -c:a libmp3lame -ar 22050 clip.flv && made clip.flv
ff $video $audio -c:v rv10 -c:a ac3 clip.rm && made clip.rm
ff $video $audio -c:v libx264 -c:a aac clip.mkv && made clip.mkv
ff $video $audio -c:v libvpx -c:a libvorbis clip.webm && made clip.webm
ff $video $audio -c:v mpeg2video -c:a mp2 -f mpegts clip.ts && made clip.ts
ff $video $audio -c:v mpeg2video -c:a mp2 -f mpegts -mpegts_m2ts_mode 1 clip.m2ts && made clip.m2ts
flac -s -f -o tone.flac tone.wav && made tone.flac
oggenc -Q -o tone.ogg tone.wav && made tone.ogg
ff $audio -c:a libopus tone.opus && made tone.opus
ff $audio -c:a wmav2 tone.wma && made tone.wma
ff $video $audio -c:v wmv2 -c:a wmav2 clip.wmv && made clip.wmv

# Programs.
printf 'int answer(int x) { return x * %d; }\nint start(void) { return answer(1); }\n' $((42 + v)) > code.c
cc -O1 -nostdlib -e start -o program code.c && made program
clang -target x86_64-apple-macos11 -c code.c -o object.o && made object.o
ld64.lld-14 -arch x86_64 -platform_version macos 11.0 11.0 -dylib -o library.dylib object.o && made library.dylib
clang -target arm64-apple-macos11 -c code.c -o arm.o
ld64.lld-14 -arch arm64 -platform_version macos 11.0 11.0 -dylib -o arm.dylib arm.o
llvm-lipo-14 -create library.dylib arm.dylib -output universal.dylib && made universal.dylib
clang -target x86_64-pc-windows-msvc -c code.c -o code.obj
lld-link /entry:start /subsystem:console /nodefaultlib /out:program.exe code.obj >/dev/null && made program.exe

# Built here: camera raws on TIFF (each with the tools' JPEG as its
# preview, one placed at a sector boundary as cameras may), CR3 on ISO
# media, Windows metafiles, an Android package, Windows help files.
SAMPLE_SET=$v "$py" - <<'PY'
import os, struct, zipfile

preview = open("photo.jpg", "rb").read()
thumb = open("thumb.jpg", "rb").read()
raw = os.urandom(60000)

def tiff(order, magic, ifds, first_at=8, header_extra=b""):
    """ifds: list of lists of (tag, type, values or bytes); values placed after
    the directories. Returns the file; blobs given as ('blob', name) land at
    512-byte boundaries and their tag values are their offsets."""
    e = "<" if order == b"II" else ">"
    sizes = {1: 1, 2: 1, 3: 2, 4: 4, 7: 1, 13: 4}
    out = bytearray(order + struct.pack(e + "H", magic) + struct.pack(e + "I", first_at) + header_extra)
    out += b"\0" * (first_at - len(out))
    # Lay out the directories first, their data after them, blobs last.
    at = first_at
    places = []
    for entries in ifds:
        places.append(at)
        at += 2 + 12 * len(entries) + 4
    data = bytearray()
    data_at = at
    fixups = []
    for n, entries in enumerate(ifds):
        d = struct.pack(e + "H", len(entries))
        for tag, typ, value in sorted(entries, key=lambda x: x[0]):
            if typ == "blob":
                fixups.append((len(out) + len(d) + 8, value))
                d += struct.pack(e + "HHI", tag, 4, 1) + b"\0\0\0\0"
                continue
            if typ == "ifd":
                d += struct.pack(e + "HHII", tag, 4, 1, places[value])
                continue
            if typ == "len":
                d += struct.pack(e + "HHII", tag, 4, 1, len(value))
                continue
            if isinstance(value, bytes):
                raw_value = value
                count = len(value) // sizes[typ]
            else:
                fmt = {3: "H", 4: "I", 1: "B"}[typ]
                raw_value = b"".join(struct.pack(e + fmt, v) for v in value)
                count = len(value)
            if len(raw_value) <= 4:
                d += struct.pack(e + "HHI", tag, typ, count) + raw_value.ljust(4, b"\0")
            else:
                d += struct.pack(e + "HHII", tag, typ, count, data_at + len(data))
                data += raw_value + (b"\0" if len(raw_value) % 2 else b"")
        d += struct.pack(e + "I", 0)
        out += d
    out += data
    for pos, b in fixups:
        while len(out) % 512:
            out += b"\xA5"
        struct.pack_into(e + "I", out, pos, len(out))
        out += b
    return bytes(out)

def camera(order, magic, make, name, extra_ifd0=(), header_extra=b"", first_at=8):
    ifd0 = [(0x10F, 2, make + b"\0"), (0x110, 2, b"Kestrum test body\0"), (0x100, 3, [320]), (0x101, 3, [240]),
            (0x111, "blob", preview), (0x117, "len", preview)] + list(extra_ifd0)
    rawifd = [(0xFE, 4, [0]), (0x100, 3, [200]), (0x101, 3, [150]), (0x111, "blob", raw), (0x117, "len", raw)]
    ifd0.append((0x14A, "ifd", 1))
    data = tiff(order, magic, [ifd0, rawifd], first_at=first_at, header_extra=header_extra)
    open(name, "wb").write(data)
    print(name)

camera(b"MM", 42, b"NIKON CORPORATION", "photo.nef")
camera(b"II", 42, b"SONY", "photo.arw")
camera(b"MM", 42, b"PENTAX Corporation", "photo.pef")
camera(b"II", 42, b"Canon", "photo.dng", extra_ifd0=[(0xC612, 1, [1, 4, 0, 0])])
camera(b"II", 0x4F52, b"OLYMPUS IMAGING CORP.", "photo.orf")
camera(b"II", 0x55, b"Panasonic", "photo.rw2", first_at=0x18)
# CR2: "CR", version 2.0 and the raw directory's offset after the TIFF header.
camera(b"II", 42, b"Canon", "photo.cr2", header_extra=b"CR\x02\x00\x00\x00\x00\x00", first_at=16)

def box(kind, body):
    return struct.pack(">I", 8 + len(body)) + kind + body
def uuid(u, body):
    return box(b"uuid", bytes.fromhex(u) + body)
moov = box(b"moov", uuid("85c0b687820f11e08111f4ce462b6a48", box(b"CNCV", b"CanonCR3_001/00.09.00/00.00.00")) +
           box(b"mvhd", bytes(100)))
head = box(b"ftyp", b"crx " + struct.pack(">I", 1) + b"crx isom") + moov
head += uuid("be7acfcb97a942e89c71999491e3afac", b"<x:xmpmeta xmlns:x='adobe:ns:meta/'/>")
pad = (-(len(head) + 40)) % 512  # the preview JPEG at a sector boundary
cr3 = head + uuid("eaf42b5e1c984b88b9fbb7dc406e4d16", bytes(8 + 8 + pad) + preview)
cr3 += box(b"mdat", raw)
open("photo.cr3", "wb").write(cr3)
print("photo.cr3")

def wmf_record(function, *words):
    return struct.pack("<IH", 3 + len(words), function) + b"".join(struct.pack("<h", w) for w in words)
v = int(os.environ.get("SAMPLE_SET", "0"))
records = wmf_record(0x020B, 0, 0) + wmf_record(0x020C, 1000, 1000) + wmf_record(0x041B, 900 - v, 900, 100, 100)
records += wmf_record(0x0000)
header = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(records)) // 2, 0, 7, 0)
placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 1000, 1000, 1440, 0)
checksum = 0
for i in range(0, 20, 2):
    checksum ^= struct.unpack_from("<H", placeable, i)[0]
open("drawing.wmf", "wb").write(placeable + struct.pack("<H", checksum) + header + records)
print("drawing.wmf")

def emr(kind, body):
    return struct.pack("<II", kind, 8 + len(body)) + body
body = [emr(0x0A, struct.pack("<ii", 0, 0)),  # SETWINDOWORGEX
        emr(0x09, struct.pack("<ii", 1000, 1000)),  # SETWINDOWEXTEX
        emr(0x2B, struct.pack("<iiii", 100, 100, 900 - v, 900))]  # RECTANGLE
eof = emr(0x0E, struct.pack("<III", 0, 16, 20))
records = b"".join(body) + eof
size = 88 + len(records)
emf_header = struct.pack("<II", 1, 88) + struct.pack("<iiii", 0, 0, 1000, 1000) + struct.pack("<iiii", 0, 0, 2540, 2540)
emf_header += b" EMF" + struct.pack("<IIIHHIII", 0x10000, size, 2 + len(body), 1, 0, 0, 0, 0)
emf_header += struct.pack("<iiii", 1920, 1080, 508, 286)
assert len(emf_header) == 88
open("drawing.emf", "wb").write(emf_header + records)
print("drawing.emf")

with zipfile.ZipFile("app.apk", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("AndroidManifest.xml", b"\x03\x00\x08\x00" + os.urandom(2000))
    z.writestr("classes.dex", b"dex\n035\0" + os.urandom(5000))
    z.writestr("resources.arsc", b"\x02\x00\x0c\x00" + bytes(3000), compress_type=zipfile.ZIP_STORED)
    z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n")
print("app.apk")
# Windows help: a CHM (ITSF header, section 0 with the file's size, an
# ITSP directory) and a WinHelp file (header, directory with its B-tree).
body = os.urandom(3000 + v)
itsp = b"ITSP" + struct.pack("<II", 1, 0x54) + bytes(0x54 - 12)
section0 = struct.pack("<IIQII", 0x01FE, 0, 0, 0, 0)
first = 0x60 + 0x18  # section 0 after the header, then the directory, then content
size = first + len(itsp) + len(body)
section0 = struct.pack("<IIQII", 0x01FE, 0, size, 0, 0)
itsf = b"ITSF" + struct.pack("<IIII", 3, 0x60, 1, 0x12345678) + struct.pack("<I", 0x804) + bytes(32)
itsf += struct.pack("<QQQQQ", 0x60, 0x18, first, len(itsp), first + len(itsp))
assert len(itsf) == 0x60
open("manual.chm", "wb").write(itsf + section0 + itsp + body)
print("manual.chm")
directory = struct.pack("<IIB", 1024, 1024, 4) + struct.pack("<H", 0x293B) + bytes(1024 - 11)
topic = os.urandom(5000 + v)
size = 16 + len(topic) + len(directory)
open("help.hlp", "wb").write(struct.pack("<IIII", 0x00035F3F, 16 + len(topic), 0xFFFFFFFF, size) + topic + directory)
print("help.hlp")
PY
