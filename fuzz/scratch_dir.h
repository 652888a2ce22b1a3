// A scratch directory of the fuzzer process's own, made current once and removed when the process exits.
// In memory where the system has it, so that the flushes every write makes cost nothing.
#pragma once

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

inline std::string& ScratchDirectory() {
    static std::string path;
    return path;
}

inline void RemoveScratchDirectory() {
    const std::string& path = ScratchDirectory();
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                unlink((path + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

inline void EnterScratchDirectory() {
    static const bool entered = [] {
        char shm[] = "/dev/shm/tsumotto-fuzz-XXXXXX";
        char tmp[] = "/tmp/tsumotto-fuzz-XXXXXX";
        const char* made = mkdtemp(shm);
        if (!made)
            made = mkdtemp(tmp);
        if (!made || chdir(made) != 0)
            return false;
        ScratchDirectory() = made;
        std::atexit(RemoveScratchDirectory);
        return true;
    }();
    if (!entered)
        std::abort();
}
