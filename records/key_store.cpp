#include "records/key_store.h"

#include <algorithm>
#include <cstring>

#include "db/db_exception.h"

namespace vordex {
namespace {

constexpr size_t kEightBytes = 8;

size_t PartLength(const char* at) {
    return static_cast<unsigned char>(at[0]) | (static_cast<size_t>(static_cast<unsigned char>(at[1])) << 8);
}

[[noreturn]] void Refuse() { throw new CDBException(SQL_ERROR); }

}  // namespace

void AppendKeyPart(std::string& key, const char* bytes, size_t length) {
    const auto size = static_cast<uint16_t>(std::min<size_t>(length, 0xffff));
    key.push_back(static_cast<char>(size & 0xff));
    key.push_back(static_cast<char>(size >> 8));
    key.append(bytes, size);
}

std::vector<std::string> SplitKeyParts(const std::string& key) {
    std::vector<std::string> parts;
    for (size_t at = 0; at + 2 <= key.size();) {
        const size_t size = PartLength(key.data() + at);
        parts.emplace_back(key, at + 2, size);
        at += 2 + size;
    }
    return parts;
}

KeyStore::KeyStore(size_t parts, bool eightByteParts)
    : parts_(parts), fixedRowBytes_(eightByteParts ? parts * kEightBytes : 0) {}

char* KeyStore::FixedRow(size_t row) const {
    const size_t perChunk = kChunkBytes / fixedRowBytes_;
    return chunks_[row / perChunk].get() + row % perChunk * fixedRowBytes_;
}

void KeyStore::StoreFixed(char* at, const std::string& key) const {
    // Only the parts' bytes: each length is known to be eight.
    if (key.size() != parts_ * (2 + kEightBytes)) Refuse();
    for (size_t part = 0; part < parts_; ++part) {
        const char* encoded = key.data() + part * (2 + kEightBytes);
        if (PartLength(encoded) != kEightBytes) Refuse();
        std::memcpy(at + part * kEightBytes, encoded + 2, kEightBytes);
    }
}

uint32_t KeyStore::StoreVariable(const std::string& key) {
    if (key.size() > kChunkBytes) Refuse();
    if (chunks_.empty() || used_ + key.size() > kChunkBytes) {
        chunks_.push_back(std::make_unique<char[]>(kChunkBytes));
        used_ = 0;
    }
    const size_t start = (chunks_.size() - 1) * kChunkBytes + used_;
    if (start + key.size() > UINT32_MAX) Refuse();
    std::memcpy(chunks_.back().get() + used_, key.data(), key.size());
    used_ += key.size();
    return static_cast<uint32_t>(start);
}

std::string KeyStore::At(size_t row) const {
    if (fixedRowBytes_ != 0) {
        const char* at = FixedRow(row);
        std::string key;
        key.reserve(parts_ * (2 + kEightBytes));
        for (size_t part = 0; part < parts_; ++part) AppendKeyPart(key, at + part * kEightBytes, kEightBytes);
        return key;
    }
    const uint32_t start = starts_[row];
    const char* at = chunks_[start / kChunkBytes].get() + start % kChunkBytes;
    size_t length = 0;
    for (size_t part = 0; part < parts_; ++part) length += 2 + PartLength(at + length);
    return std::string(at, length);
}

void KeyStore::Append(const std::string& key) {
    if (fixedRowBytes_ != 0) {
        if (chunks_.empty() || used_ + fixedRowBytes_ > kChunkBytes) {
            chunks_.push_back(std::make_unique<char[]>(kChunkBytes));
            used_ = 0;
        }
        StoreFixed(chunks_.back().get() + used_, key);
        used_ += fixedRowBytes_;
    } else {
        starts_.push_back(StoreVariable(key));
    }
    ++rows_;
}

void KeyStore::Replace(size_t row, const std::string& key) {
    if (fixedRowBytes_ != 0) {
        StoreFixed(FixedRow(row), key);
    } else {
        starts_[row] = StoreVariable(key);  // the old bytes stay unused: a renamed row is rare
    }
}

}  // namespace vordex
