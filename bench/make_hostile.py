#!/usr/bin/env python3
"""Writes input files built to make the probes of the passes expensive.

    make_hostile.py OUTDIR [SIZE_MIB]

Each file is SIZE_MIB MiB (default 64) of one repeated pattern:
  mp3_every_offset   0xFF 0xFB pairs: every other offset a trigger
  mp3_frame_heads    FF FB 90 64 repeated: a decodable header at every 4th offset
  mp3_chains3        chains of three consistent 417-byte frames with garbage between
  mp3_short_chains3  chains of three 24-byte frames (the shortest) with garbage between
  ogg_every_offset   "OgOgOg...": every other offset a trigger
  ogg_chains3        chains of three minimal pages with garbage between
  ogg_to_the_end     minimal pages without the last-page bit up to the end of the file
  ogg_255_segments   pages of 255 segments, chains of three
  wav_headers        thousands of "RIFF....WAVEfmt " headers of size field 0, 16 KB apart
  mp2_every_offset   0xFF 0xFD pairs: every other offset a Layer I/II trigger
  mp2_frame_heads    FF FD 90 04 repeated: a decodable Layer II header at every 4th offset
  mp2_short_chains3  chains of three 64-byte Layer I frames (the shortest) with garbage between
  mp2_to_the_end     64-byte Layer I frames up to the end of the file: one stream
  aac_every_offset   0xFF 0xF1 pairs: every other offset an ADTS trigger
  aac_frame_heads    ADTS headers of 13-byte frames, one every 8 bytes
  aac_short_chains3  chains of three 8-byte ADTS frames (the shortest) with garbage between
  aac_to_the_end     8-byte ADTS frames up to the end of the file: one stream
  real_audio         the committed audio fixtures with random bytes between
  wav_4gib           one header whose size field claims 4 GiB, then random bytes
and, for the extended rules (--extended):
  ext_id3_headers    "ID3" headers whose sizes end nowhere, with a four-frame run
                     every 256 KiB: each accepted run searches the headers before it
  ext_xing_frames    MPEG-1 frames that all carry a Xing header
  ext_wav_64_chunks  "RIFF....WAVE" headers followed by 64 small chunks, no "fmt "
  ext_wav_far_chunks "RIFF....WAVE" every 4 KiB whose chunks each jump to the next
                     one's, so that every walk goes 64 chunks (256 KiB) ahead
"""
import os
import random
import struct
import sys

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")


def frame(header, length):
    return bytes(header) + bytes(length - 4)


def adts_frame(length):
    """An MPEG-4 AAC-LC ADTS frame, 44.1 kHz stereo, no CRC, variable bit rate."""
    head = bytes([0xFF, 0xF1, 0x50, 0x80 | length >> 11, (length >> 3) & 0xFF,
                  (length & 7) << 5 | 0x1F, 0xFC])
    return head + bytes(length - 7)


def ogg_page(segments, header_type=0):
    lacing = bytes([0] * segments)
    return b"OggS" + bytes([0, header_type]) + bytes(20) + bytes([segments]) + lacing


def pattern_files():
    garbage = bytes(range(1, 101))  # no 0xFF, no "Og", no "RI"
    m1 = frame([0xFF, 0xFB, 0x90, 0x64], 417)
    short = frame([0xFF, 0xF3, 0x14, 0xC4], 24)  # MPEG-2, 8 kbit/s, 24000 Hz
    layer1 = frame([0xFF, 0xF7, 0x14, 0xC4], 64)  # MPEG-2 Layer I, 32 kbit/s, 24000 Hz
    return {
        "mp3_every_offset": b"\xFF\xFB",
        "mp3_frame_heads": b"\xFF\xFB\x90\x64",
        "mp3_chains3": m1 * 3 + garbage,
        "mp3_short_chains3": short * 3 + garbage,
        "ogg_every_offset": b"Og",
        "ogg_chains3": ogg_page(1) * 3 + garbage,
        "ogg_255_segments": ogg_page(255) * 3 + garbage,
        "wav_headers": b"RIFF" + struct.pack("<I", 0) + b"WAVEfmt " + garbage * 160,
        "mp2_every_offset": b"\xFF\xFD",
        "mp2_frame_heads": b"\xFF\xFD\x90\x04",
        "mp2_short_chains3": layer1 * 3 + garbage,
        "mp2_to_the_end": layer1,
        "aac_every_offset": b"\xFF\xF1",
        "aac_frame_heads": adts_frame(13)[:8],
        "aac_short_chains3": adts_frame(8) * 3 + garbage,
        "aac_to_the_end": adts_frame(8),
    }


def extended_files():
    def id3(size):
        s = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
        return b"ID3\x03\x00\x00" + s
    headers = b"".join(id3(1000003 + i) for i in range(26000))
    run = frame([0xFF, 0xFB, 0x90, 0x64], 417) * 4
    xing = bytearray(frame([0xFF, 0xFB, 0x90, 0x64], 417))
    xing[36:48] = b"Xing" + struct.pack(">II", 15, 1000)
    chunks = b"".join(b"JUNK" + struct.pack("<I", 4) + b"junk" for _ in range(64))
    far = b"RIFF" + struct.pack("<I", 1 << 30) + b"WAVE" + b"JUNK" + struct.pack("<I", 4096 - 8)
    return {
        "ext_id3_headers": headers + run,
        "ext_xing_frames": bytes(xing),
        "ext_wav_64_chunks": b"RIFF" + struct.pack("<I", 12 + len(chunks)) + b"WAVE" + chunks,
        "ext_wav_far_chunks": far + bytes(4096 - len(far)),
    }


def main():
    outdir = sys.argv[1]
    size = int(sys.argv[2] if len(sys.argv) > 2 else 64) * 1024 * 1024
    os.makedirs(outdir, exist_ok=True)
    for name, unit in {**pattern_files(), **extended_files()}.items():
        data = (unit * (size // len(unit) + 1))[:size]
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    # Minimal pages, none with the last-page bit, to the end of the file.
    page = ogg_page(1)
    with open(os.path.join(outdir, "ogg_to_the_end"), "wb") as f:
        f.write((page * (size // len(page) + 1))[:size])
    fixtures = [os.path.join(DATA, n) for n in sorted(os.listdir(DATA))
                 if n.endswith((".mp3", ".ogg", ".wav", ".mp2", ".aac"))]
    rnd = random.Random(5)
    with open(os.path.join(outdir, "real_audio"), "wb") as f:
        written = 0
        while written < size:
            gap = rnd.randbytes(rnd.randrange(100, 4000))
            with open(rnd.choice(fixtures), "rb") as g:
                piece = gap + g.read()
            piece = piece[: size - written]
            f.write(piece)
            written += len(piece)
    rnd = random.Random(4)
    body = rnd.randbytes(1 << 16)
    with open(os.path.join(outdir, "wav_4gib"), "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 0xFFFFFFFF) + b"WAVEfmt ")
        f.write((body * (size // len(body) + 1))[: size - 16])


if __name__ == "__main__":
    main()
