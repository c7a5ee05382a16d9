#!/usr/bin/env python3
"""Writes the Nintendo stream and Wwise soundbank fixtures, byte for byte.

    python3 tests/data/make_nintendo_wwise_fixtures.py

Standard library only, plus sox for the tones (undithered, so rerunning gives
the same bytes) and ffprobe for the check at the end. The files are written
from the published layouts:

- BRSTM (big-endian), BCSTM (little-endian), BFSTM (both): a header of
  section references, an INFO/HEAD section with the stream's codec, channels,
  sampling rate, sample count and blocks, then the samples as PCM16, or as
  Nintendo DSP-ADPCM encoded here (one BRSTM, with its ADPC section), block
  interleaved. ffprobe reads each one back: its duration, rate and channels
  must be the ones written; ffmpeg decodes the DSP-ADPCM one whole, within
  40 dB of the tone.
- Wwise soundbanks: BKHD, DIDX (id, offset, size of each member), DATA (the
  members, each at a 16-byte boundary), HIRC (one sound object a member) and
  STID; the members are WEM files: RIFF (RIFX for the big-endian bank) WAVE
  with Wwise's 24-byte "fmt " of codec 0xFFFE and PCM16 samples.
"""
import math
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def tone(rate, channels, seconds, freq, volume=1.0):
    """Signed 16-bit little-endian samples of a sine tone, interleaved."""
    return subprocess.run(
        ["sox", "-D", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", "-e", "signed",
         "-L", "-t", "raw", "-", "synth", str(seconds), "sine", str(freq), "vol", str(volume)],
        check=True, capture_output=True).stdout


def channel_planes(pcm, channels, big):
    """Each channel's samples on their own, in the byte order asked for."""
    samples = struct.unpack("<%dh" % (len(pcm) // 2), pcm)
    order = ">" if big else "<"
    return [struct.pack(order + "%dh" % len(samples[c::channels]), *samples[c::channels])
            for c in range(channels)]


def pad(data, unit):
    return data + bytes(-len(data) % unit)


BLOCK = 0x2000  # bytes of a channel in one block


def blocks(planes):
    """Block-interleaved samples and the block fields: count, samples per
    block, the last block's used bytes, samples and padded size."""
    size = len(planes[0])
    count = (size + BLOCK - 1) // BLOCK
    last = size - (count - 1) * BLOCK
    last_padded = (last + 0x1F) // 0x20 * 0x20
    out = bytearray()
    for b in range(count):
        for p in planes:
            piece = p[b * BLOCK:(b + 1) * BLOCK]
            out += piece if b < count - 1 else pad(piece, 0x20)
    return bytes(out), (count, BLOCK // 2, last, last // 2, last_padded)


def brstm(rate, channels, seconds, freq):
    pcm = tone(rate, channels, seconds, freq)
    data, (count, per_block, last, last_samples, last_padded) = blocks(
        channel_planes(pcm, channels, True))
    samples = len(pcm) // 2 // channels
    # HEAD: three references (stream, tracks, channels), offsets from HEAD + 8.
    info_at, track_at = 0x18, 0x50
    chan_at = track_at + 0x10
    head = bytearray(0xF8)
    struct.pack_into(">IIIIII", head, 0, 0x01000000, info_at, 0x01000000, track_at,
                     0x01000000, chan_at)
    data_at = 0x40 + 8 + len(head)  # the DATA section; its samples 0x20 further
    struct.pack_into(">BBBBHHIIIIIIIIIII", head, info_at, 1, 0, channels, 0, rate, 0, 0,
                     samples, data_at + 0x20, count, BLOCK, per_block, last, last_samples,
                     last_padded, per_block, 4)
    struct.pack_into(">BBHII", head, track_at, 1, 0, 0, 0x01000000, track_at + 0x0C)
    struct.pack_into(">BBBB", head, track_at + 0x0C, channels, 0, channels - 1, 0)
    struct.pack_into(">BBBB", head, chan_at, channels, 0, 0, 0)
    for c in range(channels):
        entry = chan_at + 4 + 8 * channels + 8 * c
        struct.pack_into(">II", head, chan_at + 4 + 8 * c, 0x01000000, entry)
        struct.pack_into(">II", head, entry, 0x01000000, 0xA0)  # codec info: none for PCM
    head = b"HEAD" + struct.pack(">I", 8 + len(head)) + bytes(head)
    data_section = b"DATA" + struct.pack(">II", 0x20 + len(data), 0x18) + bytes(0x14) + data
    size = 0x40 + len(head) + len(data_section)
    header = b"RSTM" + struct.pack(">HHIHHIIIIII", 0xFEFF, 0x0100, size, 0x40, 2, 0x40,
                                    len(head), 0, 0, data_at, len(data_section))
    return pad(header, 0x40) + head + data_section


# Nintendo DSP-ADPCM: frames of 8 bytes, a header byte (predictor, scale
# shift) and 14 4-bit residuals; a sample is ((residual << shift) << 11) +
# 1024 + c1 * hist1 + c2 * hist2, shifted down by 11. The coefficients are a
# fixed set of stable predictors (decoders that round otherwise drift from
# the encoder's history by a unit, never more); each frame takes the
# predictor and shift that fit it best.
DSP_COEFS = [(0, 0), (2048, 0), (3584, -1536), (3072, -1024), (3900, -1900), (3800, -1800),
             (2560, -512), (1024, 0)]


def clamp16(v):
    return max(-32768, min(32767, v))


def dsp_frame(samples, h1, h2):
    """The best frame for up to 14 samples after hist1 `h1` and hist2 `h2`:
    its bytes and the history after it."""
    best = None
    for index, (c1, c2) in enumerate(DSP_COEFS):
        for shift in range(13):
            a, b, err, nibbles = h1, h2, 0, []
            for x in samples:
                pred = (c1 * a + c2 * b + 1024) >> 11
                n = max(-8, min(7, round((x - pred) / (1 << shift))))
                y = clamp16(pred + (n << shift))
                err += (x - y) ** 2
                nibbles.append(n & 0xF)
                a, b = y, a
            if best is None or err < best[0]:
                best = (err, index << 4 | shift, nibbles, a, b)
    _, head, nibbles, a, b = best
    nibbles += [0] * (14 - len(nibbles))
    return bytes([head]) + bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, 14, 2)), a, b


def dsp_encode(samples, frames_per_block):
    """The frames of one channel, and its history (hist1, hist2) at the start
    of each block."""
    out, starts, h1, h2 = bytearray(), [], 0, 0
    for f, i in enumerate(range(0, len(samples), 14)):
        if f % frames_per_block == 0:
            starts.append((h1, h2))
        frame, h1, h2 = dsp_frame(samples[i:i + 14], h1, h2)
        out += frame
    return bytes(out), starts


def brstm_dsp(rate, channels, seconds, freq):
    """A BRSTM of DSP-ADPCM: HEAD (with each channel's coefficients), ADPC
    (each block's history) and DATA; the header counts 2 sections, as
    writers do."""
    pcm = tone(rate, channels, seconds, freq, 0.5)
    all_samples = struct.unpack("<%dh" % (len(pcm) // 2), pcm)
    samples = len(all_samples) // channels
    per_block = BLOCK // 8 * 14
    coded = [dsp_encode(all_samples[c::channels], BLOCK // 8) for c in range(channels)]
    data, (count, _, last, _, last_padded) = blocks([c[0] for c in coded])
    last_samples = samples - (count - 1) * per_block
    info_at, track_at = 0x18, 0x50
    chan_at = track_at + 0x10
    head = bytearray(0xF8)
    struct.pack_into(">IIIIII", head, 0, 0x01000000, info_at, 0x01000000, track_at,
                     0x01000000, chan_at)
    history = b"".join(struct.pack(">hh", *coded[c][1][b])
                       for b in range(count) for c in range(channels))
    adpc_size = (8 + len(history) + 0x1F) // 0x20 * 0x20
    adpc = pad(b"ADPC" + struct.pack(">I", adpc_size) + history, 0x20)
    adpc_at = 0x40 + 8 + len(head)
    data_at = adpc_at + len(adpc)
    struct.pack_into(">BBBBHHIIIIIIIIIII", head, info_at, 2, 0, channels, 0, rate, 0, 0,
                     samples, data_at + 0x20, count, BLOCK, per_block, last, last_samples,
                     last_padded, per_block, 4)
    struct.pack_into(">BBHII", head, track_at, 1, 0, 0, 0x01000000, track_at + 0x0C)
    struct.pack_into(">BBBB", head, track_at + 0x0C, channels, 0, channels - 1, 0)
    struct.pack_into(">BBBB", head, chan_at, channels, 0, 0, 0)
    for c in range(channels):
        # A channel: a reference to its DSP-ADPCM info right after it: the
        # 16 coefficients, gain, predictor/scale and history of the start
        # and of the loop.
        entry = chan_at + 4 + 8 * channels + 0x38 * c
        struct.pack_into(">II", head, chan_at + 4 + 8 * c, 0x01000000, entry)
        struct.pack_into(">II", head, entry, 0x01000000, entry + 8)
        coefs = [v for pair in DSP_COEFS for v in pair]
        struct.pack_into(">16hHHhhHhhH", head, entry + 8, *coefs, 0, coded[c][0][0], 0, 0,
                         coded[c][0][0], 0, 0, 0)
    head = b"HEAD" + struct.pack(">I", 8 + len(head)) + bytes(head)
    data_section = b"DATA" + struct.pack(">II", 0x20 + len(data), 0x18) + bytes(0x14) + data
    size = data_at + len(data_section)
    header = b"RSTM" + struct.pack(">HHIHHIIIIII", 0xFEFF, 0x0100, size, 0x40, 2, 0x40,
                                    len(head), adpc_at, len(adpc), data_at, len(data_section))
    return pad(header, 0x40) + head + adpc + data_section


def cstm(magic, big, version, rate, channels, seconds, freq):
    """A BCSTM or BFSTM: INFO, SEEK and DATA sections."""
    e = ">" if big else "<"
    pcm = tone(rate, channels, seconds, freq)
    data, (count, per_block, last, last_samples, last_padded) = blocks(
        channel_planes(pcm, channels, big))
    samples = len(pcm) // 2 // channels
    body = bytearray(0xD8)
    info_at, tracks_at, chans_at = 0x18, 0x60, 0x80
    struct.pack_into(e + "HHIHHIHHI", body, 0, 0x4100, 0, info_at, 0x0101, 0, tracks_at,
                     0x0101, 0, chans_at)
    struct.pack_into(e + "BBBBIIIIIIIIIIIHHI", body, info_at, 1, 0, channels, 0, rate, 0,
                     samples, count, BLOCK, per_block, last, last_samples, last_padded,
                     4, per_block, 0x1F00, 0, 0x18)
    struct.pack_into(e + "IHHI", body, tracks_at, 1, 0x4101, 0, 0x0C)
    struct.pack_into(e + "BBBBI", body, tracks_at + 0x0C, 0x7F, 0x40, 0, 0, channels)
    struct.pack_into(e + "I", body, chans_at, channels)
    for c in range(channels):
        struct.pack_into(e + "HHI", body, chans_at + 4 + 8 * c, 0x4102, 0, 4 + 8 * channels)
    info = b"INFO" + struct.pack(e + "I", 8 + len(body)) + bytes(body)
    seek = pad(b"SEEK" + struct.pack(e + "I", 0) + bytes(4 * channels * count), 0x20)
    seek = seek[:4] + struct.pack(e + "I", len(seek)) + seek[8:]
    data_section = b"DATA" + struct.pack(e + "I", 0x20 + len(data)) + bytes(0x18) + data
    seek_at = 0x40 + len(info)
    data_at = seek_at + len(seek)
    size = data_at + len(data_section)
    header = magic + struct.pack(e + "HHIIHH", 0xFEFF, 0x40, version, size, 3, 0)
    header += struct.pack(e + "HHII" * 3, 0x4000, 0, 0x40, len(info), 0x4001, 0, seek_at,
                          len(seek), 0x4002, 0, data_at, len(data_section))
    return pad(header, 0x40) + info + seek + data_section


def wem(rate, channels, seconds, freq, big):
    """A WEM file: Wwise's PCM16 "fmt " (codec 0xFFFE, 24 bytes) and samples."""
    e = ">" if big else "<"
    pcm = tone(rate, channels, seconds, freq)
    if big:
        pcm = b"".join(s[::-1] for s in (pcm[i:i + 2] for i in range(0, len(pcm), 2)))
    mask = 0x4 if channels == 1 else 0x3
    fmt = struct.pack(e + "HHIIHHHHI", 0xFFFE, channels, rate, rate * channels * 2,
                      channels * 2, 16, 6, 16, mask)
    body = b"WAVE" + b"fmt " + struct.pack(e + "I", len(fmt)) + fmt + b"data" + struct.pack(
        e + "I", len(pcm)) + pcm
    return (b"RIFX" if big else b"RIFF") + struct.pack(e + "I", len(body)) + body


def chunk(tag, body, e):
    return tag + struct.pack(e + "I", len(body)) + body


def bank(bank_id, version, members, big=False):
    e = ">" if big else "<"
    # BKHD: version, bank id, language id (SFX), alignment, project id, padding.
    bkhd = struct.pack(e + "IIIHHII", version, bank_id, 0x393239ED, 16, 0, 0x4D2, 0)
    entries, data = [], bytearray()
    for media_id, payload in sorted(members):
        data += bytes(-len(data) % 16)
        entries.append((media_id, len(data), len(payload)))
        data += payload
    didx = b"".join(struct.pack(e + "III", *entry) for entry in entries)
    hirc = struct.pack(e + "I", len(entries))
    for i, (media_id, _, size) in enumerate(entries):
        # A sound object: its id, the plug-in id of PCM, the source: embedded
        # media of this id and size.
        sound = struct.pack(e + "IIBII", 0x10000 + i, 0x00010001, 0, media_id, size) + bytes(8)
        hirc += struct.pack(e + "BI", 2, len(sound)) + sound
    name = b"fixture_bank_%d" % bank_id
    stid = struct.pack(e + "III", 1, 1, bank_id) + bytes([len(name)]) + name
    return (chunk(b"BKHD", bkhd, e) + chunk(b"DIDX", didx, e) + chunk(b"DATA", bytes(data), e)
            + chunk(b"HIRC", hirc, e) + chunk(b"STID", stid, e))


def ffprobe(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-count_packets", "-show_entries",
         "stream=sample_rate,channels,duration_ts", "-of", "default=nw=1", path],
        check=True, capture_output=True, text=True).stdout
    return dict(line.split("=", 1) for line in out.split())


def decoded_snr(path, rate, channels, seconds, freq):
    """ffmpeg's decoding of a DSP-ADPCM file against the tone it was made
    from: the count of samples, and the signal-to-noise ratio in dB."""
    got = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"],
                         check=True, capture_output=True).stdout
    want = tone(rate, channels, seconds, freq, 0.5)
    x = struct.unpack("<%dh" % (len(got) // 2), got)
    y = struct.unpack("<%dh" % (len(want) // 2), want)
    noise = sum((a - b) ** 2 for a, b in zip(x, y))
    return len(x) // channels, 10 * math.log10(sum(v * v for v in y) / max(noise, 1))


def main():
    files = {
        "brstm_pcm16_stereo_32k.brstm": (brstm(32000, 2, 0.3, 440), 32000, 2, 0.3),
        "brstm_pcm16_mono_22k.brstm": (brstm(22050, 1, 0.2, 660), 22050, 1, 0.2),
        "brstm_dsp_stereo_32k.brstm": (brstm_dsp(32000, 2, 0.6, 440), 32000, 2, 0.6),
        "bcstm_pcm16_stereo_32k.bcstm": (cstm(b"CSTM", False, 0x02000000, 32000, 2, 0.3, 550),
                                         32000, 2, 0.3),
        "bfstm_pcm16_stereo_48k_be.bfstm": (cstm(b"FSTM", True, 0x00030000, 48000, 2, 0.2, 440),
                                            48000, 2, 0.2),
        "bfstm_pcm16_mono_32k_le.bfstm": (cstm(b"FSTM", False, 0x00040000, 32000, 1, 0.25, 330),
                                          32000, 1, 0.25),
    }
    for name, (data, rate, channels, seconds) in files.items():
        path = os.path.join(HERE, name)
        with open(path, "wb") as f:
            f.write(data)
        got = ffprobe(path)
        want = {"sample_rate": str(rate), "channels": str(channels),
                "duration_ts": str(round(rate * seconds))}
        if got != want:
            sys.exit("%s: ffprobe reads %s, written %s" % (name, got, want))
        print("%s: %d bytes, ffprobe: %s" % (name, len(data), got))
    # The DSP-ADPCM file decoded whole: every sample, close to the tone.
    count, snr = decoded_snr(os.path.join(HERE, "brstm_dsp_stereo_32k.brstm"), 32000, 2, 0.6, 440)
    if count != 19200 or snr < 40:
        sys.exit("brstm_dsp_stereo_32k.brstm: ffmpeg decodes %d samples, %.1f dB" % (count, snr))
    print("brstm_dsp_stereo_32k.brstm: ffmpeg decodes %d samples, %.1f dB" % (count, snr))
    banks = {
        "wwise_bank_two_pcm.bnk": bank(1001, 0x8C, [
            (0x2B1A0F01, wem(22050, 1, 0.1, 440, False)),
            (0x0C3D2E02, wem(32000, 2, 0.05, 660, False))]),
        "wwise_bank_one_pcm_v88.bnk": bank(1002, 0x58, [(77, wem(16000, 1, 0.1, 880, False))]),
        "wwise_bank_big_endian.bnk": bank(1003, 0x71, [
            (5, wem(24000, 1, 0.05, 440, True)), (9, wem(24000, 1, 0.05, 550, True))], True),
    }
    for name, data in banks.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
