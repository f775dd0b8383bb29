// The read benchmark: libvordex as a host uses it, against the same ODBC
// calls made by hand, on the same table in one run.
//
//   vordex_read_bench --library PATH --data CONNECT --catalog CONNECT
//                     [--table NAME] [--repetitions N]
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
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    std::string caseName;  // set in a child
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "vordex_read_bench: %s\n"
                 "usage: vordex_read_bench --library PATH --data CONNECT --catalog CONNECT\n"
                 "                         [--table NAME] [--repetitions N] [--case NAME]\n",
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

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// The exports a host resolves, loaded with dlopen as any host does.
struct Library {
    int (*Table)();
    const char* (*GetTableList)(int);
    int (*Open)(const char*);
    int (*OpenRec)();
    int (*IsEOF)();
    int (*MoveNext)();
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

    AddPhase(figures, "open", start, opened);
    AddPhase(figures, "walk", opened, walked);
    figures["rows"] = static_cast<double>(rows);
    figures["bytes"] = static_cast<double>(bytes);
    return figures;
}

/// B and C: the same table through ODBC calls made by hand.
Figures OdbcWalk(const Options& options, OdbcReader::Cursor cursor) {
    OdbcReader reader;
    Figures figures;
    const Stamp start = Now();
    reader.Connect(options.data);
    reader.Open(options.table, cursor);
    const Stamp opened = Now();
    uint64_t bytes = 0;
    WALK_COLLECT_TOGGLE();
    const long rows = reader.Walk(0, bytes);
    WALK_COLLECT_TOGGLE();
    const Stamp walked = Now();
    reader.Close();

    AddPhase(figures, "open", start, opened);
    AddPhase(figures, "walk", opened, walked);
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

struct Case {
    const char* name;
    const char* title;
    std::function<Figures(const Options&)> run;
    bool catalog;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"lib-listtext", "A  library, VORDEX_ListText per row",
         [](const Options& o) { return LibraryWalk(o, HostRead::ListText); }, false},
        {"lib-getdata", "A' library, VORDEX_GetData per field",
         [](const Options& o) { return LibraryWalk(o, HostRead::GetData); }, false},
        {"odbc-keyset", "B  ODBC by hand, the library's calls",
         [](const Options& o) { return OdbcWalk(o, OdbcReader::Cursor::LibraryKeyset); }, false},
        {"odbc-forward", "C  ODBC by hand, forward-only SQLFetch",
         [](const Options& o) { return OdbcWalk(o, OdbcReader::Cursor::ForwardOnly); }, false},
        {"catalog", "D  catalog", [](const Options& o) { return CatalogWalk(o); }, true},
    };
    return cases;
}

int RunCase(const Options& options) {
    for (const Case& c : Cases()) {
        if (options.caseName != c.name) continue;
        // The case's own data source: the library reads VORDEX_CONNECT.
        setenv("VORDEX_CONNECT", (c.catalog ? options.catalog : options.data).c_str(), 1);
        try {
            Figures figures = c.run(options);
            figures["peak_kb"] = static_cast<double>(PeakKilobytes());
            for (const auto& [key, value] : figures) std::printf("%s=%.9g ", key.c_str(), value);
            std::printf("\n");
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vordex_read_bench: %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    Usage(("unknown case " + options.caseName).c_str());
}

// ---- the driver ----------------------------------------------------------------

/// Runs one case in a fresh process of this program and parses its line.
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
    waitpid(pid, &status, 0);
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
    const double rows = runs.at("odbc-keyset").front().at("rows");
    std::printf("\nVORDEX read benchmark: table %s, %.0f rows, medians of %d runs (each in a fresh process)\n",
                options.table.c_str(), rows, options.repetitions);
    std::printf("CPU = process CPU time (user+system) of the reading process; the server's time is not in it.\n\n");
    std::printf("%-40s %9s %9s %9s %9s %10s %9s\n", "case", "open CPU", "open wall", "walk CPU", "walk wall", "CPU/row",
                "peak RSS");
    std::printf("%-40s %9s %9s %9s %9s %10s %9s\n", "", "ms", "ms", "ms", "ms", "us", "MiB");
    for (const Case& c : Cases()) {
        if (c.catalog) continue;
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
    ratio("A  / B  (ListText)", "lib-listtext", "odbc-keyset");
    ratio("A' / B  (GetData)", "lib-getdata", "odbc-keyset");
    ratio("A  / C  (ListText)", "lib-listtext", "odbc-forward");
    ratio("A' / C  (GetData)", "lib-getdata", "odbc-forward");
    ratio("B  / C", "odbc-keyset", "odbc-forward");
    std::printf(
        "(open = VORDEX_Open + VORDEX_OpenRec for A: it lists the columns through SQLColumns, connects,\n"
        " executes and fetches the first row; for B and C: connect, SQLColumns, prepare, execute, bind.)\n");

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

/// All read cases must have read the same rows and value bytes.
void CheckSameData(const Runs& runs) {
    const Figures& reference = runs.at("odbc-keyset").front();
    for (const auto& [name, list] : runs) {
        for (const Figures& f : list) {
            if (f.count("rows") == 0) continue;
            if (f.at("rows") != reference.at("rows") || f.at("bytes") != reference.at("bytes")) {
                throw std::runtime_error("case " + name + " read other data than B (rows or bytes differ)");
            }
        }
    }
    if (reference.at("rows") <= 0) throw std::runtime_error("the table is empty");
}

int Drive(const Options& options) {
    if (options.library.empty() || options.data.empty() || options.catalog.empty()) {
        Usage("--library, --data and --catalog are required");
    }
    const std::vector<Case>& cases = Cases();
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
    CheckSameData(runs);
    Report(options, runs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (!options.caseName.empty()) return RunCase(options);
    try {
        return Drive(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vordex_read_bench: %s\n", e.what());
        return 1;
    }
}
