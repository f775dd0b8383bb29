#pragma once

#include <cstddef>
#include <cstring>

namespace vordex {

/// Growable, NUL-terminated byte string in the host's code page.
///
/// A text can be pinned: its storage is then fixed (an ODBC driver writes into
/// it at every fetch). While pinned it never reallocates; a value that does not
/// fit is cut to the storage's capacity.
class CText {
public:
    CText() = default;
    CText(const char* s) { Assign(s); }  // NOLINT: implicit by design, like a string
    CText(const char* s, size_t n) { Assign(s, n); }
    CText(const CText& other) { Assign(other.c_str(), other.length_); }
    CText(CText&& other) noexcept;
    CText& operator=(const CText& other);
    CText& operator=(CText&& other) noexcept;
    CText& operator=(const char* s) { Assign(s); return *this; }
    ~CText();

    const char* c_str() const { return data_ != nullptr ? data_ : ""; }
    size_t Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    size_t Capacity() const { return capacity_; }
    bool IsPinned() const { return pinned_; }

    /// Writable storage (Capacity() + 1 bytes); valid only after Reserve.
    char* Buffer() { return data_; }

    void Assign(const char* s);
    void Assign(const char* s, size_t n);
    void Append(const char* s);
    void Append(const char* s, size_t n);
    void Append(char c) { Append(&c, 1); }
    void Append(const CText& s) { Append(s.c_str(), s.length_); }
    void Clear() { Truncate(0); }

    /// Makes room for at least `bytes` bytes plus the terminator, keeping the value.
    void Reserve(size_t bytes);
    /// Cuts the value to `n` bytes (no effect when it is shorter).
    void Truncate(size_t n);
    /// Takes the length again from the terminator in the storage. Inline: it
    /// runs for every text column of every fetched row.
    void SyncLength() {
        if (data_ == nullptr) {
            length_ = 0;
            return;
        }
        data_[capacity_] = '\0';  // never read past the storage, whatever was written
        length_ = std::strlen(data_);
    }
    /// Takes `reported`, the length a driver gave for what it wrote, where
    /// its terminator stands there; else the length from the terminator.
    void SyncLength(std::ptrdiff_t reported) {
        if (!TakeLength(reported)) SyncLength();
    }
    /// Takes `reported` as the length where the terminator stands there
    /// and the byte before it is none (a length past the text, over zero
    /// padding, is no text's); false (and nothing changed) otherwise. A
    /// negative length never fits.
    bool TakeLength(std::ptrdiff_t reported) {
        const size_t length = static_cast<size_t>(reported);
        if (length > capacity_ || data_ == nullptr || data_[length] != '\0' ||
            (length != 0 && data_[length - 1] == '\0')) {
            return false;
        }
        length_ = length;
        return true;
    }
    /// Overwrites the last byte (the value must not be empty).
    void SetLastChar(char c) { data_[length_ - 1] = c; }

    void Pin() { pinned_ = true; }
    void Unpin() { pinned_ = false; }

    bool operator==(const CText& o) const {
        return length_ == o.length_ && std::memcmp(c_str(), o.c_str(), length_) == 0;
    }
    bool operator!=(const CText& o) const { return !(*this == o); }
    bool operator==(const char* s) const { return std::strcmp(c_str(), s != nullptr ? s : "") == 0; }
    bool operator!=(const char* s) const { return !(*this == s); }

private:
    /// Ensures capacity for `bytes`; returns the bytes that fit (less when pinned).
    size_t Grow(size_t bytes);

    char* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
    bool pinned_ = false;
};

}  // namespace vordex
