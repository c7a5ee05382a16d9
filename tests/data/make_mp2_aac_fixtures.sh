#!/bin/sh
# Makes the small MPEG Layer I/II (.mp2) and ADTS AAC (.aac) fixtures of this
# folder, then walks every file with an independent frame walker and prints
# the tables in README.md.
#
# Layer II comes from twolame 0.4.0 and ffmpeg's mp2 encoder, AAC from
# ffmpeg's aac encoder (ffmpeg 5.1), all from synthetic sox tones. No encoder
# in Debian writes Layer I, so the Layer I files are written by the frame
# generator below: valid frames whose bit allocation, scale factors and
# samples follow the standard's syntax (silent frames first, then frames with
# a tone in a few subbands), checked by decoding them with ffmpeg.
#
# Usage: tests/data/make_mp2_aac_fixtures.sh   (from anywhere; needs sox,
# twolame, ffmpeg and python3). Rerunning it gives the same bytes.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tone() {  # tone <file> <rate> <channels> <seconds>
  case "$3" in
    1) sox -q -R -D -n -r "$2" -c 1 -b 16 -e signed "$1" synth "$4" sine 440 vol 0.5 ;;
    2) sox -q -R -D -n -r "$2" -c 2 -b 16 -e signed "$1" synth "$4" sine 440 sine 660 vol 0.5 ;;
    *) sox -q -R -D -n -r "$2" -c "$3" -b 16 -e signed "$1" synth "$4" sine 440 vol 0.5 ;;
  esac
}

tone "$work/t48s.wav" 48000 2 0.3
tone "$work/t44s.wav" 44100 2 0.3
tone "$work/t32m.wav" 32000 1 0.3
tone "$work/t24s.wav" 24000 2 0.3
tone "$work/t16m.wav" 16000 1 0.4
tone "$work/t44m.wav" 44100 1 0.3
tone "$work/t48m.wav" 48000 1 0.3
tone "$work/t22s.wav" 22050 2 0.3
tone "$work/t8m.wav" 8000 1 0.5
tone "$work/t32s.wav" 32000 2 0.3
tone "$work/t48c6.wav" 48000 6 0.2
# Two sawtooth waves: rich in harmonics, so that a variable-rate AAC encoder
# writes frames of more than 6144 bits a channel.
sox -q -R -D -n -r 44100 -c 2 -b 16 -e signed "$work/saw44s.wav" synth 1 sawtooth 110 \
  sawtooth 165 vol 0.5

# --- Layer II -------------------------------------------------------------------
T="twolame --quiet"
# MPEG-1, 48 kHz stereo, 192 kbit/s.
$T -m s -b 192 "$work/t48s.wav" "$here/mp2_l2_48k_stereo.mp2"
# MPEG-1, 44.1 kHz joint stereo, 128 kbit/s, padded frames and a CRC after
# every header.
$T -m j -b 128 -d -p "$work/t44s.wav" "$here/mp2_l2_44k_joint_crc.mp2"
# MPEG-1, 32 kHz mono, 64 kbit/s, 50/15 us emphasis.
$T -m m -b 64 -e 5 "$work/t32m.wav" "$here/mp2_l2_32k_mono.mp2"
# MPEG-1, 48 kHz stereo, variable bit rate.
$T -m s -v -V 5 "$work/t48s.wav" "$here/mp2_l2_48k_vbr.mp2"
# MPEG-2 (low sampling frequencies), 24 kHz dual channel, 96 kbit/s.
$T -m d -b 96 "$work/t24s.wav" "$here/mp2_l2_24k_dual.mp2"
F="ffmpeg -nostdin -hide_banner -loglevel error -y"
B="-fflags +bitexact -flags:a +bitexact -map_metadata -1"
# ffmpeg: MPEG-1, 44.1 kHz stereo, 160 kbit/s (padded frames).
$F -i "$work/t44s.wav" $B -c:a mp2 -b:a 160k -f mp2 "$here/mp2_l2_44k_ffmpeg.mp2"
# ffmpeg: MPEG-2, 16 kHz mono, 32 kbit/s.
$F -i "$work/t16m.wav" $B -c:a mp2 -b:a 32k -f mp2 "$here/mp2_l2_16k_mono_ffmpeg.mp2"

# --- Layer I (generated) --------------------------------------------------------
python3 - "$here" <<'PY'
import math, os, sys

BITRATE = {1: [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
           2: [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256]}
RATE = {1: [44100, 48000, 32000], 2: [22050, 24000, 16000]}

class Bits:
    def __init__(self):
        self.bits = []
    def put(self, value, count):
        self.bits += [(value >> (count - 1 - i)) & 1 for i in range(count)]

def crc16(bits):
    """CRC-16 of the MPEG audio frames: x^16 + x^15 + x^2 + 1, start 0xFFFF."""
    crc = 0xFFFF
    for b in bits:
        top = (crc >> 15) & 1
        crc = (crc << 1) & 0xFFFF
        if top ^ b:
            crc ^= 0x8005
    return crc

def layer1(path, version, rate_index, bitrate_index, mono, crc, frames, silent):
    rate = RATE[version][rate_index]
    kbps = BITRATE[version][bitrate_index]
    nch = 1 if mono else 2
    out = bytearray()
    extra = 0  # the padding slot is added whenever the fractions add up to one
    for n in range(frames):
        slots, rest = divmod(12 * kbps * 1000, rate)
        extra += rest
        pad = 1 if extra >= rate else 0
        extra -= pad * rate
        length = (slots + pad) * 4
        # Allocation: none in the silent frames, then a tone in subbands 1-3
        # (4 to 6 bits a sample) and a quieter one in subbands 4-9.
        alloc = [[0] * 32 for _ in range(nch)]
        if n >= silent:
            for ch in range(nch):
                for sb in range(1, 10):
                    alloc[ch][sb] = 5 - (sb + ch) % 3 if sb < 4 else 2
        head = Bits()
        head.put(0xFFF, 12)
        head.put(1 if version == 1 else 0, 1)
        head.put(3, 2)                           # Layer I
        head.put(0 if crc else 1, 1)             # protection bit: 0 = CRC follows
        head.put(bitrate_index, 4)
        head.put(rate_index, 2)
        head.put(pad, 1)
        head.put(0, 1)                           # private bit
        head.put(3 if mono else 0, 2)            # mono or stereo
        head.put(0, 2)                           # mode extension
        head.put(0, 1)                           # copyright
        head.put(1, 1)                           # original
        head.put(0, 2)                           # no emphasis
        body = Bits()
        for sb in range(32):
            for ch in range(nch):
                body.put(alloc[ch][sb], 4)
        allocation = list(body.bits)
        for sb in range(32):
            for ch in range(nch):
                if alloc[ch][sb]:
                    body.put(8 + 3 * sb + ch, 6)  # scale factor index, never 63
        for s in range(12):
            for sb in range(32):
                for ch in range(nch):
                    nb = alloc[ch][sb] + 1 if alloc[ch][sb] else 0
                    if nb:
                        # A sine over the frame's 12 samples of the subband,
                        # coded in [0, 2^nb - 2]: the all-ones code is not used.
                        x = math.sin(2 * math.pi * (s + 12 * n) * (sb + 1) / 48 + ch)
                        top = (1 << nb) - 2
                        body.put(min(top, round((x + 1) / 2 * top)), nb)
        bits = Bits()
        bits.bits = list(head.bits)
        if crc:
            bits.put(crc16(head.bits[16:] + allocation), 16)
        bits.bits += body.bits
        assert len(bits.bits) <= length * 8, path
        bits.bits += [0] * (length * 8 - len(bits.bits))  # ancillary data: zeros
        out += bytes(int("".join(map(str, bits.bits[i:i + 8])), 2)
                     for i in range(0, len(bits.bits), 8))
    open(path, "wb").write(out)

here = sys.argv[1]
# MPEG-1, 44.1 kHz stereo, 384 kbit/s: padded frames every so often.
layer1(os.path.join(here, "mp1_l1_44k_stereo.mp2"), 1, 0, 12, False, False, 30, 3)
# MPEG-2 (low sampling frequencies), 22.05 kHz mono, 64 kbit/s, CRC.
layer1(os.path.join(here, "mp1_l1_22k_mono_crc.mp2"), 2, 0, 4, True, True, 24, 2)
PY
for f in "$here"/mp1_l1_*.mp2; do
  # Every frame decodes, its CRC checked, and the tone comes out.
  $F -err_detect crccheck+explode -xerror -i "$f" -f s16le "$work/pcm.raw"
  [ "$(stat -c %s "$work/pcm.raw")" -gt 0 ]
done

# --- ADTS AAC -------------------------------------------------------------------
A="$B -c:a aac -f adts"
$F -i "$work/t44s.wav" $A -b:a 128k "$here/aac_lc_44k_stereo.aac"
$F -i "$work/t48m.wav" $A -b:a 64k "$here/aac_lc_48k_mono.aac"
$F -i "$work/t22s.wav" $A -b:a 48k "$here/aac_lc_22k_stereo.aac"
$F -i "$work/t8m.wav" $A -b:a 16k "$here/aac_lc_8k_mono.aac"
$F -i "$work/t32s.wav" $A -profile:a aac_main -b:a 96k "$here/aac_main_32k_stereo.aac"
$F -i "$work/t48c6.wav" $A -b:a 192k "$here/aac_lc_48k_6ch.aac"
# Variable bit rate (quality 2): frames of up to 1 600 bytes in stereo.
$F -i "$work/saw44s.wav" $A -q:a 2 "$here/aac_lc_44k_vbr_q2.aac"

# --- not audio -------------------------------------------------------------------
# A JPEG of a noisy test picture, for the false-positive tests.
$F -f lavfi -i "testsrc2=size=640x360:rate=1,noise=alls=30:allf=u" -frames:v 1 -q:v 5 \
  -fflags +bitexact -flags +bitexact -map_metadata -1 "$here/picture_noise.jpg"

# --- the frame walk -------------------------------------------------------------
python3 - "$here" <<'PY'
import os, sys

MPEG_BITRATE = {(1, 1): [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
                (1, 2): [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
                (2, 1): [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256],
                (2, 2): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
MPEG_RATE = {1: [44100, 48000, 32000], 2: [22050, 24000, 16000]}
MODES = ["stereo", "joint stereo", "dual channel", "mono"]
ADTS_RATE = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025,
             8000, 7350]
PROFILES = ["Main", "LC", "SSR", "LTP"]

def mpeg_frame(data, pos):
    h = int.from_bytes(data[pos:pos + 4], "big")
    assert h >> 21 == 0x7FF, "no sync at %d" % pos
    version = {3: 1, 2: 2}[(h >> 19) & 3]
    layer = {3: 1, 2: 2}[(h >> 17) & 3]
    kbps = MPEG_BITRATE[version, layer][(h >> 12) & 15]
    assert kbps, "bit rate index at %d" % pos
    rate = MPEG_RATE[version][(h >> 10) & 3]
    pad = (h >> 9) & 1
    length = (12 * kbps * 1000 // rate + pad) * 4 if layer == 1 else 144 * kbps * 1000 // rate + pad
    samples = 384 if layer == 1 else 1152
    # Stereo and joint stereo are chosen frame by frame (twolame does), so
    # they count as one arrangement of the channels.
    mode = (h >> 6) & 3
    fixed = (version, layer, rate, not (h >> 16) & 1, 0 if mode == 1 else mode)
    return length, fixed, (kbps, MODES[mode]), samples, rate

def adts_frame(data, pos):
    h = data[pos:pos + 7]
    assert h[0] == 0xFF and h[1] & 0xF6 == 0xF0, "no sync at %d" % pos
    length = (h[3] & 3) << 11 | h[4] << 3 | h[5] >> 5
    fullness = (h[5] & 0x1F) << 6 | h[6] >> 2
    rate = ADTS_RATE[(h[2] >> 2) & 15]
    fixed = (h[1], h[2], h[3] >> 4, fullness == 0x7FF)
    samples = 1024 * ((h[6] & 3) + 1)
    return length, fixed, fullness, samples, rate

def walk(path, frame):
    data = open(path, "rb").read()
    pos = frames = samples = 0
    kinds, values = set(), set()
    seconds = 0.0
    while pos < len(data):
        length, fixed, value, n, rate = frame(data, pos)
        kinds.add(fixed)
        values.add(value)
        seconds += n / rate
        pos += length
        frames += 1
    assert pos == len(data), "%s: frames end at %d" % (path, pos)
    assert len(kinds) == 1, "%s: the fixed header changes" % path
    kbps = round(len(data) * 8 / seconds / 1000)
    return len(data), frames, kinds.pop(), sorted(values), seconds, kbps

names = sorted(os.listdir(sys.argv[1]))
print("| File | Bytes | Frames | MPEG | Layer | Hz | Mode | CRC | kbit/s | Average | Seconds |")
print("|---|---|---|---|---|---|---|---|---|---|---|")
for name in (n for n in names if n.endswith(".mp2")):
    size, frames, (version, layer, rate, crc, _), values, seconds, avg = walk(
        os.path.join(sys.argv[1], name), mpeg_frame)
    kbps = sorted(set(v[0] for v in values))
    mode = ", ".join(sorted(set(v[1] for v in values)))
    shown = str(kbps[0]) if len(kbps) == 1 else "%d-%d" % (kbps[0], kbps[-1])
    print("| %s | %d | %d | %d | %d | %d | %s | %s | %s | %d | %.3f |" % (
        name, size, frames, version, layer, rate, mode, "yes" if crc else "no", shown, avg,
        seconds))
print()
print("| File | Bytes | Frames | Profile | Hz | Channel configuration | Buffer fullness | Average kbit/s | Seconds |")
print("|---|---|---|---|---|---|---|---|---|")
for name in (n for n in names if n.endswith(".aac")):
    size, frames, (b1, b2, b3, vbr), fullness, seconds, avg = walk(
        os.path.join(sys.argv[1], name), adts_frame)
    rate = ADTS_RATE[(b2 >> 2) & 15]
    config = (b2 & 1) << 2 | b3 >> 2
    shown = "0x7FF (VBR)" if vbr else "%d-%d" % (fullness[0], fullness[-1])
    print("| %s | %d | %d | %s | %d | %d | %s | %d | %.3f |" % (
        name, size, frames, PROFILES[b2 >> 6], rate, config, shown, avg, seconds))
PY
