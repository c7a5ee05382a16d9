#!/usr/bin/env bash
# Builds an archive that is mostly audio: real encoder output (lame, oggenc)
# and plain WAVE files written by sox, some 1 800 streams of several hundred
# MB in all, each followed by a small gap of random bytes. Everything is
# fixed by seeds: the same tools make the same archive byte for byte.
#
# Usage: bash bench/make_dense_archive.sh OUT [STREAMS]
#
# The encoded files are kept in OUT.d/ (a second run only assembles them);
# OUT.d/streams.tsv lists each stream's kind, offset and length in OUT.
set -euo pipefail

out="${1:?usage: make_dense_archive.sh OUT [STREAMS]}"
count="${2:-1800}"
work="$out.d"
mkdir -p "$work/src"

need_packages=()
command -v sox >/dev/null || need_packages+=(sox)
command -v lame >/dev/null || need_packages+=(lame)
command -v oggenc >/dev/null || need_packages+=(vorbis-tools)
command -v python3 >/dev/null || need_packages+=(python3)
if [ ${#need_packages[@]} -gt 0 ]; then
  echo "installing: ${need_packages[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need_packages[@]}" >/dev/null
fi

# --- the plan: one line per stream --------------------------------------------
# number, kind, seconds, sample rate, channels, sound, encoder options
python3 - "$count" >"$work/plan.tsv" <<'EOF'
import random, sys
count = int(sys.argv[1])
rng = random.Random(19)
waves = ["sine", "triangle", "sawtooth", "square"]
for i in range(count):
    kind = rng.choices(["mp3", "ogg", "wav"], weights=[40, 30, 30])[0]
    # A tone sweeping between two notes under pink noise, with a tremolo: a
    # spectrum that changes, and quiet stretches (small samples) as well as
    # loud ones.
    f1, f2 = rng.randint(60, 2000), rng.randint(60, 4000)
    sound = "synth {d} pinknoise synth {d} %s mix %d-%d tremolo %.1f %d gain -n -%d" % (
        rng.choice(waves), f1, f2, rng.uniform(0.5, 8), rng.randint(10, 80), rng.randint(1, 30))
    if kind == "mp3":
        seconds = round(rng.uniform(3, 40), 2)
        rate = rng.choice([44100, 44100, 44100, 48000, 32000, 22050, 24000, 16000, 11025])
        channels = rng.choice([1, 2, 2, 2])
        opts = rng.choice(["-b 128", "-b 192", "-b 320", "-b 64", "-V 2", "-V 5", "-V 7",
                           "--abr 160", "-b 128 --add-id3v2 --tt dense{n}",
                           "-V 4 --id3v1-only --tt dense{n}", "-b 96 -p"])
    elif kind == "ogg":
        seconds = round(rng.uniform(3, 40), 2)
        rate = rng.choice([44100, 44100, 48000, 22050, 32000])
        channels = rng.choice([1, 2, 2])
        opts = "-q %d" % rng.randint(-1, 8)
    else:
        seconds = round(rng.uniform(0.3, 4), 2)
        rate = rng.choice([44100, 44100, 48000, 22050, 8000, 96000])
        channels = rng.choice([1, 2, 2])
        opts = rng.choice(["-b 16", "-b 16", "-b 8", "-b 24"])
    print("\t".join(map(str, [i, kind, seconds, rate, channels,
                              sound.replace("{d}", str(seconds)), opts.replace("{n}", str(i))])))
EOF

# --- the streams ----------------------------------------------------------------
make_one() {
  local n="$1" kind="$2" seconds="$3" rate="$4" channels="$5" sound="$6" opts="$7"
  local name
  name=$(printf "%s/src/%05d.%s" "$work" "$n" "$kind")
  [ -s "$name" ] && return 0
  # sox -R: repeatable (its noise generator seeded the same every time).
  # shellcheck disable=SC2086
  case "$kind" in
    wav) sox -V1 -R -n -r "$rate" -c "$channels" $opts "$name.tmp.wav" $sound ;;
    mp3)
      sox -V1 -R -n -r "$rate" -c "$channels" -b 16 -t wav - $sound |
        lame --quiet -q 7 $opts - "$name.tmp.mp3" ;;
    ogg)
      sox -V1 -R -n -r "$rate" -c "$channels" -b 16 -t wav - $sound |
        oggenc --quiet --serial "$((n + 1000))" $opts -o "$name.tmp.ogg" - ;;
  esac
  mv "$name.tmp.$kind" "$name"
}
export -f make_one
export work
echo "encoding $count streams in $work/src ..." >&2
tr '\t' '\037' <"$work/plan.tsv" |
  xargs -P 2 -d '\n' -I{} bash -c 'IFS=$'"'"'\037'"'"' read -r -a f <<<"$1"; make_one "${f[@]}"' _ {}

# --- the archive: the streams in plan order, random gaps between them -----------
python3 - "$work" "$out" <<'EOF'
import os, random, sys
work, out = sys.argv[1], sys.argv[2]
rng = random.Random(20)
rows = [line.split("\t") for line in open(os.path.join(work, "plan.tsv")).read().splitlines()]
offset = 0
with open(out + ".part", "wb") as f, open(os.path.join(work, "streams.tsv"), "w") as listing:
    f.write(rng.randbytes(rng.randint(0, 4096)))
    offset = f.tell()
    for row in rows:
        n, kind = int(row[0]), row[1]
        data = open(os.path.join(work, "src", "%05d.%s" % (n, kind)), "rb").read()
        f.write(data)
        listing.write("%s\t%d\t%d\n" % (kind, offset, len(data)))
        # Mostly a few hundred bytes, now and then none at all.
        gap = 0 if rng.random() < 0.05 else rng.randint(1, 2048)
        f.write(rng.randbytes(gap))
        offset += len(data) + gap
os.replace(out + ".part", out)
print("%s: %d streams, %d bytes" % (out, len(rows), offset), file=sys.stderr)
EOF
