#!/usr/bin/env bash
# Writes the MIDI fixtures: standard MIDI files by abc2midi (abcmidi 4.84)
# from the tunes below, and RIFF MIDI files that wrap one of them in a
# "RIFF" chunk of form "RMID" (its "data" chunk, then an INFO list). Rerunning
# it gives the same bytes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One voice: a format 0 file of one track.
cat >"$work/reel.abc" <<'ABC'
X:1
T:Fixture reel
M:4/4
L:1/8
Q:1/4=140
K:D
|:DFAF dFAF|GBdB AFDF|EFGA Bcde|fedc d2 d2:|
ABC
# Two voices, chords and a tempo change: a format 1 file of several tracks.
cat >"$work/duet.abc" <<'ABC'
X:2
T:Fixture duet
M:3/4
L:1/8
Q:1/4=96
K:G
V:1
"G"B2 d2 g2|"C"e4 c2|"D7"A2 F2 D2|"G"G6|
V:2
G,4 B,2|C4 E2|D4 C2|B,6|
Q:1/4=72
V:1
"Em"g2 e2 B2|"Am"c6|"D"d2 A2 F2|"G"G6|]
V:2
E,4 G,2|A,6|D,4 F,2|G,6|]
ABC
abc2midi "$work/reel.abc" -silent -o "$here/midi_abc2midi_reel_format0.mid" >/dev/null
abc2midi "$work/duet.abc" -silent -o "$here/midi_abc2midi_duet_format1.mid" >/dev/null

# RIFF MIDI: "RIFF", "RMID", a "data" chunk holding the file (padded to even
# length), and a LIST chunk of INFO with an INAM text.
python3 - "$here/midi_abc2midi_duet_format1.mid" "$here/midi_riff_duet.rmi" \
  "$here/midi_abc2midi_reel_format0.mid" "$here/midi_riff_reel_no_info.rmi" <<'PY'
import struct, sys
def chunk(tag, body):
    return tag + struct.pack("<I", len(body)) + body + bytes(len(body) & 1)
for smf, rmi, info in ((sys.argv[1], sys.argv[2], True), (sys.argv[3], sys.argv[4], False)):
    body = b"RMID" + chunk(b"data", open(smf, "rb").read())
    if info:
        body += chunk(b"LIST", b"INFO" + chunk(b"INAM", b"Fixture duet\0"))
    open(rmi, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
for f in "$here"/midi_*; do echo "$(basename "$f"): $(stat -c %s "$f") bytes"; done
