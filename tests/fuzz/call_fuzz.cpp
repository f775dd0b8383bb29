// Drives the 17 exported calls in random order with hostile arguments against
// a database of a private server (PostgreSQL or MariaDB) or an SQLite file,
// while backends are killed and the server restarts now and then (SQLite: a
// second connection holds the file locked instead). Built with
// AddressSanitizer and UndefinedBehaviorSanitizer, which end the run at the
// first fault. Checks what the calls promise whatever they are given, and, at
// the end, that the tables the harness never names are as they were (read
// with the data source's own client: psql, sqlite3, mariadb).
//
//   vordex_call_fuzz --scripts DIR [--driver postgres|sqlite|mariadb]
//                    [--seed N] [--steps N] [--threads 1|2]
//                    [--kill-every N] [--restart-every N] [--exit-while-calling]
//
// Needs the environment of scripts/with_cluster.sh. A failure names the seed
// and step; the same seed repeats the same calls (with one thread).
//
// Where the clients cannot be run (a Windows host under Wine), the caller
// makes the database and compares the untouched tables itself:
//   vordex_call_fuzz [--driver D] --print-setup       the SQL that makes the tables
//   vordex_call_fuzz [--driver D] --print-sentinels   the query over the untouched tables
//   vordex_call_fuzz --database-ready [--seed N] [--steps N] [--threads 1|2]
//                                         the calls alone, on VORDEX_CONNECT
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "vordex.h"

namespace {

constexpr const char* kDatabase = "vordex_fuzz";

// The tables that the harness names, and those it never names, in each
// dialect: a table of every common type, odd names, long values, an empty
// table, one in another schema, a view, and the sentinels. A name that breaks
// out of its quotes calls fz_gone(), which empties the sentinel (SQLite has no
// such function: there the broken statement fails).
constexpr const char* kPostgresSetup = R"SQL(
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

constexpr const char* kPostgresSentinels =
    "SELECT md5(string_agg(id || ':' || v, ',' ORDER BY id)) FROM sentinel UNION ALL "
    "SELECT md5(string_agg(id || ':' || v, ',' ORDER BY id)) FROM zz.sentinel;";

// No schemas: the names with a dot are whole names of one table.
constexpr const char* kSqliteSetup = R"SQL(
CREATE TABLE fz_items (id INTEGER PRIMARY KEY AUTOINCREMENT, t TEXT, n INTEGER, d DATE, ts TIMESTAMP, b BOOLEAN,
                       u UUID, vc VARCHAR(5), nu NUMERIC(8,2), bin BLOB, bits BIT(4));
WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 40)
INSERT INTO fz_items (t, n, d, ts, b, u, vc, nu, bin, bits)
    SELECT 'text ' || n, n, date('2024-01-01', '+' || n || ' days'), datetime('2024-01-01 12:00', '+' || n || ' hours'),
           n % 2 = 0, printf('%08x-0000-4000-8000-%012x', n, n * 7919), substr('v' || n, 1, 5), n * 1.5,
           CAST('bytes ' || n AS BLOB), n % 16
      FROM g;
CREATE TABLE fz_odd (id INTEGER PRIMARY KEY AUTOINCREMENT, "two words" TEXT, "it's" TEXT,
                     "v FROM sentinel; DELETE FROM sentinel; --" TEXT, "q""uote" TEXT);
INSERT INTO fz_odd VALUES (NULL, 'a', 'b', 'c', 'd'), (NULL, NULL, '', replace(hex(zeroblob(128)), '0', 'x'), 'e');
CREATE TABLE fz_long (id INTEGER PRIMARY KEY AUTOINCREMENT, note TEXT);
INSERT INTO fz_long (note) VALUES ('short'), (replace(hex(zeroblob(150)), '0', 'y')), ('after');
CREATE TABLE fz_empty (id INTEGER PRIMARY KEY AUTOINCREMENT, v TEXT);
CREATE TABLE "zz.fz_hidden" (id INTEGER PRIMARY KEY AUTOINCREMENT, v TEXT);
INSERT INTO "zz.fz_hidden" (v) VALUES ('hidden');
CREATE VIEW fz_view AS SELECT id, t FROM fz_items WHERE n < 10;
CREATE TABLE sentinel (id INTEGER PRIMARY KEY, v TEXT);
WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 20)
INSERT INTO sentinel SELECT n, 'keep ' || n FROM g;
CREATE TABLE "zz.sentinel" (id INTEGER PRIMARY KEY, v TEXT);
WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 5)
INSERT INTO "zz.sentinel" SELECT n, 'keep ' || n FROM g;
CREATE TABLE "zÁ"" WHERE fz_gone() IS NOT NULL --" (id INTEGER PRIMARY KEY AUTOINCREMENT, v TEXT);
INSERT INTO "zÁ"" WHERE fz_gone() IS NOT NULL --" (v) VALUES ('trap');
CREATE TABLE "[br" (id INTEGER PRIMARY KEY AUTOINCREMENT, "[col" TEXT);
INSERT INTO "[br" ("[col") VALUES ('bracketed');
)SQL";

constexpr const char* kSqliteSentinels =
    "SELECT group_concat(id || ':' || v, ',') FROM (SELECT id, v FROM sentinel ORDER BY id);\n"
    "SELECT group_concat(id || ':' || v, ',') FROM (SELECT id, v FROM \"zz.sentinel\" ORDER BY id);";

// Schemas are databases; quotes are backticks, and a name ends in no blank.
constexpr const char* kMariaSetup = R"SQL(
CREATE DATABASE zz CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
CREATE TABLE fz_items (id INT AUTO_INCREMENT PRIMARY KEY, t TEXT, n INT, d DATE, ts DATETIME, b BOOLEAN, u UUID,
                       vc VARCHAR(5), nu DECIMAL(8,2), bin VARBINARY(16), bits BIT(4));
INSERT INTO fz_items (t, n, d, ts, b, u, vc, nu, bin, bits)
    SELECT CONCAT('text ', seq), seq, '2024-01-01' + INTERVAL seq DAY, '2024-01-01 12:00' + INTERVAL seq HOUR,
           seq % 2 = 0, CONCAT(LEFT(m, 8), '-', MID(m, 9, 4), '-4', MID(m, 14, 3), '-8', MID(m, 18, 3), '-', RIGHT(m, 12)),
           LEFT(CONCAT('v', seq), 5), seq * 1.5, UNHEX(m), seq % 16
      FROM (SELECT seq, MD5(seq) AS m FROM seq_1_to_40) g;
CREATE TABLE fz_odd (id INT AUTO_INCREMENT PRIMARY KEY, `two words` TEXT, `it's` TEXT,
                     `v FROM sentinel; DELETE FROM sentinel; --` TEXT, `q"uote` TEXT, `b``ack` TEXT);
INSERT INTO fz_odd VALUES (DEFAULT, 'a', 'b', 'c', 'd', 'f'), (DEFAULT, NULL, '', REPEAT('x', 255), 'e', '`');
CREATE TABLE fz_long (id INT AUTO_INCREMENT PRIMARY KEY, note TEXT);
INSERT INTO fz_long (note) VALUES ('short'), (REPEAT('y', 300)), ('after');
CREATE TABLE fz_empty (id INT AUTO_INCREMENT PRIMARY KEY, v TEXT);
CREATE TABLE zz.fz_hidden (id INT AUTO_INCREMENT PRIMARY KEY, v TEXT);
INSERT INTO zz.fz_hidden (v) VALUES ('hidden');
CREATE VIEW fz_view AS SELECT id, t FROM fz_items WHERE n < 10;
CREATE TABLE sentinel (id INT PRIMARY KEY, v TEXT);
INSERT INTO sentinel SELECT seq, CONCAT('keep ', seq) FROM seq_1_to_20;
CREATE TABLE zz.sentinel (id INT PRIMARY KEY, v TEXT);
INSERT INTO zz.sentinel SELECT seq, CONCAT('keep ', seq) FROM seq_1_to_5;
DELIMITER //
CREATE FUNCTION fz_gone() RETURNS BOOLEAN MODIFIES SQL DATA BEGIN DELETE FROM sentinel; RETURN TRUE; END//
DELIMITER ;
CREATE TABLE `zÁ`` WHERE fz_gone() IS NOT NULL -- x` (id INT AUTO_INCREMENT PRIMARY KEY, v TEXT);
INSERT INTO `zÁ`` WHERE fz_gone() IS NOT NULL -- x` (v) VALUES ('trap');
CREATE DATABASE `[s` CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
CREATE TABLE `[s`.`[br` (id INT AUTO_INCREMENT PRIMARY KEY, `[col` TEXT);
INSERT INTO `[s`.`[br` (`[col`) VALUES ('bracketed');
)SQL";

constexpr const char* kMariaSentinels =
    "SELECT MD5(GROUP_CONCAT(id, ':', v ORDER BY id SEPARATOR ',')) FROM sentinel UNION ALL "
    "SELECT MD5(GROUP_CONCAT(id, ':', v ORDER BY id SEPARATOR ',')) FROM zz.sentinel;";

std::string scriptsDir;

void SetEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

/// `text` with its first `from` replaced by `to`; the run ends where there is none.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at == std::string::npos) {
        std::fprintf(stderr, "call_fuzz: no \"%s\" in \"%s\"\n", from.c_str(), text.c_str());
        std::exit(2);
    }
    return text.replace(at, from.size(), to);
}

/// The output of `command` with `sql` on its standard input; the run ends
/// when it fails, unless `mayFail`.
std::string RunClient(const std::string& command, const std::string& sql, bool mayFail = false) {
    FILE* pipe = popen((command + " 2>&1 <<'FUZZ_SQL'\n" + sql + "\nFUZZ_SQL").c_str(), "r");
    std::string output;
    char buffer[512];
    size_t n;
    while (pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if ((pipe == nullptr || pclose(pipe) != 0) && !mayFail) {
        std::fprintf(stderr, "call_fuzz: %s failed: %s\n", command.c_str(), output.c_str());
        std::exit(2);
    }
    return output;
}

void RunScript(const std::string& arguments) {
    if (std::system(("bash " + scriptsDir + "/" + arguments + " >/dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "call_fuzz: %s failed\n", arguments.c_str());
        std::exit(2);
    }
}

// ---- PostgreSQL: the private cluster -----------------------------------
std::string Psql(const char* db, const std::string& sql) {
    return RunClient(std::string("psql -X -q -A -t -v ON_ERROR_STOP=1 -d ") + db, sql);
}

std::string PostgresQuery(const std::string& sql) { return Psql(kDatabase, sql); }

std::string PostgresMake() {
    Psql("postgres", std::string("SET client_min_messages = warning; DROP DATABASE IF EXISTS ") + kDatabase +
                         " WITH (FORCE);\nCREATE DATABASE " + kDatabase + ";");
    Psql(kDatabase, kPostgresSetup);
    return Replaced(Environment("VORDEX_TEST_PG_DRIVER"), "Database=vordex_test", std::string("Database=") + kDatabase);
}

void PostgresKill() {
    Psql("postgres", std::string("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = '") +
                         kDatabase + "';");
}

void PostgresRestart() { RunScript("pg_cluster.sh restart " + Environment("VORDEX_PG_DIR")); }

// ---- SQLite: a file in a directory of the harness's own ------------------
std::filesystem::path sqliteDir;
FILE* sqliteHolder = nullptr;  // the second connection that holds the file locked

std::string SqliteFile() { return (sqliteDir / "fuzz.db").string(); }

std::string SqliteQuery(const std::string& sql) {
    return RunClient("sqlite3 -bail -batch -cmd '.timeout 30000' " + SqliteFile(), sql);
}

/// Waits for the holder of the lock to finish.
void SqliteRelease() {
    if (sqliteHolder != nullptr) pclose(sqliteHolder);
    sqliteHolder = nullptr;
}

/// Removes the directory with the file (a holder of the lock still running
/// has it open, which does not keep it).
void SqliteRemove() {
    if (sqliteDir.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(sqliteDir, ignored);
    sqliteDir.clear();
}

std::string SqliteMake() {
    // Beside the file of with_cluster.sh, so that nothing is left behind
    // even where a fault ends the run.
    const std::filesystem::path parent = std::filesystem::path(Environment("VORDEX_TEST_SQLITE_FILE")).parent_path();
    std::random_device entropy;
    for (int tries = 0; sqliteDir.empty() && tries < 100; ++tries) {
        const std::filesystem::path candidate = parent / ("fuzz-" + std::to_string(entropy()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) sqliteDir = candidate;
    }
    if (sqliteDir.empty()) {
        std::fprintf(stderr, "call_fuzz: could not make a directory in %s\n", parent.string().c_str());
        std::exit(2);
    }
    std::atexit(SqliteRemove);
    SqliteQuery(kSqliteSetup);
    return "DRIVER={SQLite3};Database=" + SqliteFile();
}

// No backend to kill: another connection takes the write lock for a second,
// and the calls meanwhile wait for it or give up.
void SqliteKill() {
    SqliteRelease();
    const std::string holder =
        "{ (echo 'BEGIN EXCLUSIVE;'; sleep 1; echo 'COMMIT;') | sqlite3 -batch -cmd '.timeout 30000' " + SqliteFile() +
        "; } >/dev/null 2>&1";
    sqliteHolder = popen(holder.c_str(), "r");
}

// ---- MariaDB: the private server ---------------------------------------
std::string Mariadb(const char* db, const std::string& sql, bool mayFail = false) {
    return RunClient("mariadb --no-defaults --default-character-set=utf8mb4 -S " + Environment("MARIA_SOCKET") +
                         " -uroot --batch --skip-column-names --raw" + (mayFail ? " --force " : " ") + db,
                     sql, mayFail);
}

std::string MariaQuery(const std::string& sql) { return Mariadb(kDatabase, sql); }

std::string MariaMake() {
    Mariadb("mysql", std::string("DROP DATABASE IF EXISTS zz; DROP DATABASE IF EXISTS `[s`; DROP DATABASE IF EXISTS ") +
                         kDatabase + "; CREATE DATABASE " + kDatabase + " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;");
    Mariadb(kDatabase, kMariaSetup);
    return Replaced(Environment("VORDEX_TEST_MARIA_DRIVER"), "Database=" + Environment("MARIA_DATABASE"),
                    std::string("Database=") + kDatabase);
}

void MariaKill() {
    const std::string ids = Mariadb("mysql", std::string("SELECT id FROM information_schema.processlist WHERE db = '") +
                                                 kDatabase + "' AND id <> CONNECTION_ID();");
    std::string kills;
    for (size_t at = 0, end; at < ids.size(); at = end + 1) {
        end = ids.find('\n', at);
        if (end == std::string::npos) end = ids.size();
        if (end > at) kills += "KILL " + ids.substr(at, end - at) + ";\n";
    }
    // A connection may end by itself before its KILL.
    if (!kills.empty()) Mariadb("mysql", kills, true);
}

void MariaRestart() {
    const std::string socket = Environment("MARIA_SOCKET");
    const std::string dir = Replaced(socket, "/maria/socket", "");
    RunScript("maria_server.sh stop " + dir);
    RunScript("maria_server.sh start " + dir);
    // The server takes the first free port again, which may be another one
    // than before. Only an existing variable is set: glibc replaces its
    // entry, and a caller reading it at that moment finds either value.
    const std::string port = Mariadb("mysql", "SELECT @@port;");
    const std::string connect = Environment("VORDEX_CONNECT");
    const size_t at = connect.find(";Port=");
    if (at == std::string::npos) return;
    const size_t end = connect.find(';', at + 1);
    const std::string updated = connect.substr(0, at) + ";Port=" + port.substr(0, port.find('\n')) +
                                (end == std::string::npos ? "" : connect.substr(end));
    if (updated != connect) SetEnvironment("VORDEX_CONNECT", updated.c_str());
}

/// What differs between the data sources.
struct Dialect {
    const char* name;                              // as --driver names it
    const char* needs[3];                          // variables of with_cluster.sh's environment
    const char* setup;                             // the tables, for the client
    const char* sentinels;                         // the untouched tables, as text
    std::string (*make)();                         // a fresh database with the tables: its connect string
    std::string (*query)(const std::string& sql);  // the client's output on that database
    void (*kill)();                                // kills the library's connections, or gets in their way
    void (*restart)();                             // restarts the server; none where there is none
    void (*finish)();                              // before the sentinels are read
};

void Nothing() {}

// clang-format off
const Dialect kDialects[] = {
    {"postgres", {"VORDEX_TEST_PG_DRIVER", "VORDEX_PG_DIR"}, kPostgresSetup, kPostgresSentinels,
     PostgresMake, PostgresQuery, PostgresKill, PostgresRestart, Nothing},
    {"sqlite", {"VORDEX_TEST_SQLITE_FILE"}, kSqliteSetup, kSqliteSentinels,
     SqliteMake, SqliteQuery, SqliteKill, nullptr, SqliteRelease},
    {"mariadb", {"VORDEX_TEST_MARIA_DRIVER", "MARIA_SOCKET", "MARIA_DATABASE"}, kMariaSetup, kMariaSentinels,
     MariaMake, MariaQuery, MariaKill, MariaRestart, Nothing},
};
// clang-format on

const char* const kNoNeeds[3] = {};
const Dialect* dialect = &kDialects[0];

void Fail(unsigned seed, long step, const std::string& what) {
    std::fprintf(stderr, "call_fuzz: FAILED at seed %u, step %ld: %s\n", seed, step, what.c_str());
    std::fflush(stderr);
    std::_Exit(1);  // another thread may be inside the library: no unload under it
}

/// One run of random calls; `seed` makes it repeatable.
class Fuzzer {
public:
    Fuzzer(unsigned seed, long steps, long threads) : seed_(seed), steps_(steps), threads_(threads), random_(seed) {}

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

    // The tables of names and values are laid out by hand.
    // clang-format off
    std::string Name() {
        static const char* const kNames[] = {
            "fz_items", "fz_odd", "fz_long", "fz_empty", "fz_view", "zz.fz_hidden", "public.fz_items", "fz_hidden",
            "", "nosuch", "FZ_ITEMS", "fz_%", "fz\\_items", "sentinel\"; DELETE FROM sentinel; --",
            "fz_items; DELETE FROM sentinel", "\xff\xfe\x81", "line\nbreak", "[fz_items]", "'fz_items'",
            "z\xC3\x81\" WHERE fz_gone() IS NOT NULL --", "[br", "[s.[br", "\x83\x65\x81\x5B\x83\x75", "\x81\"x",
            "z\xC3\x81` WHERE fz_gone() IS NOT NULL -- x", "\x81`x", "zz.fz_%", "fz_odd`; DELETE FROM sentinel; --"};
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

    // clang-format on

    static size_t TextLength(const char* text, size_t limit) {
        const void* end = std::memchr(text, '\0', limit);
        return end == nullptr ? limit : static_cast<size_t>(static_cast<const char*>(end) - text);
    }

    void CheckText(const char* text, const char* what) {
        Check(text != nullptr, what);
        // Reads it through: a freed or cut text faults here. A text stays
        // valid only until the next call from any thread, so only a lone
        // caller can read it after the call.
        if (threads_ == 1) TextLength(text, 1 << 20);
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
    // clang-format off
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

    // clang-format on

    // One thread's client must not meet the server another thread restarts.
    static std::mutex& ServerChanges() {
        static std::mutex changes;
        return changes;
    }

    static void KillBackends() {
        const std::lock_guard<std::mutex> lock(ServerChanges());
        dialect->kill();
    }

    static void RestartServer() {
        const std::lock_guard<std::mutex> lock(ServerChanges());
        if (dialect->restart != nullptr) dialect->restart();
    }

public:
    long opens = 0, moves = 0, writes = 0;  // calls that did what they were asked

private:
    unsigned seed_;
    long steps_;
    long threads_;  // how many call at once
    long step_ = 0;
    std::mt19937 random_;
};

bool Flag(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return true;
    }
    return false;
}

std::string Text(int argc, char** argv, const char* name, const char* fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    }
    return fallback;
}

long Argument(int argc, char** argv, const char* name, long fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string driver = Text(argc, argv, "--driver", "postgres");
    dialect = nullptr;
    for (const Dialect& known : kDialects) {
        if (driver == known.name) dialect = &known;
    }
    if (dialect != nullptr && (Flag(argc, argv, "--print-setup") || Flag(argc, argv, "--print-sentinels"))) {
        std::fputs(Flag(argc, argv, "--print-setup") ? dialect->setup : dialect->sentinels, stdout);
        return 0;
    }
    const bool databaseReady = Flag(argc, argv, "--database-ready");
    scriptsDir = Text(argc, argv, "--scripts", "");
    bool ready = dialect != nullptr && (databaseReady ? std::getenv("VORDEX_CONNECT") != nullptr : !scriptsDir.empty());
    for (const char* name : dialect == nullptr || databaseReady ? kNoNeeds : dialect->needs) {
        ready = ready && (name == nullptr || std::getenv(name) != nullptr);
    }
    if (!ready) {
        std::fprintf(stderr,
                     "usage: vordex_call_fuzz --scripts DIR [--driver postgres|sqlite|mariadb] [...]"
                     " (in the environment of with_cluster.sh)\n"
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
        const std::string connect = dialect->make();
        sentinels = dialect->query(dialect->sentinels);
        SetEnvironment("VORDEX_CONNECT", connect.c_str());
    }
    SetEnvironment("VORDEX_DIALOG", "none");
    // Odd seeds run as a CP932 host, even ones as a UTF-8 host.
    SetEnvironment("VORDEX_CODEPAGE", seed % 2 == 1 ? "932" : "65001");

    // Several threads break the rule of one caller at a time: the library
    // must make them wait, never fault. Their interleaving is not repeatable.
    std::vector<Fuzzer> fuzzers;
    for (long t = 0; t < threads; ++t) fuzzers.emplace_back(seed + static_cast<unsigned>(t), steps, threads);
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

    if (!databaseReady) {
        dialect->finish();
        const std::string now = dialect->query(dialect->sentinels);
        if (now != sentinels) {
            Fail(seed, steps, "a table the harness never names has changed:\n" + sentinels + "became\n" + now);
        }
    }
    std::printf(
        "call_fuzz: seed %u, %ld steps x %ld threads (%ld records opened, %ld rows moved, %ld fields written):"
        " every check held%s%s\n",
        seed, steps, threads, opens, moves, writes, databaseReady ? "" : "; the other tables are unchanged on ",
        databaseReady ? "" : dialect->name);
    return 0;
}
