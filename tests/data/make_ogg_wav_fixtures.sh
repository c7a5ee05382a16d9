#!/bin/sh
# Makes the small Ogg Vorbis and RIFF WAVE files the carver tests embed.
# Needs sox, oggenc (vorbis-tools) and python3:
#   apt-get install sox vorbis-tools
# Run from anywhere; the files are written next to this script.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# sox runs with -R (repeatable) and -D (no dither) so that the samples are
# the same on every run.

# Ogg Vorbis: short tones at the lowest quality, fixed serial numbers so that
# a rerun gives the same bytes.
sox -q -R -D -n -r 22050 -b 16 -e signed -c 1 "$work/mono.wav" synth 0.3 sine 440
sox -q -R -D -n -r 44100 -b 16 -e signed -c 2 "$work/stereo.wav" synth 0.3 sine 440 sine 660
oggenc -Q -q -1 --serial 1001 -o "$here/vorbis_mono.ogg" "$work/mono.wav"
oggenc -Q -q -1 --serial 1002 -o "$here/vorbis_stereo.ogg" "$work/stereo.wav"
# Two logical streams one after the other.
cat "$here/vorbis_mono.ogg" "$here/vorbis_stereo.ogg" >"$here/vorbis_chained.ogg"

# RIFF WAVE: PCM whose "fmt " chunk comes first.
sox -q -R -D -n -r 8000 -b 8 -e unsigned -c 1 "$here/wave_u8_mono.wav" synth 0.1 sine 440
sox -q -R -D -n -r 22050 -b 16 -e signed -c 2 "$here/wave_s16_stereo.wav" synth 0.1 sine 440 sine 660

# A valid WAVE whose first chunk is a LIST chunk, so "fmt " does not follow
# "WAVE" directly.
python3 - "$here/wave_u8_mono.wav" "$here/wave_list_first.wav" <<'PY'
import struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
text = b"zandrel fixture\0"
info = b"INFO" + b"ISFT" + struct.pack("<I", len(text)) + text
chunk = b"LIST" + struct.pack("<I", len(info)) + info
out = data[:12] + chunk + data[12:]
out = out[:4] + struct.pack("<I", len(out) - 8) + out[8:]
open(dst, "wb").write(out)
PY
