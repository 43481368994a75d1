#include "logdata/stringpool.h"

#include <algorithm>
#include <cstring>

namespace brevadin {
namespace {

// Small first: a table of thousands of fields has as many pools, most holding a value or two.
constexpr size_t kFirstBlock = 256;
constexpr size_t kMaxBlock = 1 << 20;

}  // namespace

StringPool::StringPool() {
    slots_.assign(16, 0);
    mask_ = slots_.size() - 1;
    intern(std::string_view());  // id 0 is the empty text
}

uint64_t StringPool::hash(std::string_view text) {
    // FNV-1a over 8-byte words with a final mix: fast for the short texts of
    // log fields, and good enough spread for open addressing.
    uint64_t h = 0xcbf29ce484222325ull ^ text.size();
    const char* p = text.data();
    size_t n = text.size();
    while (n >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0x100000001b3ull;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    uint64_t tail = 0;
    if (n != 0) std::memcpy(&tail, p, n);  // p may be null for the empty text
    h = (h ^ tail) * 0x100000001b3ull;
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ull;
    h ^= h >> 32;
    return h;
}

std::string_view StringPool::store(std::string_view text) {
    if (text.empty()) return std::string_view();
    if (text.size() > blockLeft_) {
        size_t size = blockBytes_ == 0 ? kFirstBlock : std::min(blockBytes_ * 2, kMaxBlock);
        if (text.size() > size) size = text.size();
        blocks_.push_back(std::make_unique<char[]>(size));
        blockPos_ = blocks_.back().get();
        blockLeft_ = size;
        blockBytes_ = std::max(blockBytes_, size);
        totalBlockBytes_ += size;
    }
    std::memcpy(blockPos_, text.data(), text.size());
    std::string_view stored(blockPos_, text.size());
    blockPos_ += text.size();
    blockLeft_ -= text.size();
    return stored;
}

void StringPool::grow() {
    std::vector<uint32_t> bigger(slots_.size() * 2, 0);
    size_t mask = bigger.size() - 1;
    for (uint32_t id = 0; id < texts_.size(); ++id) {
        size_t i = hashes_[id] & mask;
        while (bigger[i] != 0) i = (i + 1) & mask;
        bigger[i] = id + 1;
    }
    slots_.swap(bigger);
    mask_ = mask;
}

uint32_t StringPool::find(std::string_view text) const {
    uint32_t h = static_cast<uint32_t>(hash(text));
    for (size_t i = h & mask_;; i = (i + 1) & mask_) {
        uint32_t slot = slots_[i];
        if (slot == 0) return kMissing;
        uint32_t id = slot - 1;
        if (hashes_[id] == h && texts_[id] == text) return id;
    }
}

uint32_t StringPool::intern(std::string_view text) {
    uint32_t h = static_cast<uint32_t>(hash(text));
    size_t i = h & mask_;
    for (;; i = (i + 1) & mask_) {
        uint32_t slot = slots_[i];
        if (slot == 0) break;
        uint32_t id = slot - 1;
        if (hashes_[id] == h && texts_[id] == text) return id;
    }
    uint32_t id = static_cast<uint32_t>(texts_.size());
    texts_.push_back(store(text));
    hashes_.push_back(h);
    slots_[i] = id + 1;
    // Keep the load factor at or below one half.
    if (texts_.size() * 2 > slots_.size()) grow();
    return id;
}

size_t StringPool::memoryUse() const {
    size_t bytes = texts_.capacity() * sizeof(std::string_view) +
                   hashes_.capacity() * sizeof(uint32_t) + slots_.capacity() * sizeof(uint32_t);
    return bytes + totalBlockBytes_;
}

}  // namespace brevadin
