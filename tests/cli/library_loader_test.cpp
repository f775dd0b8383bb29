// Loading the library: every function of the public header is resolved, and
// a file that is missing or is not the VORDEX library is a clear failure.
#include "library_loader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli_errors.h"
#include "vordex_api.h"

namespace vordex::cli {
namespace {

std::set<std::string> FunctionsDeclaredInTheHeader() {
    std::ifstream header(VORDEX_PUBLIC_HEADER);
    std::stringstream text;
    text << header.rdbuf();
    const std::string content = text.str();
    const std::regex declaration(R"(VORDEX_API\s+[^;]*?\b(VORDEX_\w+)\s*\()");
    std::set<std::string> names;
    for (std::sregex_iterator it(content.begin(), content.end(), declaration), end; it != end; ++it) {
        names.insert((*it)[1].str());
    }
    return names;
}

TEST(VordexApi, HoldsEveryFunctionOfThePublicHeader) {
    const std::set<std::string> declared = FunctionsDeclaredInTheHeader();
    ASSERT_GE(declared.size(), 15u) << "cannot read " << VORDEX_PUBLIC_HEADER;

    VordexApi api;
    std::set<std::string> resolved;
    size_t visited = 0;
    ForEachFunction(api, [&](const char* name, auto&) {
        resolved.insert(name);
        ++visited;
    });
    EXPECT_EQ(resolved, declared);
    // Every member is visited once: none left null after loading.
    EXPECT_EQ(visited, resolved.size());
    EXPECT_EQ(sizeof(VordexApi), visited * sizeof(api.Close));
}

TEST(LoadedLibrary, FailsClearlyForAMissingOrForeignLibrary) {
    const struct {
        const char* path;
        std::string reason;  // the start of the message
    } cases[] = {
        {"/nonexistent/libvordex.so.2", "cannot load the VORDEX library: /nonexistent/libvordex.so.2: cannot open"},
        // The C library is there for every process, but has none of the functions.
        {"libc.so.6", "'libc.so.6' is not a usable VORDEX library: it lacks VORDEX_GetVersion, VORDEX_IsOpen, "},
    };
    for (const auto& c : cases) {
        try {
            LoadedLibrary library{std::string(c.path)};
            ADD_FAILURE() << c.path << " loaded";
        } catch (const CommandFailure& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.reason, 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace vordex::cli
