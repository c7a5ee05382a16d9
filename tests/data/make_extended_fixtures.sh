#!/bin/sh
# Makes the fixtures of the extended detection rules from synthetic tones:
# MP3 files with large ID3v2 tags and back-to-back MP3 files (lame), WAVE
# files whose first chunk is not "fmt " (sox, chunks added in Python).
# Needs sox, lame and python3:
#   apt-get install sox lame
# Run from anywhere; the files are written next to this script. The outputs
# are deterministic for a given lame version (3.100).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -R -D -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 0.3 sine 440 sine 660 vol 0.5
sox -R -D -n -r 44100 -c 2 -b 16 "$work/b.wav" synth 0.4 sine 330 sine 550 vol 0.5

# Cover images of 20000 and 70000 bytes (a PNG signature, then zeros: lame
# only looks at the signature).
python3 - "$work" <<'PY'
import sys
for name, size in (("c20k.png", 20000), ("c70k.png", 70000)):
    open(sys.argv[1] + "/" + name, "wb").write(b"\x89PNG\r\n\x1a\n" + bytes(size - 8))
PY

L="lame --quiet --noreplaygain"
# ID3v2.3 tags of about 20 KB and 70 KB in front, an ID3v1 tag behind.
$L --cbr -b 128 --ti "$work/c20k.png" --tt "Cover 20k" "$work/a.wav" "$here/mpeg1_cover20k.mp3"
$L --cbr -b 128 --ti "$work/c70k.png" --tt "Cover 70k" "$work/a.wav" "$here/mpeg1_cover70k.mp3"
# Two files of one format back to back, no tags: CBR with Info frames, VBR
# with Xing frames, and a file without a header frame (-t) then one with.
$L --cbr -b 128 "$work/a.wav" "$work/cbr_a.mp3"
$L --cbr -b 128 "$work/b.wav" "$work/cbr_b.mp3"
$L -V 2 "$work/a.wav" "$work/vbr_a.mp3"
$L -V 2 "$work/b.wav" "$work/vbr_b.mp3"
$L --cbr -b 128 -t "$work/b.wav" "$work/plain_b.mp3"
cat "$work/cbr_a.mp3" "$work/cbr_b.mp3" >"$here/mpeg1_cbr_pair.mp3"
cat "$work/vbr_a.mp3" "$work/vbr_b.mp3" >"$here/mpeg1_vbr_pair.mp3"
cat "$work/plain_b.mp3" "$work/cbr_a.mp3" >"$here/mpeg1_plain_then_info.mp3"

# A broadcast WAVE file with JUNK and bext chunks before "fmt " (the LIST
# chunk first is wave_list_first.wav, made by make_ogg_wav_fixtures.sh).
sox -q -R -D -n -r 22050 -b 16 -e signed -c 2 "$work/s16.wav" synth 0.1 sine 440 sine 660
python3 - "$work/s16.wav" "$here" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
assert data[:4] == b"RIFF" and data[8:16] == b"WAVEfmt "

def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body + (b"\0" if len(body) & 1 else b"")

def wave(chunks, name):
    body = b"WAVE" + b"".join(chunks) + data[12:]
    open(sys.argv[2] + "/" + name, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)

bext = b"zandrel fixture".ljust(256, b"\0") + b"zandrel".ljust(32, b"\0") + bytes(32)
bext += b"2024-01-0112:00:00" + bytes(8 + 2 + 64 + 10) + bytes(180)
wave([chunk(b"JUNK", bytes(27)), chunk(b"bext", bext)], "wave_bwf_junk_bext.wav")
PY

ls -l "$here"/mpeg1_cover*.mp3 "$here"/mpeg1_*pair.mp3 "$here"/mpeg1_plain_then_info.mp3 \
  "$here"/wave_bwf_junk_bext.wav
