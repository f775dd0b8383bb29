#include "integration/integration_env.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace integration {

std::string RequiredEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(std::string(name) + " is not set: run the tests through scripts/test.sh");
    }
    return value;
}

std::string Psql(const std::string& sql) {
    RequiredEnv("PGPORT");
    std::string quoted;
    for (char c : sql) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    // Connection settings come from PGHOST, PGPORT, PGUSER and PGDATABASE.
    std::string command = "psql -X -q -A -t -v ON_ERROR_STOP=1 -c '" + quoted + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run psql");
    std::string output;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    if (status != 0) throw std::runtime_error("psql failed: " + output);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

}  // namespace integration
