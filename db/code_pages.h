#pragma once

#include <cstddef>

#include "db/text.h"
#include "platform/code_page.h"

namespace vordex {

/// The two code pages a connection's texts cross between: the host's, which
/// every text of the library is in, and the driver's, which the statements,
/// names and values it sends and receives are in. Where both are the same,
/// texts pass as they are and nothing is converted.
///
/// A conversion is lenient: a byte that is no character, and a character
/// the other code page cannot hold, become "?".
struct CodePagePair {
    platform::CodePage host = platform::CodePage::Utf8;
    platform::CodePage driver = platform::CodePage::Utf8;

    bool Converts() const { return host != driver; }
    /// Bytes a host text of `hostBytes` bytes may take in the driver's code page.
    size_t DriverBytes(size_t hostBytes) const { return Converts() ? platform::ConvertedRoom(hostBytes) : hostBytes; }

    /// `text` (`length` bytes) from the host's code page into the driver's,
    /// in `out`; false (and `out` empty) when it would be longer than
    /// `limit` bytes.
    bool ToDriver(const char* text, size_t length, CText& out, size_t limit) const {
        return Convert(text, length, host, driver, out, limit);
    }
    /// `text` as the driver takes it: itself where nothing is converted,
    /// else its conversion, made in `storage`.
    const CText& ForDriver(const CText& text, CText& storage) const;
    /// `text` (`length` bytes) from the driver's code page into the host's,
    /// in `out`; false (and `out` empty) when it would be longer than
    /// `limit` bytes.
    bool ToHost(const char* text, size_t length, CText& out, size_t limit) const {
        return Convert(text, length, driver, host, out, limit);
    }
    /// A terminated driver text in the host's code page.
    CText ToHost(const char* text) const;

private:
    static bool Convert(const char* text, size_t length, platform::CodePage from, platform::CodePage to, CText& out,
                        size_t limit);
};

}  // namespace vordex
