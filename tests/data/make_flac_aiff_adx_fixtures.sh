#!/bin/sh
# Makes the small FLAC, AIFF/AIFF-C and CRI ADX files the carver tests embed.
# Needs sox, flac (with metaflac), ffmpeg and python3:
#   apt-get install sox flac ffmpeg
# Run from anywhere; the files are written next to this script. Rerunning it
# with flac 1.4.2, sox 14.4.2 and ffmpeg 5.1 gives the same bytes.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# sox runs with -R (repeatable) and -D (no dither); ffmpeg with bitexact
# flags and no metadata, so that the files are the same on every run.
tone() {  # tone FILE RATE BITS CHANNELS SECONDS [SYNTH...]
  f=$1 r=$2 b=$3 c=$4 s=$5
  shift 5
  if [ $# -eq 0 ]; then
    if [ "$c" -eq 1 ]; then set -- sine 440; else set -- sine 440 sine 660; fi
  fi
  # Plain PCM WAVE (8-bit samples unsigned, as WAVE stores them); AIFF as
  # its name says.
  e=signed t=
  case $f in *.wav) t="-t wavpcm" && [ "$b" -eq 8 ] && e=unsigned ;; esac
  sox -q -R -D -n -r "$r" -b "$b" -e "$e" -c "$c" $t "$f" synth "$s" "$@"
}
ff() { ffmpeg -nostdin -v error -y -fflags +bitexact -flags:a +bitexact "$@"; }

# --- FLAC ----------------------------------------------------------------------
# flac: STREAMINFO, seek table, Vorbis comment and a little padding.
tone "$work/s44.wav" 44100 16 2 0.3
flac -s -f -P 64 -o "$here/flac_16_stereo_44k.flac" "$work/s44.wav"
# flac: mono 16-bit at 11025 Hz (its rate coded in the frame headers), no
# seek table, no padding, small blocks.
tone "$work/m11.wav" 11025 16 1 0.4
flac -s -f --no-seektable --no-padding -b 576 -o "$here/flac_16_mono_11k.flac" "$work/m11.wav"
# flac: STREAMINFO alone (the Vorbis comment removed): its last-block flag set.
tone "$work/m12.wav" 12000 16 1 0.3
flac -s -f --no-seektable --no-padding -b 1152 -o "$here/flac_16_mono_12k_streaminfo_only.flac" \
  "$work/m12.wav"
metaflac --remove --block-type=VORBIS_COMMENT --dont-use-padding \
  "$here/flac_16_mono_12k_streaminfo_only.flac"
# flac: 24-bit stereo at 96 kHz, highest compression.
tone "$work/s96.wav" 96000 24 2 0.1
flac -s -f -8 -P 32 -o "$here/flac_24_stereo_96k.flac" "$work/s96.wav"
# flac: 24-bit samples whose low 8 bits are zero (wasted bits), 48 kHz mono.
tone "$work/m48.wav" 48000 16 1 0.2
sox -q -R -D "$work/m48.wav" -b 24 -t wavpcm "$work/m48_24.wav"
flac -s -f --no-padding -b 2048 -o "$here/flac_24_mono_48k_wasted.flac" "$work/m48_24.wav"
# flac: 8-bit mono at 8 kHz.
tone "$work/m8.wav" 8000 8 1 0.3
flac -s -f --no-padding -b 576 -o "$here/flac_8_mono_8k.flac" "$work/m8.wav"
# flac: full-scale random samples then silence: verbatim and constant
# subframes.
python3 -c '
import random, sys
r = random.Random(7)
noise = bytes(r.randrange(256) for _ in range(1600 * 4))
sys.stdout.buffer.write(noise + bytes(1600 * 4))' |
  flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
    --sample-rate=32000 --no-padding -b 1024 - -o "$here/flac_16_stereo_32k_noise_silence.flac"
# flac writing to a pipe: total samples 0 and no frame sizes in STREAMINFO.
sox -q -R -D -n -r 22050 -b 16 -e signed -c 2 -t raw - synth 0.3 sine 440 sine 660 |
  flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
    --sample-rate=22050 --no-padding -b 1152 - -o - >"$here/flac_16_stereo_22k_no_total.flac" \
    2>/dev/null
# ffmpeg: each stereo decorrelation mode, other rates and depths.
tone "$work/s22.wav" 22050 16 2 0.3
for mode in indep left_side right_side mid_side; do
  ff -i "$work/s22.wav" -map_metadata -1 -c:a flac -ch_mode "$mode" -metadata_header_padding 0 \
    "$here/flac_ffmpeg_16_stereo_22k_$mode.flac"
done
tone "$work/s48.wav" 48000 24 2 0.15
ff -i "$work/s48.wav" -map_metadata -1 -c:a flac -compression_level 12 -exact_rice_parameters 1 \
  -metadata_header_padding 0 "$here/flac_ffmpeg_24_stereo_48k.flac"
tone "$work/m16.wav" 16000 16 1 0.3
ff -i "$work/m16.wav" -map_metadata -1 -c:a flac -lpc_type cholesky -metadata_header_padding 512 \
  "$here/flac_ffmpeg_16_mono_16k_padding.flac"
# ffmpeg writing to a pipe: total samples 0 (five frames: at least the
# default minimum).
tone "$work/s22long.wav" 22050 16 2 0.5
ff -i "$work/s22long.wav" -map_metadata -1 -c:a flac -metadata_header_padding 0 -f flac - \
  >"$here/flac_ffmpeg_16_stereo_22k_no_total.flac"
# An ID3v2.3 tag (a title frame and padding) put in front of a flac file.
python3 - "$here/flac_16_mono_11k.flac" "$here/flac_id3v2_16_mono_11k.flac" <<'PY'
import sys
src, dst = sys.argv[1], sys.argv[2]
text = b"\x00Fixture tone"
frames = b"TIT2" + len(text).to_bytes(4, "big") + b"\x00\x00" + text
body = frames + bytes(200)
size = len(body)
synchsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
tag = b"ID3\x03\x00\x00" + synchsafe + body
open(dst, "wb").write(tag + open(src, "rb").read())
PY

# --- AIFF and AIFF-C --------------------------------------------------------------
# sox: AIFF with a comment chunk before the common chunk.
tone "$here/aiff_sox_16_stereo_22k.aiff" 22050 16 2 0.1
tone "$here/aiff_sox_8_mono_8k.aiff" 8000 8 1 0.1
# sox: AIFF-C (version chunk, "NONE"), 24-bit stereo.
sox -q -R -D -n -r 32000 -b 24 -e signed -c 2 -t aifc "$here/aiff_sox_aifc_24_stereo_32k.aiff" \
  synth 0.05 sine 440 sine 660
# ffmpeg: AIFF of 16, 24 and 8 bits; 8-bit mono with an odd count of frames,
# so that the sound chunk has a pad byte.
tone "$work/s11.wav" 11025 16 2 0.1
ff -i "$work/s11.wav" -map_metadata -1 -c:a pcm_s16be -f aiff "$here/aiff_ffmpeg_16_stereo_11k.aiff"
tone "$work/s48_24.wav" 48000 24 2 0.05
ff -i "$work/s48_24.wav" -map_metadata -1 -c:a pcm_s24be -f aiff \
  "$here/aiff_ffmpeg_24_stereo_48k.aiff"
tone "$work/m8odd.wav" 8000 16 1 0.100125
ff -i "$work/m8odd.wav" -map_metadata -1 -c:a pcm_s8 -f aiff "$here/aiff_ffmpeg_8_mono_odd.aiff"
# ffmpeg: AIFF-C with little-endian samples ("sowt").
tone "$work/m22.wav" 22050 16 1 0.1
ff -i "$work/m22.wav" -map_metadata -1 -c:a pcm_s16le -f aiff "$here/aiff_ffmpeg_aifc_sowt_mono.aiff"
# ffmpeg: AIFF with an ID3v2.4 tag in an "ID3 " chunk, its last chunk (a
# title, which also makes a NAME chunk, and ffmpeg's encoder frame); the
# title's length makes the tag 70 bytes long: no pad byte after it.
ff -i "$work/m22.wav" -map_metadata -1 -metadata title="Fixture tones" -c:a pcm_s16be \
  -write_id3v2 1 -f aiff "$here/aiff_ffmpeg_16_mono_22k_id3.aiff"
# A writer's off-by-two: the FORM size 2 short of the end of the last chunk.
python3 - "$here/aiff_ffmpeg_16_stereo_11k.aiff" "$here/aiff_ffmpeg_16_stereo_11k_form_2_short.aiff" <<'PY'
import sys
d = bytearray(open(sys.argv[1], "rb").read())
d[4:8] = (int.from_bytes(d[4:8], "big") - 2).to_bytes(4, "big")
open(sys.argv[2], "wb").write(d)
PY

# --- CRI ADX -----------------------------------------------------------------------
# ffmpeg writes the sample count into the header when it can seek back, and
# an end-of-stream block after the data.
for spec in "22050 2 0.3" "44100 1 0.2" "32000 2 0.2" "48000 1 0.1"; do
  set -- $spec
  tone "$work/adx.wav" "$1" 16 "$2" "$3"
  name=$([ "$2" -eq 1 ] && echo mono || echo stereo)
  ff -i "$work/adx.wav" -map_metadata -1 -c:a adpcm_adx -f adx "$here/adx_${name}_$(($1 / 1000))k.adx"
done
# Through a pipe the sample count stays 0: the end-of-stream block ends it.
tone "$work/adx.wav" 22050 16 2 0.2
ff -i "$work/adx.wav" -map_metadata -1 -c:a adpcm_adx -f adx - >"$here/adx_stereo_22k_no_total.adx"

# --- the table of the files ----------------------------------------------------------
cd "$here"
python3 - <<'PY'
import glob, struct

def crc(data, width, poly):
    c, top, mask = 0, 1 << (width - 1), (1 << width) - 1
    for b in data:
        c ^= b << (width - 8)
        for _ in range(8):
            c = ((c << 1) ^ poly if c & top else c << 1) & mask
    return c

def frame_number(d, p):
    """The frame number of a header at p whose CRC-8 matches, or None."""
    if d[p] != 0xFF or d[p + 1] != 0xF8:
        return None
    n, at = d[p + 4], p + 5
    if n >= 0x80:
        extra = 1 if n < 0xE0 else 2
        n &= 0x1F if extra == 1 else 0x0F
        for i in range(extra):
            n = n << 6 | (d[at] & 0x3F)
            at += 1
    at += {6: 1, 7: 2}.get(d[p + 2] >> 4, 0) + {12: 1, 13: 2, 14: 2}.get(d[p + 2] & 15, 0)
    return n if at < len(d) and crc(d[p:at], 8, 0x07) == d[at] else None

def flac(path):
    d = open(path, "rb").read()
    start = d.find(b"fLaC")
    si = d[start + 8:start + 42]
    block = si[2] << 8 | si[3]
    rate = (si[10] << 12 | si[11] << 4 | si[12] >> 4)
    ch = ((si[12] >> 1) & 7) + 1
    bits = ((si[12] & 1) << 4 | si[13] >> 4) + 1
    total = (si[13] & 15) << 32 | struct.unpack(">I", si[14:18])[0]
    blocks, pos, last = [], start + 4, False
    while not last:
        last = d[pos] & 0x80
        blocks.append(d[pos] & 0x7F)
        pos += 4 + int.from_bytes(d[pos + 1:pos + 4], "big")
    # Frames: each next one is the first header numbered on before which
    # the CRC-16 of the frame matches; the last one ends the file.
    frames = [pos]
    while True:
        p = next((p for p in range(frames[-1] + 6, len(d) - 6)
                  if frame_number(d, p) == len(frames)
                  and crc(d[frames[-1]:p], 16, 0x8005) == 0), None)
        if p is None:
            break
        frames.append(p)
    assert frame_number(d, frames[0]) == 0 and crc(d[frames[-1]:], 16, 0x8005) == 0, path
    assert total == 0 or len(frames) == -(-total // block), path
    names = {0: "SI", 1: "PAD", 3: "SEEK", 4: "VC"}
    return "| %s | %d | %d | %d | %d | %d | %d | %d | %d | %s |" % (
        path, len(d), start, rate, ch, bits, block, total, len(frames),
        " ".join(names.get(b, str(b)) for b in blocks))

def aiff(path):
    d = open(path, "rb").read()
    chunks, pos = [], 12
    while pos + 8 <= len(d):
        cid, size = d[pos:pos + 4].decode(), struct.unpack(">I", d[pos + 4:pos + 8])[0]
        chunks.append(cid.strip())
        if cid == "COMM":
            ch, frames, bits = struct.unpack(">hIh", d[pos + 8:pos + 16])
        pos += 8 + size + (size & 1)
    return "| %s | %d | %d | %s | %d | %d | %d | %s |" % (
        path, len(d), struct.unpack(">I", d[4:8])[0] + 8, d[8:12].decode(), ch, bits, frames,
        " ".join(chunks))

def adx(path):
    d = open(path, "rb").read()
    off, enc, bs, depth, ch, rate, total = struct.unpack(">HBBBBII", d[2:16])
    return "| %s | %d | %d | %d | %d | %d | %s |" % (
        path, len(d), off + 4, ch, rate, total, d[-bs:-bs + 4].hex())

print("| File | Bytes | fLaC at | Hz | Channels | Bits | Block | Total samples | Frames | Metadata blocks |")
print("|---|---|---|---|---|---|---|---|---|---|")
for f in sorted(glob.glob("flac_*.flac")):
    print(flac(f))
print()
print("| File | Bytes | FORM size + 8 | Type | Channels | Bits | Frames | Chunks |")
print("|---|---|---|---|---|---|---|---|")
for f in sorted(glob.glob("aiff_*.aiff")):
    print(aiff(f))
print()
print("| File | Bytes | Header bytes | Channels | Hz | Total samples | Last block starts |")
print("|---|---|---|---|---|---|---|")
for f in sorted(glob.glob("adx_*.adx")):
    print(adx(f))
PY
