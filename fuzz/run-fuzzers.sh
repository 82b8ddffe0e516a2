#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time on a copy of
# its seed corpus. Exits non-zero if a target crashes or breaks an invariant.
#
#   fuzz/run-fuzzers.sh [build-dir]      (default /tmp/relvane-fuzz-build)
#   FUZZ_SECONDS=60 fuzz/run-fuzzers.sh  (seconds per target, default 20)
#   CC/CXX choose the compilers (default clang/clang++). Installs nothing.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${1:-/tmp/relvane-fuzz-build}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-20}
export CC=${CC:-clang}
export CXX=${CXX:-clang++}

TARGETS=(
  fuzz_client_classification
  fuzz_server_classification
  fuzz_remote_control_packet
  fuzz_reply_decoding
  fuzz_settings
  fuzz_history
  fuzz_port_field
)

# Longest input per target: a server reply fills the 8192-byte receive buffer
# and a little more, so the cut at the buffer's end is reached too.
max_len_for() {
  case "$1" in
    fuzz_server_classification) echo 8300 ;;
    *) echo 4096 ;;
  esac
}

if ! command -v "$CXX" >/dev/null 2>&1 || ! command -v "$CC" >/dev/null 2>&1; then
  echo "run-fuzzers: $CXX or $CC not found; libFuzzer needs clang (install clang, or set CC/CXX)" >&2
  exit 2
fi
if ! [[ "$SECONDS_PER_TARGET" =~ ^[0-9]+$ ]] || [ "$SECONDS_PER_TARGET" -lt 1 ]; then
  echo "run-fuzzers: FUZZ_SECONDS must be a positive number of seconds" >&2
  exit 2
fi

cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -DRELVANE_FUZZ=ON -DRELVANE_BUILD_GUI=OFF -DRELVANE_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2 --target "${TARGETS[@]}"

# New corpus entries and crash reproducers go to a scratch folder, never the work tree.
WORK_DIR=$(mktemp -d /tmp/relvane-fuzz-run.XXXXXX)
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in "${TARGETS[@]}"; do
  corpus="$WORK_DIR/corpus/$target"
  artifacts="$WORK_DIR/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  cp "$SOURCE_DIR/fuzz/corpus/$target/"* "$corpus/"
  log="$WORK_DIR/$target.log"
  echo "== $target: ${SECONDS_PER_TARGET} s"
  if "$BUILD_DIR/fuzz/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len="$(max_len_for "$target")" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  else
    failed+=("$target")
    echo "!! $target failed; its output ($log):"
    tail -n 60 "$log"
    ls -l "$artifacts"
  fi
done

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzzers: FAILED: ${failed[*]} (reproducers under $WORK_DIR/artifacts)"
  exit 1
fi
echo "run-fuzzers: all ${#TARGETS[@]} targets ran ${SECONDS_PER_TARGET} s each without a failure (scratch: $WORK_DIR)"
