// Drives the 17 exported calls in random order with hostile arguments against
// a database of the private PostgreSQL cluster, while backends are killed and
// the server restarts now and then. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer, which end the run at the first fault. Checks
// what the calls promise whatever they are given, and, at the end, that the
// tables the harness never names are as they were (read with psql).
//
//   vordex_call_fuzz --scripts DIR [--seed N] [--steps N] [--threads 1|2]
//                    [--kill-every N] [--restart-every N] [--exit-while-calling]
//
// Needs the environment of scripts/with_cluster.sh. A failure names the seed
// and step; the same seed repeats the same calls (with one thread).
//
// Where psql cannot be run (a Windows host under Wine), the caller makes the
// database and compares the untouched tables itself:
//   vordex_call_fuzz --print-setup        the SQL that makes the tables
//   vordex_call_fuzz --print-sentinels    the query over the untouched tables
//   vordex_call_fuzz --database-ready [--seed N] [--steps N] [--threads 1|2]
//                                         the calls alone, on VORDEX_CONNECT
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "vordex.h"

namespace {

constexpr const char* kDatabase = "vordex_fuzz";

// The tables that the harness names, and those it never names.
constexpr const char* kSetup = R"SQL(
CREATE SCHEMA zz;
CREATE TABLE fz_items (id serial PRIMARY KEY, t text, n integer, d date, ts timestamp, b boolean, u uuid,
                       vc varchar(5), nu numeric(8,2), by bytea, bits bit(4));
INSERT INTO fz_items (t, n, d, ts, b, u, vc, nu, by, bits)
    SELECT 'text ' || g, g, '2024-01-01'::date + g, '2024-01-01 12:00'::timestamp + g * interval '1 hour',
           g % 2 = 0, md5(g::text)::uuid, left('v' || g, 5), g * 1.5, decode(md5(g::text), 'hex'), g::bit(4)
      FROM generate_series(1, 40) g;
CREATE TABLE fz_odd (id serial PRIMARY KEY, "two words" text, "it's" text,
                     "v FROM sentinel; DELETE FROM sentinel; --" text, "q""uote" text);
INSERT INTO fz_odd VALUES (DEFAULT, 'a', 'b', 'c', 'd'), (DEFAULT, NULL, '', repeat('x', 255), 'e');
CREATE TABLE fz_long (id serial PRIMARY KEY, note text);
INSERT INTO fz_long (note) VALUES ('short'), (repeat('y', 300)), ('after');
CREATE TABLE fz_empty (id serial PRIMARY KEY, v text);
CREATE TABLE zz.fz_hidden (id serial PRIMARY KEY, v text);
INSERT INTO zz.fz_hidden (v) VALUES ('hidden');
CREATE VIEW fz_view AS SELECT id, t FROM fz_items WHERE n < 10;
CREATE TABLE sentinel (id integer PRIMARY KEY, v text);
INSERT INTO sentinel SELECT g, 'keep ' || g FROM generate_series(1, 20) g;
CREATE TABLE zz.sentinel (id integer PRIMARY KEY, v text);
INSERT INTO zz.sentinel SELECT g, 'keep ' || g FROM generate_series(1, 5) g;
-- Names that turn into SQL where quoting takes a quote or a bracket for part
-- of a character: the UTF-8 bytes 7a c3 81 22 (0x81 is a CP932 lead byte).
CREATE FUNCTION fz_gone() RETURNS boolean LANGUAGE sql AS 'DELETE FROM sentinel RETURNING true';
CREATE TABLE "zÁ"" WHERE fz_gone() IS NOT NULL --" (id serial PRIMARY KEY, v text);
INSERT INTO "zÁ"" WHERE fz_gone() IS NOT NULL --" (v) VALUES ('trap');
CREATE SCHEMA "[s";
CREATE TABLE "[s"."[br" (id serial PRIMARY KEY, "[col" text);
INSERT INTO "[s"."[br" ("[col") VALUES ('bracketed');
)SQL";

constexpr const char* kSentinels =
    "SELECT md5(string_agg(id || ':' || v, ',' ORDER BY id)) FROM sentinel UNION ALL "
    "SELECT md5(string_agg(id || ':' || v, ',' ORDER BY id)) FROM zz.sentinel;";

std::string scriptsDir;

/// psql's tuples-only output for `sql` on `db`; the run ends when psql fails.
std::string Psql(const char* db, const std::string& sql) {
    const std::string command = "psql -X -q -A -t -v ON_ERROR_STOP=1 -d " + std::string(db) + " 2>&1 <<'FUZZ_SQL'\n" +
                                sql + "\nFUZZ_SQL";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    size_t n;
    while (pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (pipe == nullptr || pclose(pipe) != 0) {
        std::fprintf(stderr, "call_fuzz: psql failed: %s\n", output.c_str());
        std::exit(2);
    }
    return output;
}

void Fail(unsigned seed, long step, const std::string& what) {
    std::fprintf(stderr, "call_fuzz: FAILED at seed %u, step %ld: %s\n", seed, step, what.c_str());
    std::fflush(stderr);
    std::_Exit(1);  // another thread may be inside the library: no unload under it
}

/// One run of random calls; `seed` makes it repeatable.
class Fuzzer {
public:
    Fuzzer(unsigned seed, long steps) : seed_(seed), steps_(steps), random_(seed) {}

    void Run(long killEvery, long restartEvery) {
        for (long step = 1; step <= steps_; ++step) {
            step_ = step;
            if (killEvery > 0 && step % killEvery == 0) KillBackends();
            if (restartEvery > 0 && step % restartEvery == 0) RestartServer();
            OneCall();
        }
        VORDEX_Close();
    }

private:
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

    template <class T, size_t N>
    const T& PickFrom(const T (&items)[N]) {
        return items[Pick(static_cast<int>(N))];
    }

    void Check(bool ok, const char* what) {
        if (!ok) Fail(seed_, step_, what);
    }

    int Index() {
        static const int kIndexes[] = {INT_MIN, -2, -1, 31, 32, 33, 511, 512, INT_MAX};
        return Pick(3) == 0 ? PickFrom(kIndexes) : Pick(12);
    }

    std::string Name() {
        static const char* const kNames[] = {
            "fz_items", "fz_odd", "fz_long", "fz_empty", "fz_view", "zz.fz_hidden", "public.fz_items", "fz_hidden",
            "", "nosuch", "FZ_ITEMS", "fz_%", "fz\\_items", "sentinel\"; DELETE FROM sentinel; --",
            "fz_items; DELETE FROM sentinel", "\xff\xfe\x81", "line\nbreak", "[fz_items]", "'fz_items'",
            "z\xC3\x81\" WHERE fz_gone() IS NOT NULL --", "[br", "[s.[br", "\x83\x65\x81\x5B\x83\x75", "\x81\"x"};
        switch (Pick(16)) {
            case 0: return std::string(10000, 'a');
            case 1: return std::string(1 + Pick(70), static_cast<char>('a' + Pick(26)));
            case 2: case 3: case 4: case 5: case 6: case 7: return kNames[Pick(6)];  // tables that open
            default: return PickFrom(kNames);
        }
    }

    std::string Value() {
        static const char* const kValues[] = {
            "", "x", "12345", "-2147483649", "3.14", "2024-02-29", "2024-02-29 23:59:59", "2024-02-29T23:59:59",
            "23:59:59.999999", "true", "not a number", "'); DELETE FROM sentinel; --", "\xff\xfe invalid",
            "line\nbreak\ttab\x1e", "東京都", "123e4567-e89b-12d3-a456-426614174000", "deadbeef",
            // Typed values a cut or the driver could turn into other data.
            "zz", "abc", "\\x00ff10", "falseX", "t    x", "10101", "2024-02-29 23:59:05.9999999", "\x81\"'"};
        switch (Pick(10)) {
            case 0: return std::string(static_cast<size_t>(250 + Pick(20)), 'z');
            case 1: return std::string(1000, 'w');
            default: return PickFrom(kValues);
        }
    }

    static size_t TextLength(const char* text, size_t limit) {
        const void* end = std::memchr(text, '\0', limit);
        return end == nullptr ? limit : static_cast<size_t>(static_cast<const char*>(end) - text);
    }

    void CheckText(const char* text, const char* what) {
        Check(text != nullptr, what);
        TextLength(text, 1 << 20);  // reads it through: a freed or cut text faults here
    }

    void CallListText() {
        static const int kSizes[] = {INT_MIN, -1, 0, 1, 2, 3, 7, 64, 255, 300, 4096};
        const int size = PickFrom(kSizes);
        if (Pick(8) == 0) {
            Check(VORDEX_ListText(nullptr, size) == 0, "VORDEX_ListText(null) is 0");
            return;
        }
        if (size < 1) {
            char untouched[4] = {'#', '#', '#', '#'};
            Check(VORDEX_ListText(untouched, size) == 0, "VORDEX_ListText with no room is 0");
            Check(std::memcmp(untouched, "####", 4) == 0, "VORDEX_ListText with no room writes nothing");
            return;
        }
        // Exactly `size` bytes on the heap: a write past them faults.
        std::vector<char> buffer(static_cast<size_t>(size), '#');
        const int result = VORDEX_ListText(buffer.data(), size);
        Check(result == size || (result >= 0 && result <= 32), "VORDEX_ListText gives a count or the size");
        // Written and ended, or (with no record) left alone.
        Check(result > 0 ? std::memchr(buffer.data(), '\0', buffer.size()) != nullptr
                         : buffer[0] == '\0' || buffer[0] == '#',
              "VORDEX_ListText ends what it writes");
    }

    // How often each call comes, roughly as hosts make them: rows are walked
    // and read far more often than tables are listed.
    enum Call { GetVersion, IsOpen, Close, Table, GetTableList, GetDirName, Open, GetNameList, OpenRec, CloseRec,
                IsEOF, MoveNext, Seek, GetData, ListText, CanUpdate, Update, kCalls };
    static constexpr double kWeights[kCalls] = {1, 1, 1, 2, 3, 1, 6, 3, 6, 2, 4, 12, 6, 10, 8, 3, 10};

    void OneCall() {
        std::discrete_distribution<int> calls(std::begin(kWeights), std::end(kWeights));
        switch (calls(random_)) {
            case GetVersion: Check(VORDEX_GetVersion() == 0x20070, "VORDEX_GetVersion"); break;
            case IsOpen: Check(VORDEX_IsOpen() == 0 || VORDEX_IsOpen() == 1, "VORDEX_IsOpen is 0 or 1"); break;
            case Close: VORDEX_Close(); break;
            case Table: {
                const int count = VORDEX_Table();
                Check(count >= 0 && count <= 32, "VORDEX_Table counts 0 to 32");
                break;
            }
            case GetTableList: CheckText(VORDEX_GetTableList(Index()), "VORDEX_GetTableList"); break;
            case GetDirName: CheckText(VORDEX_GetDirName(), "VORDEX_GetDirName"); break;
            case Open: {
                const int count = Pick(20) == 0 ? VORDEX_Open(nullptr) : VORDEX_Open(Name().c_str());
                Check(count >= 0 && count <= 512, "VORDEX_Open counts 0 to 512");
                break;
            }
            case GetNameList: CheckText(VORDEX_GetNameList(Index()), "VORDEX_GetNameList"); break;
            case OpenRec: {
                const int opened = VORDEX_OpenRec();
                Check(opened == 0 || opened == 1, "VORDEX_OpenRec is 0 or 1");
                opens += opened;
                break;
            }
            case CloseRec: VORDEX_CloseRec(); break;
            case IsEOF: VORDEX_IsEOF(); break;
            case MoveNext: {
                const int moved = VORDEX_MoveNext();
                Check(moved == 0 || moved == 1, "VORDEX_MoveNext is 0 or 1");
                moves += moved;
                break;
            }
            case Seek: {
                const int row = Index();
                const int moved = VORDEX_Seek(row);
                Check(moved == 0 || (moved == 1 && row >= 0), "VORDEX_Seek is 0, or 1 for a row from 0");
                break;
            }
            case GetData: CheckText(VORDEX_GetData(Index()), "VORDEX_GetData"); break;
            case ListText: CallListText(); break;
            case CanUpdate: VORDEX_CanUpdate(Index()); break;
            default: {
                const int index = Pick(4) == 0 ? Index() : Pick(6);
                const int done = Pick(20) == 0 ? VORDEX_Update(index, nullptr) : VORDEX_Update(index, Value().c_str());
                Check(done == 0 || done == 1, "VORDEX_Update is 0 or 1");
                writes += done;
                break;
            }
        }
    }

    // One thread's psql must not meet the server another thread restarts.
    static std::mutex& ServerChanges() {
        static std::mutex changes;
        return changes;
    }

    static void KillBackends() {
        const std::lock_guard<std::mutex> lock(ServerChanges());
        Psql("postgres", std::string("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = '") +
                             kDatabase + "';");
    }

    static void RestartServer() {
        const std::lock_guard<std::mutex> lock(ServerChanges());
        const char* dir = std::getenv("VORDEX_PG_DIR");
        const std::string script = scriptsDir + "/pg_cluster.sh";
        const std::string command = "bash " + script + " restart " + dir + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "call_fuzz: the server did not restart\n");
            std::exit(2);
        }
    }

public:
    long opens = 0, moves = 0, writes = 0;  // calls that did what they were asked

private:
    unsigned seed_;
    long steps_;
    long step_ = 0;
    std::mt19937 random_;
};

bool Flag(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return true;
    }
    return false;
}

void SetEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

long Argument(int argc, char** argv, const char* name, long fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    if (Flag(argc, argv, "--print-setup") || Flag(argc, argv, "--print-sentinels")) {
        std::fputs(Flag(argc, argv, "--print-setup") ? kSetup : kSentinels, stdout);
        return 0;
    }
    const bool databaseReady = Flag(argc, argv, "--database-ready");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--scripts") == 0) scriptsDir = argv[i + 1];
    }
    const char* driver = std::getenv("VORDEX_TEST_PG_DRIVER");
    const char* given = std::getenv("VORDEX_CONNECT");
    if (databaseReady ? given == nullptr
                      : scriptsDir.empty() || driver == nullptr || std::getenv("VORDEX_PG_DIR") == nullptr) {
        std::fprintf(stderr, "usage: vordex_call_fuzz --scripts DIR [...] (in the environment of with_cluster.sh)\n"
                             "       vordex_call_fuzz --database-ready [...] (with VORDEX_CONNECT set)\n");
        return 2;
    }
    const auto seed = static_cast<unsigned>(Argument(argc, argv, "--seed", 1));
    const long steps = Argument(argc, argv, "--steps", 2000);
    const long threads = Argument(argc, argv, "--threads", 1);
    const long killEvery = databaseReady ? 0 : Argument(argc, argv, "--kill-every", 250);
    const long restartEvery = databaseReady ? 0 : Argument(argc, argv, "--restart-every", 0);

    std::string sentinels;
    if (!databaseReady) {
        Psql("postgres", std::string("SET client_min_messages = warning; DROP DATABASE IF EXISTS ") + kDatabase +
                             " WITH (FORCE);\nCREATE DATABASE " + kDatabase + ";");
        Psql(kDatabase, kSetup);
        sentinels = Psql(kDatabase, kSentinels);
        std::string connect = driver;
        const std::string key = "Database=vordex_test";
        connect.replace(connect.find(key), key.size(), std::string("Database=") + kDatabase);
        SetEnvironment("VORDEX_CONNECT", connect.c_str());
    }
    SetEnvironment("VORDEX_DIALOG", "none");
    // Odd seeds run as a CP932 host, even ones as a UTF-8 host.
    SetEnvironment("VORDEX_CODEPAGE", seed % 2 == 1 ? "932" : "65001");

    // Several threads break the rule of one caller at a time: the library
    // must make them wait, never fault. Their interleaving is not repeatable.
    std::vector<Fuzzer> fuzzers;
    for (long t = 0; t < threads; ++t) fuzzers.emplace_back(seed + static_cast<unsigned>(t), steps);
    if (Flag(argc, argv, "--exit-while-calling")) {
        // The process ends (the destructors of statics run) while a thread
        // is inside the library: no state it uses may be gone under it.
        std::thread([&] { fuzzers[0].Run(killEvery, 0); }).detach();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        std::printf("call_fuzz: seed %u, exit while another thread calls\n", seed);
        std::fflush(stdout);
        std::exit(0);
    }
    std::vector<std::thread> running;
    for (long t = 0; t < threads; ++t) {
        running.emplace_back([&, t] { fuzzers[static_cast<size_t>(t)].Run(killEvery, t == 0 ? restartEvery : 0); });
    }
    for (std::thread& thread : running) thread.join();
    long opens = 0, moves = 0, writes = 0;
    for (const Fuzzer& fuzzer : fuzzers) {
        opens += fuzzer.opens;
        moves += fuzzer.moves;
        writes += fuzzer.writes;
    }

    if (!databaseReady && Psql(kDatabase, kSentinels) != sentinels) {
        Fail(seed, steps, "a table the harness never names has changed");
    }
    std::printf("call_fuzz: seed %u, %ld steps x %ld threads (%ld records opened, %ld rows moved, %ld fields written):"
                " every check held%s\n",
                seed, steps, threads, opens, moves, writes,
                databaseReady ? "" : "; the other tables are unchanged");
    return 0;
}
