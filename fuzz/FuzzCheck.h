#pragma once
// Invariant checks for the fuzz targets. A broken invariant prints what broke
// and aborts, which libFuzzer reports as a crash and saves the input for
// replay.

#include <cstdio>
#include <cstdlib>

namespace relvane::fuzz {

[[noreturn]] inline void FailInvariant(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "\nInvariant broken at %s:%d: %s\n", file, line, condition);
    std::abort();
}

}  // namespace relvane::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::relvane::fuzz::FailInvariant(#condition, __FILE__, __LINE__))
