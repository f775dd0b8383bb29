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

// VORDEX_MESSAGES=en: the English texts.
bool EnglishAsked() { return platform::EnvironmentValue("VORDEX_MESSAGES") == "en"; }

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
