#pragma once

#include <cstddef>
#include <string>

namespace vordex {

/// True when `text` (`length` bytes) is hex digits, two a byte: how binary
/// values read and are written as text.
bool IsHexText(const char* text, size_t length);

/// The bytes that hex text stands for; false (and `bytes` unchanged) when
/// the text is not hex digits two a byte.
bool DecodeHex(const char* text, size_t length, std::string& bytes);

}  // namespace vordex
