#include "db/library_messages.h"

#include <iterator>
#include <string>

#include "platform/code_page.h"
#include "platform/environment.h"

namespace vordex {
namespace {

struct MessageEntry {
    unsigned id;
    const char* japanese;
    const char* english;
};

constexpr MessageEntry kMessages[] = {
#define VORDEX_MESSAGE(id, japanese, english, when) {id, japanese, english},
#include "db/library_messages.def"
#undef VORDEX_MESSAGE
};

// VORDEX_MESSAGES=en asks for English, any other value for Japanese; unset
// or empty, the host's own language: Japanese for a Japanese host, English
// for any other, whose code page may not even hold the Japanese texts.
bool EnglishAsked() {
    const std::string asked = platform::EnvironmentValue("VORDEX_MESSAGES");
    if (!asked.empty()) return asked == "en";
    return !platform::HostLanguageIsJapanese();
}

}  // namespace

bool LoadLibraryMessage(unsigned id, CText& out) {
    for (const MessageEntry& entry : kMessages) {
        if (entry.id == id) {
            const std::string text = platform::Utf8ToHost(EnglishAsked() ? entry.english : entry.japanese);
            out.Assign(text.data(), text.size());
            return true;
        }
    }
    return false;
}

}  // namespace vordex
