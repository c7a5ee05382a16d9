#!/bin/sh
# Makes the fixtures of the codec rules: Ogg streams of every codec the Ogg
# rule names (opusenc, speexenc, ffmpeg's FLAC-in-Ogg and Theora with
# Vorbis, a chained Ogg Opus file), a big-endian RIFX WAVE (sox), and RIFF
# headers of game codecs (Wwise, ATRAC3, ATRAC3plus, ATRAC9, XMA) built in
# Python with their real format chunk layouts around PCM-like data.
# Needs sox, opus-tools, speex, ffmpeg (with libtheora and libvorbis) and
# python3:
#   apt-get install sox opus-tools speex ffmpeg
# Run from anywhere; the files are written next to this script. Rerunning it
# gives the same bytes for the same encoder versions (opus-tools 0.2 with
# libopus 1.3.1, speex 1.2.1, ffmpeg 5.1). It ends by printing what ffprobe
# reports of each Ogg fixture: the figures the tests pin.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

S="sox -q -R -D -n"
$S -r 44100 -b 16 -e signed -c 2 "$work/stereo44.wav" synth 0.6 sine 440 sine 660
$S -r 16000 -b 16 -e signed -c 1 "$work/mono16.wav" synth 0.4 sine 300
$S -r 22050 -b 16 -e signed -c 2 "$work/stereo22.wav" synth 0.3 sine 330 sine 550

# Ogg Opus: 48 kHz inside whatever the input's rate; the length is the last
# granule position less the pre-skip. Fixed serial numbers.
opusenc --quiet --serial 2001 --bitrate 32 "$work/stereo44.wav" "$here/opus_stereo_44k_input.opus"
opusenc --quiet --serial 2002 --bitrate 16 "$work/mono16.wav" "$here/opus_mono_16k_input.opus"
# Two Opus files one after the other: a chained Ogg of two links.
cat "$here/opus_mono_16k_input.opus" "$here/opus_stereo_44k_input.opus" \
  >"$here/opus_chained.opus"

# Ogg Speex, wideband. speexenc draws its serial number at random: the
# Python below sets it to 3001 on every page and recomputes the page CRCs.
speexenc --quiet -w "$work/mono16.wav" "$work/speex.spx"
python3 - "$work/speex.spx" "$here/speex_wb_mono_16k.oga" 3001 <<'PY'
import struct, sys
src, dst, serial = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = bytearray(open(src, "rb").read())

def crc(page):
    c = 0
    for b in page:
        c ^= b << 24
        for _ in range(8):
            c = (c << 1) ^ 0x04C11DB7 if c & 0x80000000 else c << 1
            c &= 0xFFFFFFFF
    return c

at = 0
while at < len(data):
    assert data[at:at + 4] == b"OggS"
    n = data[at + 26]
    size = 27 + n + sum(data[at + 27:at + 27 + n])
    data[at + 14:at + 18] = struct.pack("<I", serial)
    data[at + 22:at + 26] = bytes(4)
    data[at + 22:at + 26] = struct.pack("<I", crc(data[at:at + size]))
    at += size
open(dst, "wb").write(data)
PY

# FLAC in Ogg and Theora with Vorbis, by ffmpeg, bit-exact and without
# metadata (serial numbers from the stream index).
F="ffmpeg -hide_banner -loglevel error -y"
X="-fflags +bitexact -flags:a +bitexact -map_metadata -1"
$F -i "$work/stereo22.wav" $X -c:a flac -f ogg "$here/flac_in_ogg_stereo_22k.oga"
$F -f lavfi -i "testsrc=size=96x64:rate=12:duration=1" \
  -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=1" \
  $X -flags:v +bitexact -c:v libtheora -q:v 2 -c:a libvorbis -q:a 0 -ac 1 \
  "$here/theora_vorbis.ogv"

# A big-endian WAVE: sox writes "RIFX" for -B. And two WAVE files whose
# format tags Wwise also uses, in their standard layouts, which stay ".wav":
# WAVE_FORMAT_EXTENSIBLE with the PCM subformat (sox, 24 bits) and Microsoft
# ADPCM with its coefficients.
$S -B -r 22050 -b 16 -e signed -c 2 "$here/wave_rifx_s16_stereo.wav" synth 0.1 sine 440 sine 660
$S -r 24000 -b 24 -e signed -c 2 "$here/wave_extensible_s24_stereo.wav" synth 0.1 sine 440 sine 660
$S -r 8000 -e ms-adpcm -c 1 "$here/wave_msadpcm_mono.wav" synth 0.1 sine 440

# Game codecs. Each file is a RIFF (or RIFX) WAVE with the format chunk its
# codec's tools write; the data is PCM-like bytes, for carving, not decoding.
python3 - "$here" <<'PY'
import math, struct, sys
here = sys.argv[1]

def samples(count, channels):
    out = bytearray()
    for i in range(count):
        v = int(8000 * math.sin(2 * math.pi * 440 * i / 48000))
        out += struct.pack("<h", v) * channels
    return bytes(out)

def chunk(cid, body, e):
    return cid + struct.pack(e + "I", len(body)) + body + (b"\0" if len(body) & 1 else b"")

def riff(name, fmt, extra, data, e="<"):
    body = b"WAVE" + chunk(b"fmt ", fmt, e)
    for cid, payload in extra:
        body += chunk(cid, payload, e)
    body += chunk(b"data", data, e)
    head = b"RIFF" if e == "<" else b"RIFX"
    open(here + "/" + name, "wb").write(head + struct.pack(e + "I", len(body)) + body)

def waveformatex(tag, ch, rate, byterate, align, bits, extra, e="<"):
    return struct.pack(e + "HHIIHHH", tag, ch, rate, byterate, align, bits, len(extra)) + extra

def guid(d1, d2, d3, d4):
    return struct.pack("<IHH", d1, d2, d3) + bytes.fromhex(d4)

ATRAC9 = guid(0x47E142D2, 0x36BA, 0x4D8D, "88FC61654F8C836C")
ATRAC3PLUS = guid(0xE923AABF, 0xCB58, 0x4471, "A119FFFA01E4CE62")
pcm = samples(1200, 2)
# Wwise's channel layout: the channel count, the configuration type (1,
# standard) and the speaker mask.
STEREO, MONO = 0x3102, 0x4101

# ATRAC3 (0x0270): WAVEFORMATEX and 14 bytes of codec data (1, 2048 samples
# a channel, the coding mode twice, 1, 0), a fact chunk.
at3 = struct.pack("<HIHHHH", 1, 2048, 0, 0, 1, 0)
riff("atrac3_stereo_44k.at3", waveformatex(0x0270, 2, 44100, 16537, 384, 0, at3),
     [(b"fact", struct.pack("<II", 4800, 1024))], pcm)
# ATRAC3plus: WAVE_FORMAT_EXTENSIBLE (samples a block, channel mask,
# subformat) and 12 bytes of codec data.
ext = struct.pack("<HI", 2048, 3) + ATRAC3PLUS + bytes.fromhex("0100285C0000000000000000")
riff("atrac3plus_stereo_44k.at3", waveformatex(0xFFFE, 2, 44100, 44100, 1536, 0, ext),
     [(b"fact", struct.pack("<III", 4800, 2048, 0))], pcm)
# ATRAC9: WAVE_FORMAT_EXTENSIBLE with the ATRAC9 subformat, then version,
# configuration data and a reserved word.
ext = struct.pack("<HI", 256, 3) + ATRAC9 + struct.pack("<I", 2) + bytes.fromhex("FE0A0D00") + bytes(4)
riff("atrac9_stereo_48k.at9", waveformatex(0xFFFE, 2, 48000, 12000, 256, 0, ext),
     [(b"fact", struct.pack("<III", 4800, 256, 0))], pcm)
# XMA (0x0165): XMAWAVEFORMAT (bits, options, largest skip, one stream,
# loop count, version) and its stream: bytes a second, rate, loop start and
# end, subframes, channels, channel mask.
xma1 = struct.pack("<HHHHHBB", 0x0165, 16, 0, 0, 1, 0, 2)
xma1 += struct.pack("<IIIIBBH", 16000, 48000, 0, 0, 0, 2, 3)
riff("xma1_stereo_48k.xma", xma1, [], pcm)
# XMA2 (0x0166): XMA2WAVEFORMATEX, 34 bytes after WAVEFORMATEX: streams,
# channel mask, samples, bytes a block, play and loop ranges, loop count,
# encoder version, block count.
xma2 = struct.pack("<HIIIIIIIBBH", 1, 3, 4800, 0x10000, 0, 4800, 0, 0, 0, 4, 1)
riff("xma2_stereo_48k.xma", waveformatex(0x0166, 2, 48000, 16000, 4, 16, xma2), [], pcm)
# Wwise Vorbis (0xFFFF): the newer 0x42-byte format chunk, whose 0x30 extra
# bytes hold the channel layout, the sample count, the set-up fields and,
# last, the two block size exponents.
vorb = struct.pack("<HII", 0, STEREO, 4800).ljust(0x2E, b"\0") + bytes([8, 11])
riff("wwise_vorbis_stereo_48k.wem", waveformatex(0xFFFF, 2, 48000, 12000, 0, 0, vorb), [], pcm)
# Wwise Opus (0x3040): the channel layout and the sample count.
opus = struct.pack("<HIII", 0, STEREO, 4800, 0)
riff("wwise_opus_stereo_48k.wem", waveformatex(0x3040, 2, 48000, 8000, 0, 0, opus), [], pcm)
# Wwise IMA ADPCM (0x0002 of 4 bits with the six extra bytes of every Wwise
# format chunk), as in a PC .wem.
riff("wwise_ima_mono_48k.wem",
     waveformatex(0x0002, 1, 48000, 25500, 36, 4, struct.pack("<HI", 0, MONO)), [], pcm[:2400])
# Wwise PCM (0xFFFE with six extra bytes and no subformat), big-endian as
# on the Xbox 360.
riff("wwise_pcm_rifx_stereo_48k.wem",
     waveformatex(0xFFFE, 2, 48000, 192000, 4, 16, struct.pack(">HI", 0, STEREO), ">"), [],
     pcm, ">")
PY

for f in "$here"/opus_*.opus "$here"/speex_*.oga "$here"/flac_in_ogg_*.oga "$here"/theora_*.ogv; do
  printf '%s ' "$(basename "$f")"
  ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=duration \
    -of compact=nokey=0 "$f" | tr '\n' ' '
  echo
done
