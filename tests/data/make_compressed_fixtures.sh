#!/usr/bin/env bash
# Makes the compressed non-audio data that no format may take for a stream of
# its own: a JPEG photo-like picture (ffmpeg's test pattern with noise).
# Rerunning it gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=1,noise=alls=30:allf=t" -frames:v 1 \
  -fflags +bitexact -flags +bitexact -q:v 3 picture.jpg
