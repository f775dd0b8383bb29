// Conversions through iconv (the host's code page: host_code_page_posix.cpp).
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "platform/code_page.h"
#include "platform/code_page_system.h"

namespace vordex::platform {

// There is no other ANSI code page here.
bool IsAnsiLeadByte(unsigned char) { return false; }

namespace {

const char* IconvName(CodePage codePage) {
    // There is no other ANSI code page here: HostCodePage never answers Ansi.
    return codePage == CodePage::Cp932 ? "CP932" : "UTF-8";
}

size_t CharacterBytes(const char* text, size_t left, CodePage codePage) {
    return std::min(left, CharLength(text, codePage));
}

/// The converters, one per pair of code pages, opened on first use: opening
/// one costs more than converting a value. An iconv converter holds state,
/// so one conversion at a time uses them.
class Converters {
public:
    Converters() {
        for (auto& row : handles_) {
            for (iconv_t& handle : row) handle = kNone;
        }
    }
    ~Converters() {
        for (auto& row : handles_) {
            for (iconv_t handle : row) {
                if (handle != kNone) iconv_close(handle);
            }
        }
    }
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;

    std::mutex lock;
    /// kNone when iconv knows no such conversion.
    iconv_t Get(CodePage from, CodePage to) {
        iconv_t& handle = handles_[static_cast<int>(from)][static_cast<int>(to)];
        if (handle == kNone) handle = iconv_open(IconvName(to), IconvName(from));
        return handle;
    }

    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

private:
    iconv_t handles_[3][3];
};

Converters& TheConverters() {
    static Converters converters;
    return converters;
}

}  // namespace

void PrepareConversions() { TheConverters(); }

size_t ConvertThroughSystem(const char* text, size_t length, CodePage from, CodePage to, char* out, size_t room,
                            bool strict) {
    Converters& converters = TheConverters();
    const std::lock_guard<std::mutex> hold(converters.lock);
    iconv_t converter = converters.Get(from, to);
    if (converter == Converters::kNone) return kNotConverted;
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char* outPtr = out;
    size_t outLeft = room;
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
        // A byte sequence that is no character of `from` (or is cut off at
        // the end), or a character that `to` lacks.
        if ((errno != EILSEQ && errno != EINVAL) || strict || outLeft == 0) {
            outPtr = nullptr;
            break;
        }
        *outPtr++ = '?';
        --outLeft;
        const size_t step = CharacterBytes(in, inLeft, from);
        in += step;
        inLeft -= step;
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return outPtr == nullptr ? kNotConverted : static_cast<size_t>(outPtr - out);
}

}  // namespace vordex::platform
