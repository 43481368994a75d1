#pragma once

// Pieces the fuzz targets share. Each target defines LLVMFuzzerTestOneInput;
// under libFuzzer that is the whole program, and in the normal build
// replay_main.cpp runs it over the stored inputs.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// Aborts with a message: libFuzzer keeps the input that did it.
[[noreturn]] inline void broken(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %s %.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

// Written apart from the program's own check, so that a fault there is not
// shared by the judge.
inline bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80                 ? 0
                         : c >= 0xC2 && c <= 0xDF ? 1
                         : c >= 0xE0 && c <= 0xEF ? 2
                         : c >= 0xF0 && c <= 0xF4 ? 3
                                                  : 9;  // continuation bytes
        if (n == 9 || s.size() - i <= n) return false;
        uint32_t cp = c & (0x7Fu >> n);
        for (size_t k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = cp << 6 | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// A file of this process's own that holds the current input, rewritten for
// each one. /dev/shm keeps the millions of rewrites off the disk.
class ScratchFile {
public:
    explicit ScratchFile(const char* tag) {
        const char* dir = std::getenv("FUZZ_SCRATCH_DIR");
        if (!dir) dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path_ = std::string(dir) + "/brevadin-fuzz-" + tag + "-" + std::to_string(::getpid());
    }
    ~ScratchFile() {
        ::unlink(path_.c_str());
        ::unlink((path_ + ".out").c_str());
    }
    const std::string& path() const { return path_; }
    // A second name beside it, for what a target writes.
    std::string outPath() const { return path_ + ".out"; }

    void write(const uint8_t* data, size_t size) const {
        FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
            broken("cannot write the scratch file", path_);
    }

private:
    std::string path_;
};

}  // namespace fuzz
