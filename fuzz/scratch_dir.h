// A scratch directory of the fuzzer process's own, made current once.
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

inline void EnterScratchDirectory() {
    static const bool entered = [] {
        char name[] = "/tmp/tsumotto-fuzz-XXXXXX";
        return mkdtemp(name) != nullptr && chdir(name) == 0;
    }();
    if (!entered)
        std::abort();
}
