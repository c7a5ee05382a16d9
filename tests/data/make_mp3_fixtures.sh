#!/bin/sh
# Makes the small MP3 fixtures of this folder from synthetic tones (sox) with
# lame, then walks every file with an independent frame walker and prints,
# for each, where its first frame starts, how many frames it holds and which
# tags surround them (the table in README.md).
#
# Usage: tests/data/make_mp3_fixtures.sh   (from anywhere; needs sox, lame and
# python3). The outputs are deterministic for a given lame version (3.100).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tone() {  # tone <file> <rate> <channels> <seconds>
  if [ "$3" = 2 ]; then
    sox -R -D -n -r "$2" -c 2 -b 16 "$1" synth "$4" sine 440 sine 660 vol 0.5
  else
    sox -R -D -n -r "$2" -c 1 -b 16 "$1" synth "$4" sine 440 vol 0.5
  fi
}

tone "$work/t44s.wav" 44100 2 0.3
tone "$work/t22m.wav" 22050 1 0.5
tone "$work/t11s.wav" 11025 2 0.6
tone "$work/t8m.wav" 8000 1 0.6

L="lame --quiet --noreplaygain"
# MPEG-1 Layer III, 44100 Hz joint stereo, constant 128 kbit/s.
$L --cbr -b 128 "$work/t44s.wav" "$here/mpeg1_cbr128.mp3"
# MPEG-1, 44100 Hz, variable bit rate.
$L -V 2 "$work/t44s.wav" "$here/mpeg1_vbr.mp3"
# MPEG-1 at 32000 Hz with a 16-bit CRC after every header.
$L --cbr -b 96 --resample 32 -p "$work/t44s.wav" "$here/mpeg1_crc.mp3"
# MPEG-1 with an ID3v2 tag in front and an ID3v1 tag behind.
$L --cbr -b 128 --add-id3v2 --tt "Fixture tone" --ta "zandrel tests" --tl "Fixtures" \
  --ty 2024 --tn 3 --tg Blues "$work/t44s.wav" "$here/mpeg1_id3.mp3"
# MPEG-2 Layer III, 22050 Hz mono, variable bit rate.
$L -V 4 "$work/t22m.wav" "$here/mpeg2_vbr.mp3"
# MPEG-2.5 Layer III, 11025 Hz stereo, constant 32 kbit/s.
$L --cbr -b 32 "$work/t11s.wav" "$here/mpeg25_cbr.mp3"
# MPEG-2.5, 8000 Hz mono, constant 8 kbit/s (the shortest MPEG-2.5 frames).
$L --cbr -b 8 "$work/t8m.wav" "$here/mpeg25_8k.mp3"

python3 - "$here" <<'PY'
import os, sys

BITRATE = {1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
           2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATE = {1: [44100, 48000, 32000], 2: [22050, 24000, 16000], 25: [11025, 12000, 8000]}
VERSION = {3: 1, 2: 2, 0: 25}
MODES = ["stereo", "joint stereo", "dual channel", "mono"]

def frame(data, pos):
    """(length, version, rate, kbps, crc, mode) of a Layer III frame header."""
    h = int.from_bytes(data[pos:pos + 4], "big")
    assert h >> 21 == 0x7FF, "no sync at %d" % pos
    version = VERSION[(h >> 19) & 3]
    assert (h >> 17) & 3 == 1, "not Layer III at %d" % pos
    kbps = BITRATE[1 if version == 1 else 2][(h >> 12) & 15]
    rate = RATE[version][(h >> 10) & 3]
    samples = 1152 if version == 1 else 576
    length = samples // 8 * kbps * 1000 // rate + ((h >> 9) & 1)
    return length, version, rate, kbps, not (h >> 16) & 1, MODES[(h >> 6) & 3]

def walk(path):
    data = open(path, "rb").read()
    pos = 0
    id3v2 = 0
    if data[:3] == b"ID3":
        s = data[6:10]
        id3v2 = 10 + (s[0] << 21 | s[1] << 14 | s[2] << 7 | s[3])
        pos = id3v2
    first = pos
    tail = len(data)
    id3v1 = data[-128:-125] == b"TAG"
    if id3v1:
        tail -= 128
    frames, kinds, rates = 0, set(), set()
    while pos < tail:
        length, version, rate, kbps, crc, mode = frame(data, pos)
        kinds.add((version, rate, crc, mode))
        rates.add(kbps)
        pos += length
        frames += 1
    assert pos == tail, "%s: frames end at %d, not %d" % (path, pos, tail)
    assert len(kinds) == 1, "%s: format changes inside the stream" % path
    # lame's first frame, when it holds a Xing (VBR) or Info (CBR) tag, is a
    # valid frame without audio that states the number of audio frames after it.
    tag = "none"
    for word in ("Xing", "Info"):
        at = data.find(word.encode(), first, first + 64)
        if at >= 0:
            tag = word
            stated = int.from_bytes(data[at + 8:at + 12], "big")
            assert data[at + 7] & 1 and stated == frames - 1, "%s: %s frame says %d" % (
                path, word, stated)
    version, rate, crc, mode = kinds.pop()
    return dict(size=len(data), first=first, frames=frames, end=tail, id3v2=id3v2,
                id3v1=id3v1, version={1: "1", 2: "2", 25: "2.5"}[version], rate=rate,
                crc=crc, mode=mode, kbps=sorted(rates), tag=tag)

print("| File | Bytes | First frame | Frames | Frames end | MPEG | Hz | Mode | kbit/s | CRC | First frame tag | ID3v2 | ID3v1 |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
for name in sorted(f for f in os.listdir(sys.argv[1]) if f.endswith(".mp3")):
    w = walk(os.path.join(sys.argv[1], name))
    kbps = str(w["kbps"][0]) if len(w["kbps"]) == 1 else "%d-%d" % (w["kbps"][0], w["kbps"][-1])
    print("| %s | %d | %d | %d | %d | %s | %d | %s | %s | %s | %s | %s | %s |" % (
        name, w["size"], w["first"], w["frames"], w["end"], w["version"], w["rate"], w["mode"],
        kbps, "yes" if w["crc"] else "no", w["tag"], w["id3v2"] or "no",
        "yes" if w["id3v1"] else "no"))
PY
