#include "platform/data_source_choice.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/code_page.h"
#include "platform/desktop_dialog.h"
#include "platform/environment.h"
#include "platform/message_box.h"

namespace vordex::platform {
namespace {

constexpr int kAttempts = 3;

bool ReadLine(FILE* in, std::string& line) {
    line.clear();
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        if (c != '\r') line += static_cast<char>(c);
    }
    return c != EOF || !line.empty();
}

}  // namespace

std::vector<DataSourceEntry> ListDataSources(SQLHENV environment) {
    std::vector<DataSourceEntry> sources;
    if (environment == nullptr) return sources;
    SQLCHAR name[256];
    SQLCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLRETURN rc = SQLDataSources(environment, direction, name, sizeof name, &nameLength, description,
                                      sizeof description, &descriptionLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        name[sizeof name - 1] = '\0';
        description[sizeof description - 1] = '\0';
        sources.push_back({reinterpret_cast<char*>(name), reinterpret_cast<char*>(description)});
        direction = SQL_FETCH_NEXT;
    }
    return sources;
}

DataSourceChoice AskFromMenu(const std::vector<DataSourceEntry>& sources, FILE* in, FILE* out) {
    DataSourceChoice choice;
    if (sources.empty()) return choice;
    std::fprintf(out, "\nVORDEX: choose a data source\n");
    for (size_t i = 0; i < sources.size(); ++i) {
        std::fprintf(out, "  %zu) %s", i + 1, sources[i].name.c_str());
        if (!sources[i].description.empty()) std::fprintf(out, "  (%s)", sources[i].description.c_str());
        std::fprintf(out, "\n");
    }
    std::string line;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::fprintf(out, "Number (Enter cancels): ");
        std::fflush(out);
        if (!ReadLine(in, line) || line.find_first_not_of(' ') == std::string::npos) return choice;
        char* end = nullptr;
        long number = std::strtol(line.c_str(), &end, 10);
        if (end != line.c_str() && *end == '\0' && number >= 1 && static_cast<size_t>(number) <= sources.size()) {
            choice.chosen = true;
            choice.connect = "DSN=" + sources[static_cast<size_t>(number) - 1].name;
            return choice;
        }
        std::fprintf(out, "There is no data source %s.\n", line.c_str());
    }
    return choice;
}

DataSourceChoice ChooseDataSource(SQLHENV environment) {
    std::string given = EnvironmentValue("VORDEX_CONNECT");
    if (!given.empty()) return {true, std::move(given)};

    if (ChosenMessageBackend() == MessageBackend::Desktop) {
        // The driver manager's dialog on the desktop: the same list, in a window.
        std::vector<std::pair<std::string, std::string>> entries;
        for (const DataSourceEntry& source : ListDataSources(environment)) {
            entries.emplace_back(HostToUtf8(source.name.c_str()), HostToUtf8(source.description.c_str()));
        }
        if (entries.empty()) return {};
        const std::optional<std::string> name =
            ChooseInDesktopList(DesktopDialogProgram(), "VORDEX", "Choose a data source", entries);
        if (!name) return {};
        return {true, "DSN=" + *name};
    }
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) return {};  // no one to ask: a cancel
    DataSourceChoice choice = AskFromMenu(ListDataSources(environment), tty, tty);
    std::fclose(tty);
    return choice;
}

SQLHWND ConnectDialogParent() { return nullptr; }

}  // namespace vordex::platform
