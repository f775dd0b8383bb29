#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace vordex {

/// A key as the keyset keeps it: its parts in order, each a two-byte length
/// (low byte first) and its bytes.
void AppendKeyPart(std::string& key, const char* bytes, size_t length);
/// The parts of an encoded key, in order.
std::vector<std::string> SplitKeyParts(const std::string& key);

/// The keys of a keyset, one a row, in chunks of 1 MiB that never move: a
/// large keyset grows without copying itself (a buffer grown by copies
/// leaves the heap holding every size it had). Where every part is eight
/// bytes (whole numbers, doubles) a row takes just those bytes; otherwise
/// its encoded bytes and four bytes more for where they start.
class KeyStore {
public:
    static constexpr size_t kChunkBytes = size_t{1} << 20;

    /// `parts` parts a key; `eightByteParts`: every part of every key is
    /// eight bytes long.
    KeyStore(size_t parts, bool eightByteParts);
    KeyStore(const KeyStore&) = delete;
    KeyStore& operator=(const KeyStore&) = delete;

    size_t Size() const { return rows_; }
    /// The encoded key of row `row` (< Size()).
    std::string At(size_t row) const;
    /// Adds an encoded key of `parts` parts; throws CDBException* for a key
    /// the store cannot hold (longer than a chunk, or not of eight-byte
    /// parts where it keeps only those).
    void Append(const std::string& key);
    /// Row `row` is named by `key` from now on.
    void Replace(size_t row, const std::string& key);

private:
    char* FixedRow(size_t row) const;
    void StoreFixed(char* at, const std::string& key) const;
    uint32_t StoreVariable(const std::string& key);

    size_t parts_;
    /// Bytes a row where every part is eight bytes; 0 otherwise.
    size_t fixedRowBytes_;
    size_t rows_ = 0;
    std::vector<std::unique_ptr<char[]>> chunks_;
    /// Bytes used of the last chunk.
    size_t used_ = 0;
    /// Each row's first byte counted over the chunks, where rows vary.
    std::deque<uint32_t> starts_;
};

}  // namespace vordex
