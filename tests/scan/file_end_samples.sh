#!/bin/sh
# Makes files whose end the scan must find, with the real tools, into the
# folder $1, and prints one line per file made: its name. A tool that is
# missing makes nothing and is named on stderr.
set -u
out=$1
cd "$out" || exit 1
have() { command -v "$1" >/dev/null 2>&1; }
made() { [ -s "$1" ] && echo "$1"; }
missing() { echo "not made here: $*" >&2; }
py=/usr/bin/python3

head -c 3000 /dev/zero | tr '\0' 'k' > notes.txt
head -c 40000 /dev/urandom > noise.bin

if have convert; then
  convert -size 320x240 gradient:red-blue photo.jpg && made photo.jpg
  convert -size 320x240 gradient:red-blue -interlace JPEG progressive.jpg && made progressive.jpg
  convert -size 64x48 gradient:blue-red thumb.jpg
  convert -size 200x150 plasma:fractal -seed 7 picture.png 2>/dev/null ||
    convert -size 200x150 gradient:red-blue picture.png
  made picture.png
  convert -delay 10 -size 64x64 xc:red xc:green xc:blue animated.gif && made animated.gif
  convert -size 200x200 gradient:red-blue picture.bmp && made picture.bmp
else
  missing jpg png gif bmp
fi
if have exiftool && [ -s photo.jpg ] && [ -s thumb.jpg ]; then
  cp photo.jpg thumbnailed.jpg
  exiftool -q -overwrite_original -Make=Kestrum "-ThumbnailImage<=thumb.jpg" thumbnailed.jpg && made thumbnailed.jpg
else
  missing thumbnailed.jpg
fi
if have gs; then
  gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o text.pdf -c \
    "/Helvetica findfont 20 scalefont setfont 72 720 moveto (Kestrum) show showpage" && made text.pdf
else
  missing pdf
fi
if [ -s text.pdf ] && "$py" -c 'import fitz' 2>/dev/null; then
  cp text.pdf updated.pdf
  "$py" - <<'PY' && made updated.pdf
import fitz
for n in range(2):
    doc = fitz.open("updated.pdf")
    doc[0].insert_text((72, 100 + 40 * n), "update %d" % n)
    doc.saveIncr()
PY
else
  missing updated.pdf
fi
if have zip; then
  zip -q -j archive.zip notes.txt noise.bin && made archive.zip
  zip -q -j other.zip picture.bmp notes.txt 2>/dev/null
  cat archive.zip other.zip > two.zip && made two.zip
  # Written to a pipe, zip cannot go back to fill in sizes: data descriptors.
  zip -q -j - notes.txt noise.bin | cat > streamed.zip && made streamed.zip
  zip -q -j -fz zip64.zip notes.txt && made zip64.zip
else
  missing zip
fi
if "$py" -c 'import docx' 2>/dev/null; then
  "$py" - <<'PY' && made letter.docx
import docx
d = docx.Document()
d.add_heading("Kestrum", 0)
for i in range(40):
    d.add_paragraph("Line %d of a letter that python-docx wrote." % i)
d.save("letter.docx")
PY
else
  missing docx
fi
if have 7zz; then
  7zz a -bd archive.7z notes.txt noise.bin >/dev/null && made archive.7z
else
  missing 7z
fi
if have gsf; then
  gsf createole compound.doc notes.txt noise.bin && made compound.doc
else
  missing doc
fi
if have ffmpeg; then
  ff() { ffmpeg -v error -y "$@"; }
  video="-f lavfi -i testsrc=duration=1:size=176x144:rate=10"
  audio="-f lavfi -i sine=duration=1:sample_rate=22050"
  ff $audio -bitexact tone.wav && made tone.wav
  ff $video $audio -c:v mpeg4 -c:a aac -brand mp42 clip.mp4 && made clip.mp4
  ff $video $audio -c:v mpeg4 -c:a aac -brand mp42 -movflags faststart faststart.mp4 && made faststart.mp4
  ff $video $audio -c:v mpeg4 -c:a aac -ac 1 clip.3gp && made clip.3gp
  ff $audio -c:a aac tone.m4a && made tone.m4a
  ff $video -c:v mpeg4 clip.avi && made clip.avi
else
  missing wav mp4 3gp m4a avi
fi
