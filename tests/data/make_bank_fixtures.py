#!/usr/bin/env python3
"""Writes the FSB, AWB and HCA fixtures of tests/data byte for byte.

No encoder in Debian writes these, so the banks and streams are put
together here from their published layouts, around real samples:

- FSB4 and FSB5 banks of 16-bit PCM: tones from sox (undithered), in
  sample headers and name tables as FMOD's tools lay them out, the data of
  each sample aligned to 32 bytes; and an FSB4 bank of GameCube DSP ADPCM
  from an encoder here (the best coefficient pair and scale per frame).
- AWB (AFS2) wave banks whose members are RIFF WAVE files of such tones
  (written with Python's wave module), aligned as the bank says.
- HCA streams: headers with every chunk the carver reads (fmt, comp or dec,
  ath, loop, ciph, rva, comm, pad) and their CRC-16, and frames that follow
  the frame syntax -- sync word, noise level, for each channel a scale
  factor delta width of 0 (no coded spectrum) -- with their CRC-16. They
  decode to silence. One is encrypted with a 56-bit key (cipher type 56) and
  has its chunk ids masked with 0x80, as encrypted files are stored.

Then it checks the files with ffprobe/ffmpeg where they read them: every
HCA file's channels, rate and frame count, and a decode of every frame with
the CRC check on (ffmpeg 5.1 reads no encrypted file: the encrypted one's
frames, decrypted with its key, must be those of its unencrypted twin,
which ffmpeg decodes so); every
AWB member as a WAVE file; the FSB4 bank of DSP ADPCM, whose decoded
samples must be those the encoder meant. FFmpeg reads no FSB of PCM: each
PCM sample is compared with the tone it was made from instead. Prints the tables of
tests/data/README.md. Rerunning it gives the same bytes.
"""
import hashlib
import io
import json
import math
import os
import struct
import subprocess
import sys
import wave

DATA = os.path.dirname(os.path.abspath(__file__))


def tone(rate, channels, seconds, freq):
    """Undithered 16-bit little-endian samples of a sine from sox."""
    return subprocess.run(
        ["sox", "-D", "-n", "-t", "s16", "-r", str(rate), "-c", str(channels), "-",
         "synth", str(seconds), "sine", str(freq), "vol", "0.5"],
        check=True, capture_output=True).stdout


def pad(data, align):
    return data + bytes(-len(data) % align)


# --- FSB4 ---------------------------------------------------------------------

FSOUND_LOOP_OFF, FSOUND_16BITS, FSOUND_MONO, FSOUND_STEREO = 0x1, 0x10, 0x20, 0x40
FSOUND_SIGNED, FSOUND_2D = 0x100, 0x2000


def fsb4_sample_header(name, samples, data_bytes, rate, channels):
    mode = FSOUND_LOOP_OFF | FSOUND_16BITS | FSOUND_SIGNED | FSOUND_2D
    mode |= FSOUND_MONO if channels == 1 else FSOUND_STEREO
    return struct.pack("<H30sIIIIIiHhHHffiHh", 0x50, name.encode(), samples, data_bytes, 0,
                       samples - 1, mode, rate, 255, 128, 128, channels, 1.0, 10000.0, 0, 0, 0)


def fsb4(sounds, basic=False):
    """sounds: (name, pcm, rate, channels); basic: later samples get basic headers."""
    headers, data = b"", b""
    for i, (name, pcm, rate, channels) in enumerate(sounds):
        samples = len(pcm) // (2 * channels)
        if basic and i > 0:
            headers += struct.pack("<II", samples, len(pcm))
        else:
            headers += fsb4_sample_header(name, samples, len(pcm), rate, channels)
        data += pad(pcm, 32)
    flags = 0x02 if basic else 0
    head = struct.pack("<4siIIII8s", b"FSB4", len(sounds), len(headers), len(data), 0x00040000,
                       flags, bytes(8)) + hashlib.md5(data).digest()
    return head + headers + data


# GameCube DSP ADPCM: 8-byte frames of 14 samples (a byte of predictor index
# and scale, then 14 four-bit samples), each sample predicted from the two
# before it by the coefficient pair of its frame's index, in 11-bit fixed
# point. An encoder that tries every pair and scale for each frame.
DSP_COEFS = [(0, 0), (2048, 0), (3840, -1792), (3072, -1024), (1024, 0), (2560, -512),
             (3584, -1536), (4000, -1984)]


def clip16(v):
    return max(-32768, min(32767, v))


def dsp_frame(samples, hist):
    best = None
    for index, (c1, c2) in enumerate(DSP_COEFS):
        for scale in range(13):
            h1, h2, nibbles, err = hist[0], hist[1], [], 0
            for x in samples:
                pred = (h1 * c1 + h2 * c2) >> 11
                n = max(-8, min(7, round((x - pred) / (1 << scale))))
                y = clip16(pred + n * (1 << scale))
                nibbles.append(n & 0xF)
                err += (x - y) ** 2
                h1, h2 = y, h1
            if best is None or err < best[0]:
                best = (err, index, scale, nibbles, (h1, h2))
    _, index, scale, nibbles, hist = best
    nibbles += [0] * (14 - len(nibbles))
    body = bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, 14, 2))
    return bytes([index << 4 | scale]) + body, hist


def dsp_encode(pcm, channels):
    """Per channel: the DSP frames of its samples."""
    values = struct.unpack("<%dh" % (len(pcm) // 2), pcm)
    out = []
    for ch in range(channels):
        xs, hist, data = values[ch::channels], (0, 0), b""
        for i in range(0, len(xs), 14):
            frame, hist = dsp_frame(xs[i:i + 14], hist)
            data += frame
        out.append(data)
    return out


def dsp_decode(frames):
    """The samples FFmpeg's decoder gives for one channel's frames."""
    h1, h2, out = 0, 0, []
    for at in range(0, len(frames), 8):
        c1, c2 = DSP_COEFS[frames[at] >> 4 & 7]
        scale = frames[at] & 0xF
        for i in range(14):
            b = frames[at + 1 + i // 2]
            n = (b >> 4) if i % 2 == 0 else (b & 0xF)
            n = n - 16 if n >= 8 else n
            y = clip16(((h1 * c1 + h2 * c2) >> 11) + n * (1 << scale))
            out.append(y)
            h1, h2 = y, h1
    return out


FSOUND_GCADPCM, FSOUND_HW2D = 0x2000000, 0x80000


def fsb4_dsp(name, pcm, rate, channels):
    """An FSB4 bank of one GC ADPCM sample, the channels interleaved every 2
    bytes; each channel's coefficients and start state after the sample
    header."""
    per_channel = dsp_encode(pcm, channels)
    data = b"".join(per_channel[c][i:i + 2] for i in range(0, len(per_channel[0]), 2)
                    for c in range(channels))
    samples = len(pcm) // (2 * channels)
    # (No loop flag: FMOD's Wii tools leave it out, and FFmpeg reads this
    # very mode, 0x02080040, for stereo.)
    mode = FSOUND_GCADPCM | FSOUND_HW2D
    mode |= FSOUND_MONO if channels == 1 else FSOUND_STEREO
    coefs = b"".join(struct.pack(">hh", *c) for c in DSP_COEFS) + bytes(14)
    header = struct.pack("<H30sIIIIIiHhHHffiHh", 0x50 + 0x2E * channels, name.encode(), samples,
                         len(data), 0, samples - 1, mode, rate, 255, 128, 128, channels, 1.0,
                         10000.0, 0, 0, 0) + coefs * channels
    data = pad(data, 32)
    head = struct.pack("<4siIIII8s", b"FSB4", 1, len(header), len(data), 0x00040000, 0,
                       bytes(8)) + hashlib.md5(data).digest()
    return head + header + data, per_channel


# --- FSB5 ---------------------------------------------------------------------

FSB5_RATES = {8000: 1, 11025: 3, 16000: 4, 22050: 5, 32000: 7, 44100: 8, 48000: 9}


def fsb5(sounds, version=1, loops=False):
    """sounds: (name, pcm, rate, channels), codec PCM16; loops: a loop chunk each."""
    headers, data, names, name_offsets = b"", b"", b"", []
    for name, pcm, rate, channels in sounds:
        samples = len(pcm) // (2 * channels)
        value = (loops and 1) | FSB5_RATES[rate] << 1 | (channels - 1) << 5
        value |= (len(data) // 32) << 7 | samples << 34
        headers += struct.pack("<Q", value)
        if loops:  # type 3, 8 bytes, the last chunk
            headers += struct.pack("<III", 3 << 25 | 8 << 1, 0, samples - 1)
        data += pad(pcm, 32)
        name_offsets.append(len(names))
        names += name.encode() + b"\0"
    table = b"".join(struct.pack("<I", 4 * len(sounds) + o) for o in name_offsets)
    table = pad(table + names, 16)
    head = struct.pack("<4sIIIIII", b"FSB5", version, len(sounds), len(headers), len(table),
                       len(data), 2)
    head += bytes(4 if version == 0 else 0) + bytes(8) + hashlib.md5(data).digest() + bytes(8)
    return head + headers + table + data


def fsb5_coded(sounds, codec):
    """sounds: (name, data, samples, rate, channels, chunks): an FSB5 bank of
    coded data (6: GC ADPCM, 7: Xbox IMA ADPCM), each sample's extra chunks
    (type, body) after its header."""
    headers, data, names, name_offsets = b"", b"", b"", []
    for name, coded, samples, rate, channels, chunks in sounds:
        value = (1 if chunks else 0) | FSB5_RATES[rate] << 1 | (channels - 1) << 5
        value |= (len(data) // 32) << 7 | samples << 34
        headers += struct.pack("<Q", value)
        for i, (kind, body) in enumerate(chunks):
            more = 1 if i + 1 < len(chunks) else 0
            headers += struct.pack("<I", kind << 25 | len(body) << 1 | more) + body
        data += pad(coded, 32)
        name_offsets.append(len(names))
        names += name.encode() + b"\0"
    table = b"".join(struct.pack("<I", 4 * len(sounds) + o) for o in name_offsets)
    table = pad(table + names, 16)
    head = struct.pack("<4sIIIIII", b"FSB5", 1, len(sounds), len(headers), len(table),
                       len(data), codec)
    head += bytes(8) + hashlib.md5(data).digest() + bytes(8)
    return head + headers + table + data


def fsb5_dsp(name, pcm, rate, channels):
    """A GC ADPCM sample of an FSB5 bank: the channels interleaved every 2
    bytes, their coefficients and start state in a chunk of type 7."""
    per_channel = dsp_encode(pcm, channels)
    data = b"".join(per_channel[c][i:i + 2] for i in range(0, len(per_channel[0]), 2)
                    for c in range(channels))
    coefs = b"".join(struct.pack(">hh", *c) for c in DSP_COEFS) + bytes(14)
    return (name, data, len(pcm) // (2 * channels), rate, channels, [(7, coefs * channels)])


# IMA ADPCM as Xbox lays it out: blocks of 36 bytes a channel, each a header
# (the sample before the block and the step index) and 64 samples, the
# channels' 4-byte words interleaved.
IMA_STEPS = [7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50,
             55, 60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279,
             307, 337, 371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282,
             1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871,
             5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818,
             18500, 20350, 22385, 24623, 27086, 29794, 32767]
IMA_INDEX = [-1, -1, -1, -1, 2, 4, 6, 8]


def ima_nibble(x, state):
    pred, index = state
    step = IMA_STEPS[index]
    diff, code = x - pred, 0
    if diff < 0:
        code, diff = 8, -diff
    delta = step >> 3
    for bit, part in ((4, step), (2, step >> 1), (1, step >> 2)):
        if diff >= part:
            code |= bit
            diff -= part
            delta += part
    pred = max(-32768, min(32767, pred - delta if code & 8 else pred + delta))
    return code, (pred, max(0, min(88, index + IMA_INDEX[code & 7])))


def xbox_ima(pcm, channels):
    values = struct.unpack("<%dh" % (len(pcm) // 2), pcm)
    frames = len(values) // channels
    blocks = -(-frames // 64)
    states = [(0, 0)] * channels
    out = b""
    for b in range(blocks):
        words = [[] for _ in range(channels)]
        head = b""
        for c in range(channels):
            head += struct.pack("<hBB", states[c][0], states[c][1], 0)
            codes = []
            for i in range(64):
                f = b * 64 + i
                x = values[f * channels + c] if f < frames else 0
                code, states[c] = ima_nibble(x, states[c])
                codes.append(code)
            words[c] = [bytes(codes[w * 8 + k] | codes[w * 8 + k + 1] << 4 for k in (0, 2, 4, 6))
                        for w in range(8)]
        out += head + b"".join(words[c][w] for w in range(8) for c in range(channels))
    return out, blocks * 64


# --- AWB ----------------------------------------------------------------------

def wav(pcm, rate, channels):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm)
    return out.getvalue()


def awb(members, version=2, offset_size=4, alignment=0x20, subkey=0, ids=None):
    n = len(members)
    ids = ids or list(range(n))
    id_table = b"".join(struct.pack("<H", i) for i in ids)
    table_end = 16 + 2 * n + offset_size * (n + 1)
    offsets, body, at = [table_end], b"", table_end
    for m in members:
        start = -(-at // alignment) * alignment
        body += bytes(start - at) + m
        at = start + len(m)
        offsets.append(at)
    fmt = "<H" if offset_size == 2 else "<I"
    head = struct.pack("<4sBBHIHH", b"AFS2", version, offset_size, 2, n, alignment, subkey)
    return head + id_table + b"".join(struct.pack(fmt, o) for o in offsets) + body


# --- HCA ----------------------------------------------------------------------

def crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x8005 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc


def with_crc(data):
    return data + struct.pack(">H", crc16(data))


def cipher56(keycode):
    """The byte table that decrypts cipher type 56 with a 56-bit key."""
    def row(key):
        mul, add, key, out = ((key & 1) << 3) | 5, (key & 0xE) | 1, key >> 4, []
        for _ in range(16):
            key = (key * mul + add) & 0xF
            out.append(key)
        return out
    keycode = keycode - 1 if keycode else 0
    kc = [(keycode >> (8 * i)) & 0xFF for i in range(7)]
    seed = [kc[1], kc[1] ^ kc[6], kc[2] ^ kc[3], kc[2], kc[2] ^ kc[1], kc[3] ^ kc[4], kc[3],
            kc[3] ^ kc[2], kc[4] ^ kc[5], kc[4], kc[4] ^ kc[3], kc[5] ^ kc[6], kc[5],
            kc[5] ^ kc[4], kc[6] ^ kc[1], kc[6]]
    base_r = row(kc[0])
    base = [base_r[r] << 4 | c for r in range(16) for c in row(seed[r])]
    table, x = [0] * 256, 0
    pos = 1
    for _ in range(256):
        x = (x + 17) & 0xFF
        if base[x] not in (0, 0xFF):
            table[pos] = base[x]
            pos += 1
    table[0xFF] = 0xFF
    return table


def chunk_id(text, masked):
    return bytes(c | 0x80 if masked and c else c for c in text.encode())


def hca_header(version, channels, rate, frames, frame_size, chunks, masked, size):
    """chunks: (id, body) after fmt; padded with a "pad" chunk to `size`."""
    body = struct.pack(">B", channels) + rate.to_bytes(3, "big") + struct.pack(">IHH", frames,
                                                                               0x80, 0x100)
    out = chunk_id("fmt\0", masked) + body
    for cid, cbody in chunks:
        out += chunk_id(cid, masked) + cbody
    head = chunk_id("HCA\0", masked) + struct.pack(">HH", version, size)
    out = head + out
    if len(out) + 2 < size:
        out += chunk_id("pad\0", masked)
        out += bytes(size - 2 - len(out))
    assert len(out) + 2 == size
    return with_crc(out)


def hca_frame(index, channels, frame_size, encrypt=None):
    """Sync, a noise level that changes from frame to frame, a delta width of
    0 for each channel (its spectrum not coded: silence), zero bits, CRC."""
    noise = ((index * 37) % 512) << 7 | (index * 11) % 128
    frame = struct.pack(">HH", 0xFFFF, noise) + bytes(frame_size - 6)
    if encrypt:
        frame = bytes(encrypt[b] for b in frame)
    return with_crc(frame)


def hca(version, channels, rate, frames, frame_size, chunks, size, key=None):
    masked = key is not None
    encrypt = None
    if key:
        decrypt = cipher56(key)
        encrypt = [0] * 256
        for stored, plain in enumerate(decrypt):
            encrypt[plain] = stored
    head = hca_header(version, channels, rate, frames, frame_size, chunks, masked, size)
    return head + b"".join(hca_frame(i, channels, frame_size, encrypt) for i in range(frames))


def comp(frame_size, channels):
    # Resolutions 1..15, one track, no channel layout, 128 bands, all base
    # bands, none stereo, no high-frequency groups.
    return "comp", struct.pack(">HBBBBBBBBH", frame_size, 1, 15, 1, 0, 128, 128, 0, 0, 0)


def dec(frame_size):
    # Resolutions 1..15, 128 bands, 128 base bands, one track of mono.
    return "dec\0", struct.pack(">HBBBBBB", frame_size, 1, 15, 127, 127, 0x10, 0)


HCA_KEY = 0x0030D9E8  # a 56-bit key as a number
ENCRYPTED_CHUNKS = [comp(0xC0, 1), ("ciph", struct.pack(">H", 56))]


def fixtures():
    t1 = tone(22050, 1, 0.2, 440)
    t2 = tone(22050, 1, 0.13, 660)
    t3 = tone(44100, 2, 0.1, 330)
    t4 = tone(32000, 1, 0.07, 880)
    files = {
        "fsb4_pcm16_two.fsb": fsb4([("tone440", t1, 22050, 1), ("tone330", t3, 44100, 2)]),
        "fsb4_gcadpcm_stereo.fsb": fsb4_dsp("stereo330", t3, 44100, 2)[0],
        "fsb4_pcm16_basic_headers.fsb": fsb4([("tone440", t1, 22050, 1),
                                              ("tone660", t2, 22050, 1)], basic=True),
        "fsb5_pcm16_names.fsb": fsb5([("tone440", t1, 22050, 1), ("tone660", t2, 22050, 1),
                                      ("tone880", t4, 32000, 1)]),
        "fsb5_v0_pcm16_stereo_loops.fsb": fsb5([("stereo330", t3, 44100, 2)], version=0,
                                               loops=True),
        "awb_wave_members.awb": awb([wav(t1, 22050, 1), wav(t3, 44100, 2), wav(t4, 32000, 1)]),
        "awb_v1_short_offsets.awb": awb([wav(t2, 22050, 1), wav(t4, 32000, 1)], version=1,
                                        offset_size=2, alignment=0x20, subkey=0x5A17,
                                        ids=[3, 8]),
        "hca_v2_mono_22k.hca": hca(0x0200, 1, 22050, 6, 0x100,
                                   [comp(0x100, 1), ("ath\0", struct.pack(">H", 0)),
                                    ("ciph", struct.pack(">H", 0))], 0x60),
        "hca_v3_stereo_44k_loop_comm.hca": hca(
            0x0300, 2, 44100, 5, 0x180,
            [comp(0x180, 2), ("loop", struct.pack(">IIHH", 1, 3, 0x80, 0x200)),
             ("ciph", struct.pack(">H", 0)), ("rva\0", struct.pack(">f", 1.0)),
             ("comm", b"\x0czandrel test")], 0x80),
        "hca_v2_dec_mono_16k.hca": hca(0x0200, 1, 16000, 4, 0x80, [dec(0x80)], 0x40),
        "hca_v1_3_dec_stereo_32k.hca": hca(0x0103, 2, 32000, 5, 0x150,
                                           [dec(0x150), ("ath\0", struct.pack(">H", 1))], 0x40),
        "hca_v2_encrypted_56.hca": hca(0x0200, 1, 24000, 5, 0xC0,
                                       ENCRYPTED_CHUNKS, 0x60, key=HCA_KEY),
    }
    ima_mono, ima_mono_samples = xbox_ima(t1, 1)
    ima_stereo, ima_stereo_samples = xbox_ima(t3, 2)
    files["fsb5_dsp_two.fsb"] = fsb5_coded([fsb5_dsp("dsp440", t1, 22050, 1),
                                            fsb5_dsp("dsp330", t3, 44100, 2)], 6)
    files["fsb5_xbox_ima_two.fsb"] = fsb5_coded(
        [("ima440", ima_mono, ima_mono_samples, 22050, 1, []),
         ("ima330", ima_stereo, ima_stereo_samples, 44100, 2, [])], 7)
    return files, {"t1": t1, "t2": t2, "t3": t3, "t4": t4}


def ffprobe_stream(path, extra=()):
    out = subprocess.run(["ffprobe", "-v", "error", *extra, "-show_streams", "-show_format",
                          "-of", "json", path], check=True, capture_output=True).stdout
    return json.loads(out)


def check_hca(path, data):
    version, size = struct.unpack(">HH", data[4:8])
    channels, rate = data[12], int.from_bytes(data[13:16], "big")
    frames = struct.unpack(">I", data[16:20])[0]
    frame_size = struct.unpack(">H", data[28:30])[0]
    assert crc16(data[:size]) == 0
    assert len(data) == size + frames * frame_size
    for i in range(frames):
        assert crc16(data[size + i * frame_size:size + (i + 1) * frame_size]) == 0
    if data[0] & 0x80:
        # FFmpeg 5.1 reads no encrypted file: its frames, decrypted with the
        # key, must be those of the same stream unencrypted, which it reads.
        decrypt = cipher56(HCA_KEY)
        plain = hca(version, channels, rate, frames, frame_size, ENCRYPTED_CHUNKS, size)
        for i in range(frames):
            at = size + i * frame_size
            stored = data[at:at + frame_size - 2]
            assert bytes(decrypt[b] for b in stored) == plain[at:at + frame_size - 2]
        path = os.path.join(DATA, "plain-twin.tmp")
        with open(path, "wb") as f:
            f.write(plain)
    try:
        info = ffprobe_stream(path)["streams"][0]
        assert info["codec_name"] == "hca" and info["channels"] == channels, info
        assert int(info["sample_rate"]) == rate, info
        # Every frame decodes, its CRC checked.
        out = subprocess.run(["ffmpeg", "-v", "error", "-err_detect", "crccheck", "-i", path,
                              "-f", "s16le", "-"], check=True, capture_output=True)
        assert out.stderr == b"", out.stderr
        assert len(out.stdout) == frames * 1024 * channels * 2, len(out.stdout)
    finally:
        if path.endswith(".tmp"):
            os.remove(path)
    return [version >> 8, version & 0xFF, channels, rate, frames, frame_size, size]


def check_awb(path, data):
    n = struct.unpack("<I", data[8:12])[0]
    osize, align = data[5], struct.unpack("<H", data[12:14])[0]
    table = 16 + 2 * n
    fmt = "<H" if osize == 2 else "<I"
    offsets = [struct.unpack(fmt, data[table + i * osize:table + (i + 1) * osize])[0]
               for i in range(n + 1)]
    assert offsets[-1] == len(data)
    rows = []
    for i in range(n):
        start = -(-offsets[i] // align) * align
        member = data[start:offsets[i + 1]]
        out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", "-"],
                             input=member, check=True, capture_output=True).stdout
        s = json.loads(out)["streams"][0]
        assert s["codec_name"] == "pcm_s16le", s
        rows.append(f"{s['channels']}ch {s['sample_rate']} Hz")
    return [data[4], osize, n, hex(align), ", ".join(rows)]


def check_fsb_dsp(path, tones):
    """FFmpeg reads FSB4 banks of GC ADPCM: its fields and samples must be
    those the bank was made with."""
    data, per_channel = fsb4_dsp("stereo330", tones["t3"], 44100, 2)
    info = ffprobe_stream(path)["streams"][0]
    assert info["codec_name"] == "adpcm_thp" and info["channels"] == 2, info
    assert info["sample_rate"] == "44100", info
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"],
                         check=True, capture_output=True)
    assert out.stderr == b"", out.stderr
    got = struct.unpack("<%dh" % (len(out.stdout) // 2), out.stdout)
    # (After the samples, ffmpeg decodes the zero bytes that align the data.)
    for ch in range(2):
        want = dsp_decode(per_channel[ch])
        assert list(got[ch::2][:len(want)]) == want, ch
    return ["FSB4", 1]


def check_fsb(data, tones):
    """Each sample's bytes, found by the bank's own fields, are one of the tones."""
    found = []
    if data[3:4] == b"4":
        n, shdr = struct.unpack("<iI", data[4:12])
        at, d = 0x30, 0x30 + shdr
        basic = struct.unpack("<I", data[0x14:0x18])[0] & 2
        for i in range(n):
            size = 8 if basic and i else struct.unpack("<H", data[at:at + 2])[0]
            length = struct.unpack("<I", data[at + (4 if size == 8 else 0x24):][:4])[0]
            found.append(data[d:d + length])
            d += -(-length // 32) * 32
            at += size
    else:
        version, n, shdr, names, size = struct.unpack("<IIIII", data[4:24])
        base = 0x40 if version == 0 else 0x3C
        at, start = base, base + shdr + names
        offsets = []
        for i in range(n):
            v = struct.unpack("<Q", data[at:at + 8])[0]
            offsets.append(((v >> 7) & 0x7FFFFFF) * 32)
            at += 8 + (12 if v & 1 else 0)
        offsets.append(size)
        for i in range(n):
            found.append(data[start + offsets[i]:start + offsets[i + 1]])
    for f in found:
        assert any(f.rstrip(b"\0") == t.rstrip(b"\0") for t in tones.values()), len(f)
    return [data[:4].decode(), len(found)]


def check_fsb5_coded(path, data):
    """FFmpeg reads no FSB5 bank of these codecs: the members zandrel writes
    of them are what ffmpeg decodes, in tests/cli/cli_test.cpp. Here: the
    bank's sizes add up."""
    shdr, names, size = struct.unpack("<III", data[12:24])
    assert 0x3C + shdr + names + size == len(data)
    return [data[:4].decode(), struct.unpack("<I", data[8:12])[0]]


def main():
    files, tones = fixtures()
    rows = []
    for name, data in sorted(files.items()):
        path = os.path.join(DATA, name)
        with open(path, "wb") as f:
            f.write(data)
        if name.endswith(".hca"):
            fields = check_hca(path, data)
        elif name.endswith(".awb"):
            fields = check_awb(path, data)
        elif "gcadpcm" in name:
            fields = check_fsb_dsp(path, tones)
        elif name.startswith("fsb5_dsp") or name.startswith("fsb5_xbox"):
            fields = check_fsb5_coded(path, data)
        else:
            fields = check_fsb(data, tones)
        rows.append([name, len(data)] + fields)
    for r in rows:
        print("| " + " | ".join(str(c) for c in r) + " |")


if __name__ == "__main__":
    sys.exit(main())
