#include "library_messages.h"

#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "text_encoding.h"

namespace vordex::cli {
namespace {

struct MessageText {
    std::string_view id;
    const char* japanese;
    const char* english;
};

// The library's own table, as the library is built with it.
constexpr MessageText kMessages[] = {
#define VORDEX_MESSAGE(id, japanese, english, when) {#id, japanese, english},
#include "db/library_messages.def"
#undef VORDEX_MESSAGE
};

/// `utf8` in CP932 (texts of the library's table, all of which CP932 holds).
std::string InCp932(const char* utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return utf8;
    std::string out(std::strlen(utf8) + 1, '\0');
    char* in = const_cast<char*>(utf8);
    size_t inLeft = std::strlen(utf8);
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const bool converted = iconv(converter, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    if (!converted) return utf8;
    out.resize(static_cast<size_t>(outPtr - out.data()));
    return out;
}

/// The first line of a message, which the stderr display shows whole.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

}  // namespace

bool LibraryMessagesVisible() {
    const char* dialog = std::getenv("VORDEX_DIALOG");
    return dialog != nullptr && std::strcmp(dialog, "stderr") == 0;
}

std::string MessagesShownBy(const std::function<void()>& call, bool passOn) {
    std::FILE* file = LibraryMessagesVisible() ? std::tmpfile() : nullptr;
    const int saved = file != nullptr ? dup(STDERR_FILENO) : -1;
    if (saved < 0) {
        if (file != nullptr) std::fclose(file);
        call();
        return "";
    }
    std::fflush(stderr);
    dup2(fileno(file), STDERR_FILENO);
    std::string shown;
    auto restore = [&] {
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        std::rewind(file);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) shown.append(buffer, n);
        std::fclose(file);
        if (passOn) std::fwrite(shown.data(), 1, shown.size(), stderr);
    };
    try {
        call();
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return shown;
}

bool Shows(const std::string& shown, LibraryMessage message) {
    const std::string_view id =
        message == LibraryMessage::NoFieldFound ? "MessageNoFieldFound" : "LibraryErrorMessageBase + 1021";
    for (const MessageText& text : kMessages) {
        if (text.id != id) continue;
        const std::string japanese =
            HostTextEncoding() == TextEncoding::Cp932 ? InCp932(text.japanese) : std::string(text.japanese);
        return shown.find(FirstLine(japanese)) != std::string::npos ||
               shown.find(FirstLine(text.english)) != std::string::npos;
    }
    return false;
}

}  // namespace vordex::cli
