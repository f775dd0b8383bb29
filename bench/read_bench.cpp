// The read benchmark: libvordex as a host uses it, against the same ODBC
// calls made by hand, on the same table in one run.
//
//   vordex_read_bench --library PATH --data CONNECT --catalog CONNECT
//                     [--table NAME] [--repetitions N]
//
// runs the standard cases (A, A', B, C and the catalog D) and prints the full
// report;
//
//   vordex_read_bench --library PATH --data CONNECT --cases NAME,NAME...
//                     [--label TEXT] [--table NAME] [--repetitions N]
//
// runs only the named reading cases and prints one line per case (what
// bench/large.sh collects): open, time to the first row, peak memory, the
// walk, and for each library case its walk CPU over that of the first ODBC
// case in the list, paired per round. A case that fails in the warm-up round
// is reported as failed and the others still run.
//
// Every measurement runs in a fresh process (this program started again with
// --case NAME), so each one loads the library anew and has a peak memory of
// its own. The report gives medians over the repetitions; the cases take
// turns within each round so that drift of the machine spreads over all.
//
//   vordex_read_bench --case NAME ...   runs one measurement and prints it
//
// which is what to hand to valgrind: built with valgrind's headers, a case
// collects callgrind costs only while it walks the rows (start callgrind with
// --collect-atstart=no).
#include <dlfcn.h>
#include <sqlext.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "odbc_reader.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define WALK_COLLECT_TOGGLE() CALLGRIND_TOGGLE_COLLECT
#else
#define WALK_COLLECT_TOGGLE() ((void)0)
#endif

namespace {

using vordex_bench::OdbcReader;

// ---- options -----------------------------------------------------------------

struct Options {
    std::string library;
    std::string data;
    std::string catalog;
    std::string table = "bench_rows";
    int repetitions = 11;
    std::vector<std::string> cases;  // empty: the standard cases and report
    std::string label;               // first column of the --cases lines
    std::string caseName;            // set in a child
    int lastRow = 0;                 // lib-seek: the table's last row (0-based)
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "vordex_read_bench: %s\n"
                 "usage: vordex_read_bench --library PATH --data CONNECT --catalog CONNECT\n"
                 "                         [--table NAME] [--repetitions N] [--case NAME]\n"
                 "       vordex_read_bench --library PATH --data CONNECT --cases NAME,NAME...\n"
                 "                         [--label TEXT] [--table NAME] [--repetitions N]\n"
                 "       vordex_read_bench --library PATH --data CONNECT --case lib-seek --last-row N\n",
                 why);
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (i + 1 >= argc) Usage(("missing value after " + key).c_str());
        const std::string value = argv[++i];
        if (key == "--library") {
            options.library = value;
        } else if (key == "--data") {
            options.data = value;
        } else if (key == "--catalog") {
            options.catalog = value;
        } else if (key == "--table") {
            options.table = value;
        } else if (key == "--repetitions") {
            options.repetitions = std::atoi(value.c_str());
            if (options.repetitions < 1) Usage("--repetitions must be at least 1");
        } else if (key == "--case") {
            options.caseName = value;
        } else if (key == "--cases") {
            std::istringstream list(value);
            std::string name;
            while (std::getline(list, name, ',')) {
                if (!name.empty()) options.cases.push_back(name);
            }
            if (options.cases.empty()) Usage("--cases wants case names");
        } else if (key == "--label") {
            options.label = value;
        } else if (key == "--last-row") {
            options.lastRow = std::atoi(value.c_str());
        } else {
            Usage(("unknown option " + key).c_str());
        }
    }
    return options;
}

// ---- one measurement -----------------------------------------------------------

/// Process CPU time and wall time at one instant, in seconds.
struct Stamp {
    double cpu;
    double wall;
};

Stamp Now() {
    timespec cpu{}, wall{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    clock_gettime(CLOCK_MONOTONIC, &wall);
    return {static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9,
            static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) * 1e-9};
}

/// What one case reports: named figures, printed as `key=value` pairs.
using Figures = std::map<std::string, double>;

void AddPhase(Figures& figures, const std::string& phase, const Stamp& from, const Stamp& to) {
    figures[phase + "_cpu"] = to.cpu - from.cpu;
    figures[phase + "_wall"] = to.wall - from.wall;
}

/// The phases of a read: open (VORDEX_Open, or connect and SQLColumns),
/// first (VORDEX_OpenRec, or prepare, execute, bind and the first fetch),
/// walk (every further row), and open + first as `open` for the full report.
void AddReadPhases(Figures& figures, const Stamp& start, const Stamp& described, const Stamp& first,
                   const Stamp& walked) {
    AddPhase(figures, "columns", start, described);
    AddPhase(figures, "first", described, first);
    AddPhase(figures, "open", start, first);
    AddPhase(figures, "walk", first, walked);
}

/// The exports a host resolves, loaded with dlopen as any host does.
struct Library {
    int (*Table)();
    const char* (*GetTableList)(int);
    int (*Open)(const char*);
    int (*OpenRec)();
    int (*IsEOF)();
    int (*MoveNext)();
    int (*Seek)(int);
    const char* (*GetData)(int);
    int (*ListText)(char*, int);
    void (*Close)();
};

template <class Function>
void Resolve(void* handle, const char* name, Function*& slot) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) throw std::runtime_error(std::string("the library does not export ") + name);
    slot = reinterpret_cast<Function*>(symbol);
}

Library LoadLibrary(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
    Library lib{};
    Resolve(handle, "VORDEX_Table", lib.Table);
    Resolve(handle, "VORDEX_GetTableList", lib.GetTableList);
    Resolve(handle, "VORDEX_Open", lib.Open);
    Resolve(handle, "VORDEX_OpenRec", lib.OpenRec);
    Resolve(handle, "VORDEX_IsEOF", lib.IsEOF);
    Resolve(handle, "VORDEX_MoveNext", lib.MoveNext);
    Resolve(handle, "VORDEX_GetData", lib.GetData);
    Resolve(handle, "VORDEX_ListText", lib.ListText);
    Resolve(handle, "VORDEX_Seek", lib.Seek);
    Resolve(handle, "VORDEX_Close", lib.Close);
    return lib;
}

enum class HostRead { ListText, GetData };

/// A: the library as a host drives it. Per row the host reads the values
/// (all at once with VORDEX_ListText, or one by one with VORDEX_GetData and
/// strlen), then moves on until VORDEX_IsEOF.
Figures LibraryWalk(const Options& options, HostRead read) {
    const Library lib = LoadLibrary(options.library);
    Figures figures;
    const Stamp start = Now();
    const int columns = lib.Open(options.table.c_str());
    const Stamp described = Now();
    if (columns <= 0) throw std::runtime_error("VORDEX_Open(" + options.table + ") failed");
    if (lib.OpenRec() != 1) throw std::runtime_error("VORDEX_OpenRec failed");
    const Stamp opened = Now();

    const int values = std::min(columns, 32);
    static char buffer[65536];
    uint64_t bytes = 0;
    long rows = 0;
    WALK_COLLECT_TOGGLE();
    while (!lib.IsEOF()) {
        if (read == HostRead::ListText) {
            const int listed = lib.ListText(buffer, sizeof buffer);
            if (listed != values) throw std::runtime_error("VORDEX_ListText listed a wrong number of values");
            bytes += std::strlen(buffer) - static_cast<size_t>(listed);  // the separators are not value bytes
        } else {
            for (int i = 0; i < values; ++i) bytes += std::strlen(lib.GetData(i));
        }
        ++rows;
        if (lib.MoveNext() != 1) throw std::runtime_error("VORDEX_MoveNext failed");
    }
    WALK_COLLECT_TOGGLE();
    const Stamp walked = Now();
    lib.Close();

    AddReadPhases(figures, start, described, opened, walked);
    figures["rows"] = static_cast<double>(rows);
    figures["bytes"] = static_cast<double>(bytes);
    return figures;
}

/// E: the library's seeks on a table just opened: past the last row (every
/// row's key is read on the way), to the last row and back to the first.
Figures LibrarySeeks(const Options& options) {
    const Library lib = LoadLibrary(options.library);
    Figures figures;
    if (lib.Open(options.table.c_str()) <= 0 || lib.OpenRec() != 1) {
        throw std::runtime_error("opening " + options.table + " failed");
    }
    const Stamp opened = Now();
    if (lib.Seek(INT_MAX - 1) != 1 || lib.IsEOF() != 1) throw std::runtime_error("the seek past the end failed");
    const Stamp atEnd = Now();
    if (lib.Seek(options.lastRow) != 1 || lib.IsEOF() != 0) throw std::runtime_error("the seek to the last row failed");
    const Stamp atLast = Now();
    if (lib.Seek(0) != 1 || lib.IsEOF() != 0) throw std::runtime_error("the seek to the first row failed");
    const Stamp atFirst = Now();
    lib.Close();
    AddPhase(figures, "seek_end", opened, atEnd);
    AddPhase(figures, "seek_last", atEnd, atLast);
    AddPhase(figures, "seek_first", atLast, atFirst);
    return figures;
}

/// B and C: the same table through ODBC calls made by hand.
Figures OdbcWalk(const Options& options, OdbcReader::Cursor cursor) {
    OdbcReader reader;
    Figures figures;
    const Stamp start = Now();
    reader.Connect(options.data);
    reader.Describe(options.table);
    const Stamp described = Now();
    reader.Execute(cursor);
    uint64_t bytes = 0;
    long rows = reader.Walk(1, bytes);
    const Stamp opened = Now();
    WALK_COLLECT_TOGGLE();
    if (rows == 1) rows += reader.Walk(0, bytes);
    WALK_COLLECT_TOGGLE();
    const Stamp walked = Now();
    figures["cursor_type"] = static_cast<double>(reader.GrantedCursorType());
    figures["concurrency"] = static_cast<double>(reader.Concurrency());
    figures["concurrency_granted"] = static_cast<double>(reader.GrantedConcurrency());
    reader.Close();

    AddReadPhases(figures, start, described, opened, walked);
    figures["rows"] = static_cast<double>(rows);
    figures["bytes"] = static_cast<double>(bytes);
    return figures;
}

/// D: VORDEX_Table (which connects anew), then VORDEX_Open of every table it
/// listed.
Figures CatalogWalk(const Options& options) {
    const Library lib = LoadLibrary(options.library);
    Figures figures;
    const Stamp start = Now();
    const int tables = lib.Table();
    const Stamp listed = Now();
    if (tables <= 0) throw std::runtime_error("VORDEX_Table listed nothing");
    std::vector<std::string> names;
    for (int i = 0; i < tables; ++i) names.emplace_back(lib.GetTableList(i));
    long columns = 0;
    const Stamp opening = Now();
    for (const std::string& name : names) {
        const int count = lib.Open(name.c_str());
        if (count <= 0) throw std::runtime_error("VORDEX_Open(" + name + ") failed");
        columns += count;
    }
    const Stamp opened = Now();
    lib.Close();

    AddPhase(figures, "table", start, listed);
    AddPhase(figures, "open_all", opening, opened);
    figures["tables"] = tables;
    figures["columns"] = static_cast<double>(columns);
    return figures;
}

enum class Kind { Library, Odbc, Catalog };

struct Case {
    const char* name;
    const char* title;
    std::function<Figures(const Options&)> run;
    Kind kind;
    bool standard;  // one of the cases of the full report
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"lib-listtext", "A  library, VORDEX_ListText per row",
         [](const Options& o) { return LibraryWalk(o, HostRead::ListText); }, Kind::Library, true},
        {"lib-getdata", "A' library, VORDEX_GetData per field",
         [](const Options& o) { return LibraryWalk(o, HostRead::GetData); }, Kind::Library, true},
        {"odbc-library", "B  ODBC by hand, the library's calls",
         [](const Options& o) { return OdbcWalk(o, OdbcReader::Cursor::Library); }, Kind::Odbc, true},
        {"odbc-keyset", "K  ODBC by hand, keyset-driven cursor",
         [](const Options& o) { return OdbcWalk(o, OdbcReader::Cursor::Keyset); }, Kind::Odbc, true},
        {"odbc-forward", "C  ODBC by hand, forward-only SQLFetch",
         [](const Options& o) { return OdbcWalk(o, OdbcReader::Cursor::ForwardOnly); }, Kind::Odbc, true},
        {"catalog", "D  catalog", [](const Options& o) { return CatalogWalk(o); }, Kind::Catalog, true},
        {"lib-seek", "E  library, VORDEX_Seek past the last row and back to the first",
         [](const Options& o) { return LibrarySeeks(o); }, Kind::Library, false},
    };
    return cases;
}

const Case& FindCase(const std::string& name) {
    for (const Case& c : Cases()) {
        if (name == c.name) return c;
    }
    Usage(("unknown case " + name).c_str());
}

int RunCase(const Options& options) {
    const Case& c = FindCase(options.caseName);
    // The case's own data source: the library reads VORDEX_CONNECT.
    setenv("VORDEX_CONNECT", (c.kind == Kind::Catalog ? options.catalog : options.data).c_str(), 1);
    try {
        const Figures figures = c.run(options);
        for (const auto& [key, value] : figures) std::printf("%s=%.9g ", key.c_str(), value);
        std::printf("\n");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vordex_read_bench: %s: %s\n", c.name, e.what());
        return 1;
    }
}

// ---- the driver ----------------------------------------------------------------

/// Runs one case in a fresh process of this program and parses its line;
/// adds the child's peak resident memory as the kernel accounted it.
Figures RunChild(const Options& options, const Case& c) {
    std::vector<std::string> args = {"vordex_read_bench", "--case",  c.name,       "--library",
                                     options.library,     "--data",  options.data, "--catalog",
                                     options.catalog,     "--table", options.table};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string output;
    char chunk[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], chunk, sizeof chunk)) > 0) output.append(chunk, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(std::string("case ") + c.name + " failed");
    }
    Figures figures;
    std::istringstream fields(output);
    std::string field;
    while (fields >> field) {
        const size_t eq = field.find('=');
        if (eq != std::string::npos) figures[field.substr(0, eq)] = std::stod(field.substr(eq + 1));
    }
    figures["peak_kb"] = static_cast<double>(usage.ru_maxrss);
    return figures;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

/// Every run of every case, by case name.
using Runs = std::map<std::string, std::vector<Figures>>;

double MedianOf(const Runs& runs, const std::string& name, const std::string& key) {
    std::vector<double> values;
    for (const Figures& f : runs.at(name)) values.push_back(f.at(key));
    return Median(values);
}

double MaxOf(const Runs& runs, const std::string& name, const std::string& key) {
    double highest = 0;
    for (const Figures& f : runs.at(name)) highest = std::max(highest, f.at(key));
    return highest;
}

double MedianSum(const Runs& runs, const std::string& name, const std::string& a, const std::string& b) {
    std::vector<double> values;
    for (const Figures& f : runs.at(name)) values.push_back(f.at(a) + f.at(b));
    return Median(values);
}

/// The walk-CPU ratio of two cases within each round (they ran minutes
/// apart at most): its median, lowest and highest show how far the machine's
/// noise reaches.
std::string PairedWalkCpu(const Runs& runs, const std::string& a, const std::string& b) {
    std::vector<double> ratios;
    const std::vector<Figures>& as = runs.at(a);
    const std::vector<Figures>& bs = runs.at(b);
    for (size_t i = 0; i < as.size() && i < bs.size(); ++i)
        ratios.push_back(as[i].at("walk_cpu") / bs[i].at("walk_cpu"));
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    char text[64];
    std::snprintf(text, sizeof text, "%.3f [%.3f, %.3f]", Median(ratios), *low, *high);
    return text;
}

void Report(const Options& options, const Runs& runs) {
    const double rows = runs.at("odbc-library").front().at("rows");
    std::printf("\nVORDEX read benchmark: table %s, %.0f rows, medians of %d runs (each in a fresh process)\n",
                options.table.c_str(), rows, options.repetitions);
    std::printf("CPU = process CPU time (user+system) of the reading process; the server's time is not in it.\n\n");
    std::printf("%-40s %9s %9s %9s %9s %10s %9s\n", "case", "open CPU", "open wall", "walk CPU", "walk wall", "CPU/row",
                "peak RSS");
    std::printf("%-40s %9s %9s %9s %9s %10s %9s\n", "", "ms", "ms", "ms", "ms", "us", "MiB");
    for (const Case& c : Cases()) {
        if (!c.standard || c.kind == Kind::Catalog) continue;
        const double walkCpu = MedianOf(runs, c.name, "walk_cpu");
        std::printf("%-40s %9.1f %9.1f %9.1f %9.1f %10.3f %9.1f\n", c.title, MedianOf(runs, c.name, "open_cpu") * 1e3,
                    MedianOf(runs, c.name, "open_wall") * 1e3, walkCpu * 1e3, MedianOf(runs, c.name, "walk_wall") * 1e3,
                    walkCpu / rows * 1e6, MedianOf(runs, c.name, "peak_kb") / 1024);
    }

    std::printf("\n%-20s %9s %9s %14s %14s   %s\n", "ratio of medians", "walk CPU", "walk wall", "open+walk CPU",
                "open+walk wall", "walk CPU in each round: median [min, max]");
    auto ratio = [&](const char* title, const char* a, const char* b) {
        std::printf("%-20s %9.3f %9.3f %14.3f %14.3f   %s\n", title,
                    MedianOf(runs, a, "walk_cpu") / MedianOf(runs, b, "walk_cpu"),
                    MedianOf(runs, a, "walk_wall") / MedianOf(runs, b, "walk_wall"),
                    MedianSum(runs, a, "open_cpu", "walk_cpu") / MedianSum(runs, b, "open_cpu", "walk_cpu"),
                    MedianSum(runs, a, "open_wall", "walk_wall") / MedianSum(runs, b, "open_wall", "walk_wall"),
                    PairedWalkCpu(runs, a, b).c_str());
    };
    ratio("A  / B  (ListText)", "lib-listtext", "odbc-library");
    ratio("A' / B  (GetData)", "lib-getdata", "odbc-library");
    ratio("A  / C  (ListText)", "lib-listtext", "odbc-forward");
    ratio("A' / C  (GetData)", "lib-getdata", "odbc-forward");
    ratio("B  / C", "odbc-library", "odbc-forward");
    ratio("K  / B", "odbc-keyset", "odbc-library");
    std::printf(
        "(open = VORDEX_Open + VORDEX_OpenRec for A: it connects, lists the columns through SQLColumns,\n"
        " executes and fetches the first row; for B and C: connect, SQLColumns, prepare, execute, bind and\n"
        " the first fetch. walk = every further row. K: what psqlODBC's keyset-driven cursor would cost.)\n");

    const Figures& catalog = runs.at("catalog").front();
    const double tables = catalog.at("tables");
    std::printf("\nD  catalog: %.0f tables, %.0f columns in all\n", tables, catalog.at("columns"));
    std::printf("%-40s %9s %9s %9s\n", "", "CPU ms", "wall ms", "peak MiB");
    std::printf("%-40s %9.2f %9.2f %9.1f\n", "VORDEX_Table (connects, lists tables)",
                MedianOf(runs, "catalog", "table_cpu") * 1e3, MedianOf(runs, "catalog", "table_wall") * 1e3,
                MedianOf(runs, "catalog", "peak_kb") / 1024);
    std::printf("%-40s %9.2f %9.2f\n", "VORDEX_Open, every table", MedianOf(runs, "catalog", "open_all_cpu") * 1e3,
                MedianOf(runs, "catalog", "open_all_wall") * 1e3);
    std::printf("%-40s %9.2f %9.2f\n", "VORDEX_Open, one table (mean)",
                MedianOf(runs, "catalog", "open_all_cpu") / tables * 1e3,
                MedianOf(runs, "catalog", "open_all_wall") / tables * 1e3);
}

/// All read cases must have read the same rows and value bytes as the
/// reference case.
void CheckSameData(const Runs& runs, const std::string& referenceCase) {
    const Figures& reference = runs.at(referenceCase).front();
    for (const auto& [name, list] : runs) {
        for (const Figures& f : list) {
            if (f.count("rows") == 0) continue;
            if (f.at("rows") != reference.at("rows") || f.at("bytes") != reference.at("bytes")) {
                throw std::runtime_error("case " + name + " read other data than " + referenceCase +
                                         " (rows or bytes differ)");
            }
        }
    }
    if (reference.at("rows") <= 0) throw std::runtime_error("the table is empty");
}

int DriveStandard(const Options& options) {
    if (options.library.empty() || options.data.empty() || options.catalog.empty()) {
        Usage("--library, --data and --catalog are required");
    }
    std::vector<Case> cases;
    for (const Case& c : Cases()) {
        if (c.standard) cases.push_back(c);
    }
    Runs runs;
    // One round to warm the server's caches; its figures are dropped.
    std::fprintf(stderr, "warm-up");
    for (const Case& c : cases) RunChild(options, c);
    for (int round = 0; round < options.repetitions; ++round) {
        std::fprintf(stderr, ", %d", round + 1);
        // Rotate the order so that no case always runs first or last.
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[(i + static_cast<size_t>(round)) % cases.size()];
            runs[c.name].push_back(RunChild(options, c));
        }
    }
    std::fprintf(stderr, "\n");
    CheckSameData(runs, "odbc-library");
    Report(options, runs);
    return 0;
}

const char* CursorTypeName(double type) {
    switch (static_cast<int>(type)) {
        case SQL_CURSOR_FORWARD_ONLY:
            return "forward-only";
        case SQL_CURSOR_KEYSET_DRIVEN:
            return "keyset";
        case SQL_CURSOR_DYNAMIC:
            return "dynamic";
        case SQL_CURSOR_STATIC:
            return "static";
        default:
            return "?";
    }
}

const char* ConcurrencyName(double concurrency) {
    switch (static_cast<int>(concurrency)) {
        case SQL_CONCUR_READ_ONLY:
            return "read-only";
        case SQL_CONCUR_LOCK:
            return "lock";
        case SQL_CONCUR_ROWVER:
            return "rowver";
        case SQL_CONCUR_VALUES:
            return "values";
        default:
            return "?";
    }
}

/// What the driver granted to a case of hand-made calls: cursor type and
/// concurrency, as "static/lock".
std::string GrantedCursor(const Figures& figures) {
    if (figures.count("cursor_type") == 0) return "(library)";
    std::string text = CursorTypeName(figures.at("cursor_type"));
    if (figures.count("concurrency_granted") != 0)
        text += std::string("/") + ConcurrencyName(figures.at("concurrency_granted"));
    return text;
}

/// The lines of the --cases report: a header, then one line per case.
void ReportCases(const Options& options, const std::vector<Case>& cases, const Runs& runs,
                 const std::map<std::string, std::string>& failed) {
    std::printf("%-8s %-13s %-22s %8s %8s %15s %15s %9s %9s %8s  %s\n", "label", "case", "cursor granted", "rows",
                "open", "first row", "peak RSS", "walk CPU", "walk wall", "CPU/row", "walk CPU / raw, per round");
    std::printf("%-8s %-13s %-22s %8s %8s %15s %15s %9s %9s %8s  %s\n", "", "", "", "", "ms", "ms med (max)",
                "MiB med (max)", "ms", "ms", "us", "median [min, max]");
    std::string raw;
    for (const Case& c : cases) {
        if (c.kind == Kind::Odbc && failed.count(c.name) == 0) {
            raw = c.name;
            break;
        }
    }
    const std::string label = options.label.empty() ? "-" : options.label;
    for (const Case& c : cases) {
        const auto failure = failed.find(c.name);
        if (failure != failed.end()) {
            std::printf("%-8s %-13s failed: %s\n", label.c_str(), c.name, failure->second.c_str());
            continue;
        }
        const Figures& first = runs.at(c.name).front();
        const double rows = first.at("rows");
        const double walkCpu = MedianOf(runs, c.name, "walk_cpu");
        char firstRow[32], peak[32];
        std::snprintf(firstRow, sizeof firstRow, "%.1f (%.1f)", MedianOf(runs, c.name, "first_wall") * 1e3,
                      MaxOf(runs, c.name, "first_wall") * 1e3);
        std::snprintf(peak, sizeof peak, "%.1f (%.1f)", MedianOf(runs, c.name, "peak_kb") / 1024,
                      MaxOf(runs, c.name, "peak_kb") / 1024);
        const std::string ratio =
            c.kind == Kind::Library && !raw.empty() ? PairedWalkCpu(runs, c.name, raw) + " vs " + raw : std::string();
        std::printf("%-8s %-13s %-22s %8.0f %8.1f %15s %15s %9.1f %9.1f %8.3f  %s\n", label.c_str(), c.name,
                    GrantedCursor(first).c_str(), rows, MedianOf(runs, c.name, "columns_wall") * 1e3, firstRow, peak,
                    walkCpu * 1e3, MedianOf(runs, c.name, "walk_wall") * 1e3, rows > 0 ? walkCpu / rows * 1e6 : 0.0,
                    ratio.c_str());
    }
}

/// Runs the cases named by --cases. A case that fails in the warm-up round
/// is left out of the rounds and reported as failed.
int DriveCases(const Options& options) {
    if (options.library.empty() || options.data.empty()) Usage("--library and --data are required");
    std::vector<Case> cases;
    for (const std::string& name : options.cases) {
        const Case& c = FindCase(name);
        if (c.kind == Kind::Catalog) Usage("--cases takes reading cases only");
        for (const Case& listed : cases) {
            if (name == listed.name) Usage(("--cases names " + name + " twice").c_str());
        }
        cases.push_back(c);
    }
    std::map<std::string, std::string> failed;
    std::vector<Case> running;
    std::fprintf(stderr, "warm-up");
    for (const Case& c : cases) {
        try {
            RunChild(options, c);
            running.push_back(c);
        } catch (const std::exception& e) {
            failed[c.name] = e.what();
        }
    }
    Runs runs;
    for (int round = 0; round < options.repetitions && !running.empty(); ++round) {
        std::fprintf(stderr, ", %d", round + 1);
        for (size_t i = 0; i < running.size(); ++i) {
            const Case& c = running[(i + static_cast<size_t>(round)) % running.size()];
            runs[c.name].push_back(RunChild(options, c));
        }
    }
    std::fprintf(stderr, "\n");
    if (!running.empty()) CheckSameData(runs, running.front().name);
    ReportCases(options, cases, runs, failed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (!options.caseName.empty()) return RunCase(options);
    try {
        return options.cases.empty() ? DriveStandard(options) : DriveCases(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vordex_read_bench: %s\n", e.what());
        return 1;
    }
}
