#include "db/hex_text.h"

namespace vordex {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool IsHexText(const char* text, size_t length) {
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; ++i) {
        if (HexDigitValue(text[i]) < 0) return false;
    }
    return true;
}

bool DecodeHex(const char* text, size_t length, std::string& bytes) {
    if (!IsHexText(text, length)) return false;
    bytes.resize(length / 2);
    for (size_t i = 0; i < length / 2; ++i) {
        bytes[i] = static_cast<char>(HexDigitValue(text[2 * i]) * 16 + HexDigitValue(text[2 * i + 1]));
    }
    return true;
}

}  // namespace vordex
