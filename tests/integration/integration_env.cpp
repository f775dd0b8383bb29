#include "integration/integration_env.h"

#include <unistd.h>

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

namespace {

// psql in database `database`; host, port and user come from PGHOST, PGPORT
// and PGUSER.
std::string PsqlIn(const std::string& database, const std::string& sql) {
    RequiredEnv("PGPORT");
    std::string quoted;
    for (char c : sql) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    std::string command = "psql -X -q -A -t -v ON_ERROR_STOP=1 -d '" + database + "' -c '" + quoted + "' 2>&1";
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

struct OwnDatabase {
    std::string name = "vordex_it_" + std::to_string(getpid());
    OwnDatabase() {
        // A database left by an earlier process of the same number goes first.
        const std::string server = RequiredEnv("PGDATABASE");
        PsqlIn(server, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
        PsqlIn(server, "CREATE DATABASE " + name);
    }
    ~OwnDatabase() {
        try {
            PsqlIn(RequiredEnv("PGDATABASE"), "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
        } catch (const std::exception&) {
            // The cluster goes away with the test run; a database left in it
            // harms nothing.
        }
    }
};

}  // namespace

const std::string& ProcessDatabase() {
    static const OwnDatabase database;
    return database.name;
}

std::string PgDsnConnect(const std::string& settings) {
    return "DSN=" + RequiredEnv("VORDEX_TEST_PG_DSN") + ";Database=" + ProcessDatabase() + settings;
}

std::string Psql(const std::string& sql) { return PsqlIn(ProcessDatabase(), sql); }

}  // namespace integration
