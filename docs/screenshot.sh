#!/usr/bin/env bash
# Retakes docs/window.png, the README's picture of the window: starts the
# built program on a virtual display with a made-up archive holding an MP3,
# a WAVE and an Ogg Vorbis file among random bytes, runs the log menu's
# "すべての形式を抽出" on it, and saves the window at its design size.
# Needs xvfb, xdotool, x11-apps (xwd), netpbm, optipng, sox, lame and
# vorbis-tools (Debian packages), none of which the build or the tests need.
# Usage: bash docs/screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
for tool in xvfb-run xdotool xwd xwdtopnm pnmtopng optipng sox lame oggenc python3; do
  command -v "$tool" >/dev/null || {
    echo "screenshot: $tool is missing (apt-get install xvfb xdotool x11-apps" \
      "netpbm optipng sox lame vorbis-tools)" >&2
    exit 1
  }
done

# A fixed folder, since its name shows in the picture.
demo=/tmp/zandrel-demo
rm -rf "$demo"
mkdir -p "$demo"
trap 'rm -rf "$demo"' EXIT

# A few seconds of tones as MP3, WAVE and Ogg Vorbis, buried in random bytes
# (sox -R -D, lame and oggenc --serial give the same bytes on every run).
sox -q -R -D -n -r 44100 -b 16 -e signed -c 2 "$demo/tone.wav" synth 3 sine 440 sine 660
lame --quiet -b 128 "$demo/tone.wav" "$demo/tone.mp3"
oggenc -Q -q 0 --serial 512 -o "$demo/tone.ogg" "$demo/tone.wav"
sox -q -R -D -n -r 22050 -b 16 -e signed -c 1 "$demo/short.wav" synth 0.5 sine 523
python3 - "$demo" <<'PY'
import random, sys
demo = sys.argv[1]
junk = random.Random(512).randbytes
parts = [junk(40000), open(f"{demo}/tone.mp3", "rb").read(), junk(23000),
         open(f"{demo}/short.wav", "rb").read(), junk(31000),
         open(f"{demo}/tone.ogg", "rb").read(), junk(12000)]
open(f"{demo}/game.pak", "wb").write(b"".join(parts))
PY
rm "$demo"/tone.* "$demo/short.wav"

export ZANDREL_BIN="$build/zandrel" DEMO="$demo"
xvfb-run -a -s "-screen 0 800x600x24" bash -euo pipefail -c '
  cd "$DEMO"
  "$ZANDREL_BIN" game.pak &
  app=$!
  window="$(xdotool search --sync --onlyvisible --name "^zandrel " | head -n 1)"
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The log fills the bottom of the window: open its menu there and take
  # "すべての形式を抽出", above the log'"'"'s three own entries.
  xdotool mousemove $((X + 200)) $((Y + HEIGHT - 40)) click 3
  sleep 0.5
  xdotool key Up Up Up Up Return
  # Move the pointer off the window before the picture is taken.
  xdotool mousemove 799 599
  sleep 2
  xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$DEMO/window.png"
  kill "$app"
  wait "$app" || true
'
optipng -quiet -o7 -strip all "$demo/window.png"
cp "$demo/window.png" "$root/docs/window.png"
file "$root/docs/window.png"
