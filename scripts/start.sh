#!/usr/bin/env bash
# Builds zandrel and starts the window, with the repository root as the
# working directory (the readme tab shows ./readme.txt).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target zandrel zandrel-cli
cd "$root"
exec "$root/build/zandrel"
