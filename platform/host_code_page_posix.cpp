// The host's code page and language from the locale, and the settings in
// the environment.
// Self-contained, so that the command-line host, which loads the library at
// run time, builds it in too and reads its texts in the code page the
// library chose.
#include <langinfo.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/code_page.h"
#include "platform/environment.h"

namespace vordex::platform {
namespace {

bool NamesShiftJis(const char* name) {
    if (name == nullptr) return false;
    std::string upper;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p != '-' && *p != '_') upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return upper.find("SJIS") != std::string::npos || upper.find("SHIFTJIS") != std::string::npos ||
           upper.find("CP932") != std::string::npos || upper.find("WINDOWS31J") != std::string::npos;
}

}  // namespace

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

bool HostLanguageIsJapanese() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = EnvironmentValue(variable);
        if (!value.empty()) return value.compare(0, 2, "ja") == 0;
    }
    return false;
}

CodePage HostCodePage() {
    const std::string forced = EnvironmentValue("VORDEX_CODEPAGE");
    if (!forced.empty()) return forced == "932" ? CodePage::Cp932 : CodePage::Utf8;
    if (NamesShiftJis(nl_langinfo(CODESET))) return CodePage::Cp932;
    // A host that never called setlocale still runs in its user's locale.
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return NamesShiftJis(value) ? CodePage::Cp932 : CodePage::Utf8;
    }
    return CodePage::Utf8;
}

}  // namespace vordex::platform
