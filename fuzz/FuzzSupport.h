#pragma once
// What the file-reading fuzz targets share: a check that stops the run at once, and one
// scratch file per process that every input is written to.

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace wvfuzz {

inline void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// A file of this process under /tmp named after prefix, made on first use and rewritten
// for every input.
inline const std::string& ScratchPath(const char* prefix)
{
    static const std::string path = [prefix] {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        const int fd = mkstemp(pattern.data());
        Check(fd >= 0);
        close(fd);
        return pattern;
    }();
    return path;
}

} // namespace wvfuzz
