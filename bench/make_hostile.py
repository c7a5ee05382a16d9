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
  flac_every_offset  "fLfLfL...": every other offset a trigger
  flac_heads         "fLaC" and a valid STREAMINFO, the last block, every 42 bytes
  flac_metadata_walks "fLaC", STREAMINFO and 300 empty padding blocks: every walk
                     meets the limit of 256 metadata blocks
  flac_short_chains  a real stream's first three frames with no total in STREAMINFO
                     (one short of the minimum), repeated: every probe walks and
                     checks three frames
  aiff_every_offset  "FOFOFO...": every other offset a trigger
  aiff_form_heads    "FORM" of a huge size, "AIFF" and a common chunk, every 38 bytes
  aiff_chunk_walks   "FORM....AIFF" and 63 empty chunks: every walk meets the limit
                     of 64 chunks
  aiff_far_chunks    a "FORM....AIFF" every 4 KiB whose chunks each jump to the next
                     one's, so that every walk goes 64 chunks (256 KiB) ahead
  adx_every_offset   0x80 0x00 pairs: every other offset a trigger
  adx_heads          ADX headers without a sample count, back to back: the first
                     block of each is the next header
  adx_off_grid       ADX headers 38 bytes apart whose blocks never begin at a
                     marked byte: every walk would go on to the end of the file
  adx_far_text       ADX headers whose copyright text would lie 64 KiB on, every
                     20 bytes
  adx_grid_phases    2 015 ADX headers without a sample count (block sizes 4..126,
                     their data at many offsets modulo the block size), their
                     copyright texts after all of them, then zeros to the end of
                     the file: no block of any of them is marked
  bnk_every_offset   "BKBKBK...": every other offset a Wwise bank trigger
  bnk_heads          a plausible "BKHD" header every 32 bytes, each followed by the next
  bnk_index_walks    "BKHD", a media index of 1 000 valid entries, DATA, whose
                     first member is no WEM file: every probe walks the index
  bnk_big_index      one "BKHD" whose media index fills the file, its DATA cut:
                     one probe walks an index of millions of entries
  bnk_shared_index   "BKHD" headers 24 bytes apart, each with a HIRC chunk that ends
                     where one media index begins, in the middle of the file, whose
                     last entry fails: every probe would walk that index
  rstm_every_offset  "RSRS...": every other offset a BRSTM trigger
  rstm_heads         BRSTM headers (FEFF, sections on the grid) every 64 bytes,
                     each naming the next header as its HEAD section
  rstm_far_sections  BRSTM headers every 64 bytes in the first quarter whose HEAD
                     section lies in the middle of the file and whose DATA lies a
                     quarter further on: every probe looks at both places
  cstm_every_offset  "CSCS...": every other offset a BCSTM trigger
  cstm_heads         BCSTM headers every 64 bytes, each naming the next as INFO
  fstm_every_offset  "FSFS...": every other offset a BFSTM trigger
  fstm_heads         BFSTM headers every 64 bytes, each naming the next as INFO
  mid_every_offset   "MTMT...": every other offset a MIDI trigger
  mid_heads          "MThd" headers of format 1, back to back: no track follows
  mid_track_walks    "MThd" of 1 001 tracks, then 1 000 short whole tracks:
                     every probe walks a thousand tracks
  mid_nested_heads   "MThd" of 65 535 tracks, then tracks each holding, in a
                     system exclusive message, an "MThd" whose one track ends
                     with its own: every track holds a header to probe
  mid_common_end     units of 25 bytes, each a system exclusive message's head, then
                     "MThd" of one track and that track's header: every track's
                     events are the messages of the units after it, up to one
                     common end where none ends: every probe walks to that end
  rmid_heads         "RIFF....RMID" and a data chunk of a MIDI file of 1 000 tracks,
                     short of its last, back to back
  fsb_every_offset   "FSFSFS...": every other offset a trigger
  fsb4_heads         FSB4 headers with a whole sample header whose data size is one
                     byte short, back to back
  fsb4_basic_walks   FSB4 banks of 8 192 samples (basic headers after the first, of
                     IMA ADPCM sizes) whose data size is wrong: every probe walks
                     all its sample headers
  fsb5_sample_walks  FSB5 banks of 8 192 samples of rising offsets whose data size
                     is wrong: every probe walks all its sample headers
  awb_every_offset   "AFAFAF...": every other offset a trigger
  awb_heads          AFS2 headers of 65 536 members, every 16 bytes, their tables
                     made of the headers after them
  awb_table_walks    AFS2 banks of 16 384 members, rising ids and offsets but the
                     last, which is lower: every probe walks both tables
  hca_every_offset   0x00 0x02 pairs: every other offset a trigger (the signature's last
                     byte and the major version)
  hca_v1_every_offset 0x00 0x01 pairs: every other offset a trigger of version 1.x
  hca_zero_bytes     zeros: no trigger (neither 0x00 0x02 nor 0x00 0x01)
  hca_heads          HCA headers with their CRC and frames of 64 KiB, back to back:
                     no first frame has its sync word
  hca_frame_walks    HCA headers of 2^31 frames, each followed by 255 whole frames
                     of 256 bytes: every probe checks the CRCs of its frames, and
                     each header and its frames are a stream
  hca_sync_heads     HCA headers of 64 KiB frames, each followed by a sync word and
                     the next header: every first frame opens with its sync word
  hca_sync_heads_one the same with a frame count of one: a first frame is all
                     such a stream needs
  pck_every_offset   "AKAKAK...": every other offset a Wwise package trigger
  pck_table_walks    AKPK headers of a language map and 16 384 streamed files,
                     sorted, whose last one is of a language the map lacks:
                     every probe walks the whole table
  xwb_every_offset   "WBWBWB...": every other offset an XWB trigger
  xwb_be_every_offset "DNDNDN...": every other offset a big-endian XWB trigger
  xwb_entry_walks    WBND banks of 16 384 PCM entries whose last wave lies past
                     the wave data: every probe walks every entry
and, for the extended rules (--extended):
  ext_id3_headers    "ID3" headers whose sizes end nowhere, with a four-frame run
                     every 256 KiB: each accepted run searches the headers before it
  ext_xing_frames    MPEG-1 frames that all carry a Xing header
  ext_wav_64_chunks  "RIFF....WAVE" headers followed by 64 small chunks, no "fmt "
  ext_wav_far_chunks "RIFF....WAVE" every 4 KiB whose chunks each jump to the next
                     one's, so that every walk goes 64 chunks (256 KiB) ahead
  ext_ogg_long_pages Ogg page headers every 282 bytes, each claiming a 65 142-byte
                     page (231 headers apart) that fails its CRC: every probe of
                     the codec rule checks a page that overlaps 230 others
  ext_ogg_crc_chains3 chains of three CRC-valid pages with garbage between (one short
                     of the minimum): every probe checks three CRCs
  ext_rifx_headers   "RIFX....WAVEfmt " headers of size field 0, 16 KB apart
"""
import os
import random
import re
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
    # MPEG-2 Layer I, 32 kbit/s, 24000 Hz, samples in subband 0 (a chain of
    # silent frames alone is no stream).
    layer1 = frame([0xFF, 0xF7, 0x14, 0xC4, 0x10], 64)
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


def lossless_files():
    def streaminfo(last):
        # 4096-sample blocks, 44100 Hz, 2 channels, 16 bits, no total.
        body = struct.pack(">HH", 4096, 4096) + bytes(6) + bytes([0x0A, 0xC4, 0x42, 0xF0]) + bytes(20)
        return b"fLaC" + bytes([0x80 if last else 0]) + (34).to_bytes(3, "big") + body
    padding = bytes([1, 0, 0, 0])  # an empty padding block, not the last
    with open(os.path.join(DATA, "flac_16_stereo_44k.flac"), "rb") as f:
        flac = bytearray(f.read())
    flac[8 + 13] &= 0xF0  # no total: the stream's end is not known
    flac[8 + 14:8 + 18] = bytes(4)
    # The first three of its four frames: up to the fourth frame's header.
    fourth = re.search(rb"\xFF\xF8[\x00-\xFF]{2}\x03", flac).start()
    comm = b"COMM" + struct.pack(">IhIh", 18, 2, 1000, 16) + bytes([0x40, 0x0E, 0xAC, 0x44]) + bytes(6)
    junk = b"JUNK" + bytes(4)
    form = b"FORM" + struct.pack(">I", 0xFFFFFFF0) + b"AIFF"
    # A chunk over the whole unit, a FORM header in its body, and a chunk from
    # there to the next unit: each walk goes from unit to unit.
    far = (b"JUNK" + struct.pack(">I", 4096 - 8) + form + b"JUNK" + struct.pack(">I", 4096 - 28))

    def adx(copyright, total=0):
        head = struct.pack(">HHBBBBIIHBB", 0x8000, copyright, 3, 18, 4, 2, 22050, total, 0x100, 3, 0)
        return head + bytes(copyright - 2 - len(head)) + b"(c)CRI"
    return {
        "flac_every_offset": b"fL",
        "flac_heads": streaminfo(True),
        "flac_metadata_walks": streaminfo(False) + padding * 300,
        "flac_short_chains": bytes(flac[:fourth]) + bytes(range(1, 101)),
        "aiff_every_offset": b"FO",
        "aiff_form_heads": form + comm,
        "aiff_chunk_walks": form + junk * 63,
        "aiff_far_chunks": far + bytes(4096 - len(far)),
        "adx_every_offset": b"\x80\x00",
        "adx_heads": adx(0x20),
        "adx_off_grid": adx(0x21) + b"\x00",
        "adx_far_text": adx(0x20)[:20].replace(b"\x00\x20", b"\xFF\xFC", 1),
    }


def adx_grid_phases(size):
    """2 015 headers 28 bytes apart, then their texts 6 bytes apart, then
    zeros: each header's data starts just after its text, past every header,
    so that its blocks meet no byte with its top bit set."""
    count = 2015
    texts = count * 28
    heads = bytearray()
    for i in range(count):
        block = 4 + i % 123
        copyright = texts + 6 * i + 2 - 28 * i
        heads += struct.pack(">HHBBBBIIHBB", 0x8000, copyright, 3, block, 4, 1 + i % 2, 22050, 0,
                             0x1F4, 3, 0) + bytes(8)
    data = bytes(heads) + b"(c)CRI" * count
    return data + bytes(size - len(data))


def ogg_crc(page):
    """The Ogg page CRC: polynomial 0x04C11DB7, MSB first, no inversions."""
    crc = 0
    for b in page:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


def sealed_page(segments, fill):
    lacing = bytes([255] * (segments - 1) + [17])
    page = bytearray(b"OggS" + bytes([0, 0]) + bytes(20) + bytes([segments]) + lacing)
    page += bytes([fill]) * sum(lacing)
    page[22:26] = struct.pack("<I", ogg_crc(page))
    return bytes(page)
def bank_files():
    bkhd = b"BKHD" + struct.pack("<IIIIII", 24, 0x8C, 1, 0, 16, 0)

    def bank(entries, data_size):
        didx = b"".join(struct.pack("<III", i + 1, 16 * i, 16) for i in range(entries))
        return (bkhd + b"DIDX" + struct.pack("<I", len(didx)) + didx + b"DATA"
                + struct.pack("<I", data_size) + b"NONE" + bytes(data_size - 4))

    def stm(magic, big):
        e = ">" if big else "<"
        if magic == b"RSTM":
            h = magic + struct.pack(e + "HHIHHIIIIII", 0xFEFF, 0x100, 0x80, 0x40, 2, 0x40, 0x20,
                                    0, 0, 0x60, 0x20)
        else:
            h = magic + struct.pack(e + "HHIIHH", 0xFEFF, 0x40, 0x30000, 0x80, 2, 0)
            h += struct.pack(e + "HHIIHHII", 0x4000, 0, 0x40, 0x20, 0x4002, 0, 0x60, 0x20)
        return h + bytes(0x40 - len(h))
    smf_head = b"MThd" + struct.pack(">IHHH", 6, 1, 1001, 480)
    track = b"MTrk" + struct.pack(">I", 4) + b"\x00\xFF\x2F\x00"
    walks = smf_head + track * 1000
    # A track: a system exclusive message holding a header of one track and
    # that track's header, whose events are the outer track's End of Track.
    inner = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", 4)
    nested_track = (b"MTrk" + struct.pack(">I", 3 + len(inner) + 4) + b"\x00\xF0"
                    + bytes([len(inner)]) + inner + b"\x00\xFF\x2F\x00")
    nested = b"MThd" + struct.pack(">IHHH", 6, 1, 65535, 480) + nested_track * 60000
    rmid = b"RIFF" + struct.pack("<I", 12 + len(walks)) + b"RMIDdata" + struct.pack(
        "<I", len(walks)) + walks
    return {
        "bnk_every_offset": b"BK",
        "bnk_heads": bkhd,
        "bnk_index_walks": bank(1000, 16000),
        "rstm_every_offset": b"RS",
        "rstm_heads": stm(b"RSTM", True),
        "cstm_every_offset": b"CS",
        "cstm_heads": stm(b"CSTM", False),
        "fstm_every_offset": b"FS",
        "fstm_heads": stm(b"FSTM", True),
        "mid_every_offset": b"MT",
        "mid_heads": smf_head,
        "mid_track_walks": walks,
        "mid_nested_heads": nested,
        "rmid_heads": rmid,
    }


def mid_common_end(size):
    """Units of 25 bytes: a delta time and the head of a system exclusive
    message of 22 bytes, "MThd" of one track and that track's header. The
    message of a unit spans the header and track header after it, so that
    each track is a chain of messages up to the end of the last unit, where
    the size fields of all the tracks end."""
    count = size // 25
    end = count * 25
    out = bytearray()
    for i in range(count):
        out += (b"\x00\xF0\x16" + b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk"
                + struct.pack(">I", end - 25 * (i + 1)))
    return bytes(out) + bytes(size - end)


def bnk_shared_index(size):
    """BKHD headers 24 bytes apart over the first half, each with a HIRC chunk
    up to one media index in the middle of the file, whose entries fill most
    of the second half, one byte of DATA each, and whose last entry's size
    is 0, then DATA."""
    half = size // 2
    count = (size - half - 4096) // 13
    heads = bytearray()
    for i in range(half // 24):
        heads += b"BKHD" + struct.pack("<III", 8, 0x8C, 0) + b"HIRC" + struct.pack(
            "<I", half - 24 * (i + 1))
    entries = b"".join(struct.pack("<III", 1 + i, i, 1 if i + 1 < count else 0)
                       for i in range(count))
    out = (bytes(heads) + bytes(half - len(heads)) + b"DIDX" + struct.pack("<I", len(entries))
           + entries + b"DATA" + struct.pack("<I", count) + b"RIFF")
    return (out + bytes(max(0, size - len(out))))[:size]


def rstm_far_sections(size):
    """BRSTM headers every 64 bytes over the first quarter; each names one HEAD
    section in the middle of the file and one DATA a quarter further on."""
    head_at, data_at = size // 2, size // 2 + size // 4
    out = bytearray()
    for c in range(0, size // 4, 64):
        h = b"RSTM" + struct.pack(">HHIHHIIIIII", 0xFEFF, 0x100, data_at + 0x20 - c, 0x40, 2,
                                    head_at - c, 0x20, 0, 0, data_at - c, 0x20)
        out += h + bytes(64 - len(h))
    out += bytes(head_at - len(out)) + b"HEAD" + struct.pack(">I", 0x20) + bytes(24)
    out += bytes(data_at - len(out)) + b"DATA" + struct.pack(">I", 0x20) + bytes(24)
    return bytes(out) + bytes(size - len(out))


def bnk_big_index(size):
    """One BKHD header and a media index over most of the file, then DATA,
    whose first member is no WEM file: one probe walks the whole index."""
    count = (size - 4096) // 12
    body = b"".join(struct.pack("<III", 0x10 + i, 16 * i, 16) for i in range(count))
    out = (b"BKHD" + struct.pack("<IIIIII", 24, 0x8C, 1, 0, 16, 0) + b"DIDX"
           + struct.pack("<I", len(body)) + body + b"DATA" + struct.pack("<I", 16 * count))
    return (out + bytes(max(0, size - len(out))))[:size]


def crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x8005 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc


def with_crc16(data):
    return data + struct.pack(">H", crc16(data))


def fsb_awb_hca_files():
    def fsb4_header(count, headers, data, flags=0):
        return struct.pack("<4siIIII", b"FSB4", count, headers, data, 0x40000, flags) + bytes(24)

    def fsb4_sample(samples, size, mode, channels=1):
        return struct.pack("<H30sIIIIIiHhHHffiHh", 0x50, b"x", samples, size, 0, 0, mode, 22050,
                           255, 128, 128, channels, 1.0, 1.0, 0, 0, 0)
    pcm = fsb4_sample(1000, 2000, 0x131)
    ima = fsb4_sample(6400, 3600, 0x400001)
    basic = struct.pack("<II", 6400, 3600) * 8191
    fsb5_samples = b"".join(struct.pack("<Q", 5 << 1 | i << 7 | 1000 << 34) for i in range(8192))
    fsb5 = struct.pack("<4sIIIIII", b"FSB5", 1, 8192, len(fsb5_samples), 0, 8192 * 32 - 1, 7)
    ids = b"".join(struct.pack("<H", i) for i in range(16384))
    table_end = 16 + 2 * 16384 + 4 * 16385
    offsets = b"".join(struct.pack("<I", table_end + 32 * i) for i in range(16384))
    awb_walk = (struct.pack("<4sBBHIHH", b"AFS2", 2, 4, 2, 16384, 32, 0) + ids + offsets +
                struct.pack("<I", table_end))
    awb_head = struct.pack("<4sBBHIHH", b"AFS2", 2, 4, 2, 65536, 32, 0)

    def hca_header(frames, frame_size):
        body = (b"HCA\0" + struct.pack(">HH", 0x200, 0x60) + b"fmt\0" +
                struct.pack(">BBHIHH", 1, 0, 22050, frames, 0, 0) + b"comp" +
                struct.pack(">HBBBBBBBBH", frame_size, 1, 15, 1, 0, 128, 128, 0, 0, 0) + b"pad\0")
        return with_crc16(body + bytes(0x60 - 2 - len(body)))
    frame = with_crc16(b"\xFF\xFF" + bytes(252))
    return {
        "fsb_every_offset": b"FS",
        "fsb4_heads": fsb4_header(1, 0x50, 1999) + pcm,
        "fsb4_basic_walks": fsb4_header(8192, 0x50 + 8 * 8191, 1, 2) + ima + basic,
        "fsb5_sample_walks": fsb5 + bytes(0x3C - len(fsb5)) + fsb5_samples,
        "awb_every_offset": b"AF",
        "awb_heads": awb_head,
        "awb_table_walks": awb_walk,
        "hca_every_offset": b"\x00\x02",
        "hca_v1_every_offset": b"\x00\x01",
        "hca_zero_bytes": bytes(4096),
        "hca_heads": hca_header(1, 0xFFFF),
        "hca_frame_walks": hca_header(0x7FFFFFFF, 256) + frame * 255,
        "hca_sync_heads": hca_header(1000, 0xFFFF) + b"\xFF\xFF",
        "hca_sync_heads_one": hca_header(1, 0xFFFF) + b"\xFF\xFF",
    }


def package_xwb_files():
    count = 16384
    lmap = struct.pack("<IIII", 1, 12, 0, 0) + b"sfx\0"
    entries = b"".join(struct.pack("<IIIII", i + 1, 16, 32, 0x40000 + 2 * i, 0)
                       for i in range(count - 1)) + struct.pack("<IIIII", count, 16, 32, 0, 9)
    table = struct.pack("<I", count) + entries
    header_size = 0x10 + len(lmap) + len(table)
    pck = (b"AKPK" + struct.pack("<IIIII", header_size, 1, len(lmap), 0, len(table)) + lmap +
           table)
    fmt = 1 << 2 | 22050 << 5 | 1 << 31
    waves = b"".join(struct.pack("<IIIIII", 100 << 4, fmt, 256 * i, 200, 0, 0)
                     for i in range(count))
    segments = [(0x34, 0x60), (0x94, 24 * count), (0, 0), (0, 0),
                (0x94 + 24 * count, 256 * (count - 1))]
    xwb = b"WBND" + struct.pack("<II", 46, 44) + b"".join(
        struct.pack("<II", o, n) for o, n in segments)
    xwb += struct.pack("<II", 0, count) + b"hostile".ljust(64, b"\0")
    xwb += struct.pack("<IIIIQ", 24, 0, 4, 0, 0) + waves
    return {
        "pck_every_offset": b"AK",
        "pck_table_walks": pck,
        "xwb_every_offset": b"WB",
        "xwb_be_every_offset": b"DN",
        "xwb_entry_walks": xwb,
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
    # 255 lacing values summing to 64 860: a page of 231 * 282 bytes.
    long_page = (b"OggS" + bytes([0, 0]) + bytes(20) + bytes([255]) +
                 bytes([255] * 254 + [64860 - 254 * 255]))
    garbage = bytes(range(1, 101))
    return {
        "ext_id3_headers": headers + run,
        "ext_xing_frames": bytes(xing),
        "ext_wav_64_chunks": b"RIFF" + struct.pack("<I", 12 + len(chunks)) + b"WAVE" + chunks,
        "ext_wav_far_chunks": far + bytes(4096 - len(far)),
        "ext_ogg_long_pages": long_page,
        "ext_ogg_crc_chains3": b"".join(sealed_page(8, i) for i in (1, 2, 3)) + garbage,
        "ext_rifx_headers": b"RIFX" + bytes(4) + b"WAVEfmt " + garbage * 160,
    }


def main():
    outdir = sys.argv[1]
    size = int(sys.argv[2] if len(sys.argv) > 2 else 64) * 1024 * 1024
    os.makedirs(outdir, exist_ok=True)
    for name, unit in {**pattern_files(), **lossless_files(), **bank_files(),
                       **fsb_awb_hca_files(), **package_xwb_files(),
                       **extended_files()}.items():
        data = (unit * (size // len(unit) + 1))[:size]
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    with open(os.path.join(outdir, "adx_grid_phases"), "wb") as f:
        f.write(adx_grid_phases(size))
    for name, make in (("bnk_big_index", bnk_big_index), ("mid_common_end", mid_common_end),
                       ("bnk_shared_index", bnk_shared_index),
                       ("rstm_far_sections", rstm_far_sections)):
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(make(size))
    # Minimal pages, none with the last-page bit, to the end of the file.
    page = ogg_page(1)
    with open(os.path.join(outdir, "ogg_to_the_end"), "wb") as f:
        f.write((page * (size // len(page) + 1))[:size])
    fixtures = [os.path.join(DATA, n) for n in sorted(os.listdir(DATA))
                 if n.endswith((".mp3", ".ogg", ".wav", ".mp2", ".aac", ".flac", ".aiff", ".adx",
                                ".bnk", ".brstm", ".bcstm", ".bfstm", ".mid", ".rmi", ".fsb",
                                ".awb", ".hca", ".pck", ".xwb"))]
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
