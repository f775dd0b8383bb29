#include "db/text.h"

#include <cstdlib>
#include <new>

#include "db/exception.h"

namespace vordex {

CText::CText(CText&& other) noexcept {
    if (other.pinned_) {
        // Pinned storage is bound somewhere and stays with its owner.
        try {
            Assign(other.c_str(), other.length_);
        } catch (...) {
        }
        return;
    }
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.length_ = other.capacity_ = 0;
}

CText& CText::operator=(const CText& other) {
    if (this != &other) Assign(other.c_str(), other.length_);
    return *this;
}

CText& CText::operator=(CText&& other) noexcept {
    if (this == &other) return *this;
    if (pinned_ || other.pinned_) {
        try {
            Assign(other.c_str(), other.length_);
        } catch (...) {
        }
        return *this;
    }
    std::free(data_);
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.length_ = other.capacity_ = 0;
    return *this;
}

CText::~CText() { std::free(data_); }

size_t CText::Grow(size_t bytes) {
    if (bytes <= capacity_) return bytes;
    if (pinned_) return capacity_;
    size_t newCapacity = capacity_ < 15 ? 15 : capacity_ * 2;
    if (newCapacity < bytes) newCapacity = bytes;
    auto* grown = static_cast<char*>(std::realloc(data_, newCapacity + 1));
    if (grown == nullptr) ThrowMemoryException();
    if (data_ == nullptr) grown[0] = '\0';
    data_ = grown;
    capacity_ = newCapacity;
    return bytes;
}

void CText::Assign(const char* s) { Assign(s, s != nullptr ? std::strlen(s) : 0); }

void CText::Assign(const char* s, size_t n) {
    if (s == nullptr) n = 0;
    if (n == 0 && data_ == nullptr) return;
    if (s != nullptr && data_ != nullptr && s >= data_ && s <= data_ + capacity_) {
        // Assigning a part of ourselves: the source may move when we grow.
        CText copy(s, n);
        Assign(copy.c_str(), copy.length_);
        return;
    }
    n = Grow(n);
    if (n > 0) std::memcpy(data_, s, n);
    data_[n] = '\0';
    length_ = n;
}

void CText::Append(const char* s) { Append(s, s != nullptr ? std::strlen(s) : 0); }

void CText::Append(const char* s, size_t n) {
    if (s == nullptr || n == 0) return;
    if (data_ != nullptr && s >= data_ && s <= data_ + capacity_) {
        CText copy(s, n);
        Append(copy.c_str(), copy.length_);
        return;
    }
    size_t total = Grow(length_ + n);
    n = total - length_;
    std::memcpy(data_ + length_, s, n);
    length_ = total;
    data_[length_] = '\0';
}

void CText::Reserve(size_t bytes) { Grow(bytes); }

void CText::Truncate(size_t n) {
    if (n >= length_) return;
    length_ = n;
    data_[n] = '\0';
}

}  // namespace vordex
