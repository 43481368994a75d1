#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace brevadin {

// A set of distinct texts, each stored once and named by a dense id in the
// order of first appearance. Id 0 is the empty text. Texts live in large
// blocks that never move, so the views handed out stay valid for the pool's
// life.
class StringPool {
public:
    StringPool();
    StringPool(StringPool&&) noexcept = default;
    StringPool& operator=(StringPool&&) noexcept = default;

    uint32_t intern(std::string_view text);
    // Id of the text, or kMissing when the pool does not hold it.
    uint32_t find(std::string_view text) const;
    std::string_view text(uint32_t id) const { return texts_[id]; }
    size_t size() const { return texts_.size(); }
    // Bytes held by the pool's blocks and tables (for the benchmarks).
    size_t memoryUse() const;

    static constexpr uint32_t kMissing = 0xffffffffu;

private:
    std::string_view store(std::string_view text);
    void grow();
    static uint64_t hash(std::string_view text);

    std::vector<std::string_view> texts_;
    std::vector<uint32_t> hashes_;  // low 32 bits of each text's hash, by id
    std::vector<uint32_t> slots_;   // open addressing: id + 1, 0 = empty
    size_t mask_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* blockPos_ = nullptr;
    size_t blockLeft_ = 0;
    size_t blockBytes_ = 0;
    size_t totalBlockBytes_ = 0;
};

}  // namespace brevadin
