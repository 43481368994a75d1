// The ISO-2022-JP decoder of WHOIS answers.
//
// An answer arrives in pieces cut anywhere, so decoding it piece by piece must
// give exactly what decoding it whole gives, and the result is always UTF-8.
// The first byte seeds where the pieces are cut.

#include <algorithm>
#include <string>

#include "logdata/textdecode.h"
#include "tests/fuzz/fuzz_support.h"

using namespace brevadin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint32_t seed = data[0] | 1u;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    static Iso2022JpDecoder whole;  // reused, as the window reuses its decoder
    std::string once;
    whole.decode(text, once);
    whole.finish(once);
    if (!fuzz::validUtf8(once)) fuzz::broken("decoded text is not UTF-8");

    Iso2022JpDecoder pieces;
    std::string bit;
    size_t at = 0;
    while (at < text.size()) {
        seed = seed * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(text.size() - at, 1 + (seed >> 16) % 8);
        pieces.decode(text.substr(at, n), bit);
        at += n;
    }
    pieces.finish(bit);
    if (bit != once) fuzz::broken("piecewise decoding differs from decoding at once");

    // After finish the decoder starts over: the same text gives the same again.
    std::string twice;
    pieces.decode(text, twice);
    pieces.finish(twice);
    if (twice != once) fuzz::broken("finish did not start the decoder over");
    return 0;
}
