#include "db/code_pages.h"

#include <algorithm>
#include <cstring>

namespace vordex {

bool CodePagePair::Convert(const char* text, size_t length, platform::CodePage from, platform::CodePage to,
                           CText& out, size_t limit) {
    if (length == 0) {
        out.Clear();
        return true;
    }
    // Written straight into the text's own storage: a member bound for every
    // row keeps its storage, and converting into it allocates nothing.
    out.Reserve(limit);
    limit = std::min(limit, out.Capacity());  // pinned storage grows no further
    if (limit == 0) {
        out.Clear();
        return false;
    }
    const size_t written = platform::ConvertText(text, length, from, to, out.Buffer(), limit, false);
    const bool whole = written != platform::kNotConverted;
    out.Buffer()[whole ? written : 0] = '\0';
    out.SyncLength();
    return whole;
}

const CText& CodePagePair::ForDriver(const CText& text, CText& storage) const {
    if (!Converts()) return text;
    ToDriver(text.c_str(), text.Length(), storage, platform::ConvertedRoom(text.Length()));
    return storage;
}

CText CodePagePair::ToHost(const char* text) const {
    const size_t length = std::strlen(text);
    CText out;
    ToHost(text, length, out, platform::ConvertedRoom(length));
    return out;
}

}  // namespace vordex
