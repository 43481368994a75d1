#pragma once

#include <cstdint>

namespace brevadin::bench {

// A small deterministic generator, so that the figures never depend on the run.
struct Lcg {
    uint64_t state = 0x2545F4914F6CDD1Dull;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t below(uint32_t n) { return next() % n; }
};

}  // namespace brevadin::bench
