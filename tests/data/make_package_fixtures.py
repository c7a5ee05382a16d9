#!/usr/bin/env python3
"""Writes the Wwise package and XACT wave bank fixtures, byte for byte.

    python3 tests/data/make_package_fixtures.py

Standard library only: the tones are computed here and rounded, so rerunning
gives the same bytes. The files are written from the published layouts:

- Wwise packages (.pck): "AKPK", the header's size, version 1, the sizes of
  the language map, the bank table, the streamed-file table and (newer
  packages) the externals table; the language map (count, offset and id a
  language, the names); the tables (count, then id, block size, size,
  first block, language a file, sorted by id then language; 64-bit ids in
  the externals table); then the files, each at a multiple of its block
  size. The banks are BKHD and HIRC chunks only (no media of their own),
  the streamed files WEM files (RIFF, or RIFX in the big-endian package) of
  16-bit PCM.
- XACT wave banks (.xwb): "WBND" or "DNBW", the tool's version (and from 42
  on the header's version), five segments; the bank's data (flags, count,
  name, entry and name sizes, alignment); 24-byte entries (flags and length
  in samples, the packed format, offset and length of the wave, loop); 64-byte
  names; the waves: 16-bit PCM (big-endian in the DNBW bank), 8-bit unsigned
  PCM, MS ADPCM encoded here (7 coefficient pairs, blocks of 70 bytes), XMA
  (bytes that are not decoded, behind a valid format).
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def tone(rate, channels, count, freq, bits=16):
    """Interleaved samples of a sine tone as integers."""
    top = 12000 if bits == 16 else 90
    out = []
    for i in range(count):
        v = int(round(top * math.sin(2 * math.pi * freq * i / rate)))
        out.extend([v] * channels)
    return out


def pad(data, unit):
    return data + bytes(-len(data) % unit)


# --- Wwise packages -------------------------------------------------------

def wem(rate, channels, count, freq, big):
    e = ">" if big else "<"
    samples = tone(rate, channels, count, freq)
    data = struct.pack(e + "%dh" % len(samples), *samples)
    fmt = struct.pack(e + "HHIIHH", 1, channels, rate, rate * channels * 2, channels * 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack(e + "I", len(fmt)) + fmt + b"data" + struct.pack(
        e + "I", len(data)) + data
    return (b"RIFX" if big else b"RIFF") + struct.pack(e + "I", len(body)) + body


def event_bank(bank_id, big):
    """A bank of events only: BKHD and a HIRC of no objects."""
    e = ">" if big else "<"
    bkhd = struct.pack(e + "IIIII", 0x86, bank_id, 0, 16, 1234)
    hirc = struct.pack(e + "I", 0)
    return (b"BKHD" + struct.pack(e + "I", len(bkhd)) + bkhd + b"HIRC" + struct.pack(
        e + "I", len(hirc)) + hirc)


def language_map(languages, big, wide):
    e = ">" if big else "<"
    names = b""
    entries = b""
    start = 4 + 8 * len(languages)
    for lang_id, name in languages:
        entries += struct.pack(e + "II", start + len(names), lang_id)
        text = name.encode("utf-16-be" if big else "utf-16-le") if wide else name.encode()
        names += text + bytes(2 if wide else 1)
    return pad(struct.pack(e + "I", len(languages)) + entries + names, 4)


def package(name, big, wide, externals, block, banks, streams, externs=()):
    """banks, streams, externs: (id, language, bytes), in table order."""
    e = ">" if big else "<"
    languages = [(0, "sfx"), (1, "english(us)")]
    lmap = language_map(languages, big, wide)
    tables = [banks, streams] + ([list(externs)] if externals else [])
    sizes = [4 + (0x18 if t == 2 else 0x14) * len(files) if files else 0
             for t, files in enumerate(tables)]
    fixed = 0x18 + (4 if externals else 0)
    header_size = fixed - 8 + len(lmap) + sum(sizes)
    at = len(pad(bytes(8 + header_size), block))
    body = b""
    entries = []
    for t, files in enumerate(tables):
        table = b""
        for file_id, lang, data in files:
            at = len(pad(bytes(at), block))
            body = pad(body, block)
            table += struct.pack(e + ("Q" if t == 2 else "I"), file_id)
            table += struct.pack(e + "IIII", block, len(data), at // block, lang)
            body += data
            at += len(data)
        entries.append(struct.pack(e + "I", len(files)) + table if files else b"")
    head = b"AKPK" + struct.pack(e + "II", header_size, 1) + struct.pack(
        e + "%dI" % (len(sizes) + 1), len(lmap), *sizes)
    header = head + lmap + b"".join(entries)
    assert len(header) == 8 + header_size
    # The files one after the other, each at a multiple of its block size.
    write(name, pad(header, block) + body)


# --- XACT wave banks ------------------------------------------------------

COEFS = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
ADAPT = [230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230]


def msadpcm_mono(samples, block):
    """MS ADPCM blocks of `block` bytes, mono, coefficient pair 0."""
    per_block = (block - 7) * 2 + 2
    out = b""
    for b in range(0, len(samples), per_block):
        x = samples[b:b + per_block]
        x += [0] * (per_block - len(x))
        delta = 16
        s2, s1 = x[0], x[1]
        head = struct.pack("<Bhhh", 0, delta, s1, s2)
        nibbles = []
        for v in x[2:]:
            pred = (s1 * COEFS[0][0] + s2 * COEFS[0][1]) >> 8
            n = max(-8, min(7, int(round((v - pred) / delta))))
            s = max(-32768, min(32767, pred + n * delta))
            s2, s1 = s1, s
            delta = max(16, ADAPT[n & 15] * delta >> 8)
            nibbles.append(n & 15)
        out += head + bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, len(nibbles), 2))
    return out


def mini_format(codec, channels, rate, align, bits16):
    return codec | channels << 2 | rate << 5 | align << 23 | bits16 << 31


def xwb(name, big, version, alignment, waves, names, compact=False):
    """waves: (format, duration, bytes); a compact bank's waves all of the
    first one's format, each entry its offset in units of the alignment and
    the bytes of padding before the next."""
    e = ">" if big else "<"
    third = version >= 42
    header = 12 + 40 if third else 8 + 40
    count = len(waves)
    entry_size = 4 if compact else 24
    data_at = header
    entries_at = data_at + 0x60
    names_size = 64 * count if names else 0
    after = entries_at + entry_size * count
    if version >= 39:
        seek_at, names_at = after, after
    else:
        names_at, seek_at = after, after + names_size
    waves_at = len(pad(bytes(after + names_size), alignment))
    wave_data = b""
    entries = b""
    for i, (fmt, duration, data) in enumerate(waves):
        wave_data = pad(wave_data, alignment)
        if compact:
            padding = len(pad(data, alignment)) - len(data) if i + 1 < count else 0
            entries += struct.pack(e + "I", len(wave_data) // alignment | padding << 21)
        else:
            entries += struct.pack(e + "IIIIII", duration << 4, fmt, len(wave_data), len(data),
                                   0, 0)
        wave_data += data
    segments = [(data_at, 0x60), (entries_at, entry_size * count)]
    middle = [(seek_at, 0), (names_at, names_size)] if version >= 39 else [
        (names_at, names_size), (seek_at, 0)]
    segments += middle + [(waves_at, len(wave_data))]
    out = b"DNBW" if big else b"WBND"
    out += struct.pack(e + "I", version) + (struct.pack(e + "I", 44) if third else b"")
    for offset, length in segments:
        out += struct.pack(e + "II", offset, length)
    flags = (0x10000 if names else 0) | (0x20000 if compact else 0)
    bank_name = name.split(".")[0].encode()[:63]
    out += struct.pack(e + "II", flags, count) + bank_name + bytes(64 - len(bank_name))
    out += struct.pack(e + "IIIIQ", entry_size, 64 if names else 0, alignment,
                       waves[0][0] if compact else 0, 0)
    out += entries
    for n in names:
        out += n.encode() + bytes(64 - len(n))
    out = pad(out, alignment)
    assert len(out) == waves_at
    write(name, out + wave_data)


def pcm16(samples, big):
    return struct.pack((">" if big else "<") + "%dh" % len(samples), *samples)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (name, len(data)))


def main():
    package("wwise_package_externals.pck", False, False, True, 16,
            [(1355168291, 0, event_bank(1355168291, False)),
             (3991942870, 1, event_bank(3991942870, False))],
            [(100, 0, wem(22050, 1, 1500, 440, False)),
             (100, 1, wem(22050, 1, 1200, 660, False)),
             (4000000000, 0, wem(32000, 2, 800, 550, False))],
            [(0x123456789A, 0, wem(16000, 1, 700, 330, False))])
    package("wwise_package_big_endian_utf16.pck", True, True, False, 1,
            [(7, 0, event_bank(7, True))],
            [(11, 0, wem(24000, 2, 900, 440, True)), (12, 1, wem(24000, 1, 600, 880, True))])

    adpcm = msadpcm_mono(tone(22050, 1, 16 * 128, 440), 70)
    xwb("xwb_v46_pcm_adpcm_names.xwb", False, 46, 0x800,
        [(mini_format(0, 1, 22050, 2, 1), 2205, pcm16(tone(22050, 1, 2205, 440), False)),
         (mini_format(2, 1, 22050, 70 - 22, 1), 16 * 128, adpcm),
         (mini_format(0, 1, 8000, 1, 0), 800,
          bytes(128 + v for v in tone(8000, 1, 800, 300, 8)))],
        ["tone_pcm16", "tone_adpcm", "tone_pcm8"])
    xma = bytes((i * 37 + 11) % 251 for i in range(2048))
    xwb("xwb_v40_big_endian_pcm_xma.xwb", True, 40, 4,
        [(mini_format(0, 2, 32000, 4, 1), 1600, pcm16(tone(32000, 2, 1600, 500), True)),
         (mini_format(1, 2, 48000, 0, 1), 4096, xma)],
        [])
    xwb("xwb_v45_compact_pcm.xwb", False, 45, 0x200,
        [(mini_format(0, 1, 16000, 2, 1), 0, pcm16(tone(16000, 1, 1500, 400), False)),
         (mini_format(0, 1, 16000, 2, 1), 0, pcm16(tone(16000, 1, 1000, 800), False))],
        [], compact=True)


if __name__ == "__main__":
    main()
