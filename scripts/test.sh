#!/usr/bin/env bash
# Installs what is missing, builds Relvane and runs every test: the normal
# build, then the whole suite again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, then each fuzz target
# for a bounded time. Fails on the first failure.
#   RELVANE_QUICK=1     only the normal build and its tests
#   FUZZ_SECONDS=N      time per fuzz target (default 20)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
bash "$root/scripts/install-deps.sh" qstat clang libclang-rt-14-dev

run_suite() {
  local dir="$1"; shift
  echo "=== $dir: configure and build"
  cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs"
  echo "=== $dir: tests"
  (cd "$root/$dir" && ctest --output-on-failure --timeout 300 -j"$jobs")
}

run_suite build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${RELVANE_QUICK:-0}" = "1" ]; then
  exit 0
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizer/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DRELVANE_SANITIZE=address

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/sanitizer/tsan.supp"
run_suite build-tsan -DCMAKE_BUILD_TYPE=Debug -DRELVANE_SANITIZE=thread

if [ -f "$root/fuzz/run-fuzzers.sh" ]; then
  echo "=== fuzz targets"
  bash "$root/fuzz/run-fuzzers.sh" "$root/build-fuzz"
fi
echo "All test stages passed."
