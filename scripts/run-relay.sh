#!/usr/bin/env bash
# Installs what is missing, builds Relvane and runs the relay in the current
# directory (it reads ./relvane.ini and ./relvane.dat there). Without a
# display it runs headless: the log goes to standard output, Ctrl+C ends it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DRELVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target relvane
exec "$root/build/relay/relvane"
