// Heap allocations while libvordex walks a table: VORDEX_MoveNext,
// VORDEX_GetData and VORDEX_ListText must allocate nothing per row beyond
// what the ODBC driver itself allocates when the same rows are fetched by
// hand with the same calls.
//
// This program counts every malloc, calloc and realloc made in the process
// (operator new reaches malloc) by defining those functions itself: the
// dynamic linker then binds every library's calls to them, and they forward
// to glibc's own allocator. A walk is counted twice, over N and over 2N rows,
// each time from a freshly opened table; the difference is what the N extra
// rows allocated, so what is allocated once per walk cancels out.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>

#include "integration/integration_env.h"
#include "odbc_reader.h"
#include "vordex.h"

// ---- counting allocator ---------------------------------------------------------

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<long> allocationCount{0};

long Allocations() { return allocationCount.load(std::memory_order_relaxed); }
}  // namespace

extern "C" {
void* malloc(size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
void free(void* block) { __libc_free(block); }
}

namespace {

using integration::Psql;
using integration::RequiredEnv;
using vordex_bench::OdbcReader;

// Keeps a pointer alive in the compiler's eyes, so that an allocation and its
// release are not optimised away.
void* volatile escape;

// ---- the counter itself ---------------------------------------------------------

struct AllocationKind {
    const char* name;
    void (*allocateAndRelease)();
    long expected;
};

const AllocationKind kAllocationKinds[] = {
    {"malloc",
     [] {
         escape = std::malloc(24);
         std::free(escape);
     },
     1},
    {"calloc",
     [] {
         escape = std::calloc(3, 8);
         std::free(escape);
     },
     1},
    {"realloc",
     [] {
         escape = std::realloc(nullptr, 24);
         escape = std::realloc(escape, 4096);
         std::free(escape);
     },
     2},
    {"operator new",
     [] {
         escape = new std::string(100, 'x');
         delete static_cast<std::string*>(escape);
     },
     2},
    {"strdup in libc",
     [] {
         escape = strdup("counted");
         std::free(escape);
     },
     1},
    {"free alone", [] { std::free(nullptr); }, 0},
};

TEST(AllocationCounter, CountsEveryKindOfAllocationInTheProcess) {
    for (const AllocationKind& kind : kAllocationKinds) {
        SCOPED_TRACE(kind.name);
        const long before = Allocations();
        kind.allocateAndRelease();
        EXPECT_EQ(Allocations() - before, kind.expected);
    }
}

// ---- the walks ------------------------------------------------------------------

constexpr const char* kTable = "alloc_walk_rows";
constexpr long kRows = 2500;
constexpr long kShortWalk = 1000;
constexpr long kLongWalk = 2 * kShortWalk;

/// What the reader of each row does with it.
enum class Reading { MoveOnly, GetData, ListText, GetDataAndListText };

/// Allocations counted over one walk, and what it read.
struct Walk {
    long allocations = 0;
    long rows = 0;
    uint64_t bytes = 0;  // value bytes handed out (by GetData when both are read)
    bool failed = false;
};

/// Allocations per extra row: (long walk - short walk) over the extra rows,
/// as an exact fraction so that nothing is rounded away.
struct PerRow {
    long extraAllocations;
    long extraRows;
};

std::ostream& operator<<(std::ostream& out, const PerRow& p) {
    char perRow[32];
    std::snprintf(perRow, sizeof perRow, "%.3f",
                  static_cast<double>(p.extraAllocations) / static_cast<double>(p.extraRows));
    return out << p.extraAllocations << " allocations over " << p.extraRows << " rows (" << perRow << " per row)";
}

class ReadWalkAllocations : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Ten columns of mixed types with NULLs among them, as the benchmark's
        // table, with its serial int4 key.
        Psql(std::string("DROP TABLE IF EXISTS ") + kTable + ";" + "CREATE TABLE " + kTable +
             " (id serial PRIMARY KEY, qty integer, serialno bigint, amount numeric(12,2),"
             " ratio double precision, code varchar(40), note text, day date, stamp timestamp, active boolean);"
             "INSERT INTO " +
             kTable +
             " (qty, serialno, amount, ratio, code, note, day, stamp, active)"
             " SELECT CASE WHEN g % 17 = 0 THEN NULL ELSE g * 31 - 5000 END, g::bigint * 1000000007,"
             " CASE WHEN g % 13 = 0 THEN NULL ELSE g * 1.25 END, CASE WHEN g % 11 = 0 THEN NULL ELSE g / 7.0 END,"
             " 'C-' || g, CASE WHEN g % 7 = 0 THEN NULL ELSE 'row ' || g || ' ' || repeat('x', g % 48) END,"
             " date '2000-01-01' + g, timestamp '2000-01-01' + g * interval '37 seconds',"
             " CASE WHEN g % 19 = 0 THEN NULL ELSE g % 2 = 0 END"
             " FROM generate_series(1, " +
             std::to_string(kRows) + ") AS g ORDER BY g;");
    }
    static void TearDownTestSuite() { Psql(std::string("DROP TABLE IF EXISTS ") + kTable); }

    void SetUp() override { UseSettings(""); }
    /// Reads through the test data source with `settings` added to its
    /// connect string, by the library and by hand alike.
    void UseSettings(const char* settings) {
        connect_ = integration::PgDsnConnect(settings);
        setenv("VORDEX_CONNECT", connect_.c_str(), 1);
    }
    void TearDown() override { VORDEX_Close(); }

    /// The library from a freshly opened table: counts what `rows` rounds of
    /// reading the current row and VORDEX_MoveNext allocate. The first row is
    /// fetched by VORDEX_OpenRec, outside the count.
    static Walk LibraryWalk(long rows, Reading reading) {
        Walk walk;
        const int columns = VORDEX_Open(kTable);
        if (columns != 10 || VORDEX_OpenRec() != 1) {
            ADD_FAILURE() << "the library did not open " << kTable << " (columns: " << columns << ")";
            walk.failed = true;
            return walk;
        }
        static char buffer[4096];
        const long before = Allocations();
        for (; walk.rows < rows && !walk.failed; ++walk.rows) {
            if (VORDEX_IsEOF()) walk.failed = true;
            if (reading == Reading::GetData || reading == Reading::GetDataAndListText) {
                for (int i = 0; i < columns; ++i) walk.bytes += std::strlen(VORDEX_GetData(i));
            }
            if (reading == Reading::ListText || reading == Reading::GetDataAndListText) {
                const int listed = VORDEX_ListText(buffer, sizeof buffer);
                if (listed != columns) walk.failed = true;
                // The values' bytes, without the separator after each.
                if (reading == Reading::ListText) walk.bytes += std::strlen(buffer) - static_cast<size_t>(listed);
            }
            if (VORDEX_MoveNext() != 1) walk.failed = true;
        }
        walk.allocations = Allocations() - before;
        VORDEX_CloseRec();
        VORDEX_Close();
        return walk;
    }

    /// The same rows fetched by hand with the library's ODBC calls: the first
    /// row outside the count, as the library fetches it on opening.
    Walk RawWalk(long rows) const {
        Walk walk;
        OdbcReader reader;
        uint64_t firstRowBytes = 0;
        try {
            reader.Connect(connect_);
            reader.Open(kTable, OdbcReader::Cursor::Library);
            if (reader.Walk(1, firstRowBytes) != 1) throw std::runtime_error("no first row");
            const long before = Allocations();
            walk.rows = reader.Walk(rows, walk.bytes);
            walk.allocations = Allocations() - before;
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
            walk.failed = true;
        }
        return walk;
    }

    /// Bytes of the rows from the first up to `rows`, read by hand.
    uint64_t RawBytesOfFirstRows(long rows) const {
        OdbcReader reader;
        reader.Connect(connect_);
        reader.Open(kTable, OdbcReader::Cursor::Library);
        uint64_t bytes = 0;
        reader.Walk(rows, bytes);
        return bytes;
    }

    /// Holds the library's walk, read in each way, to the allocations per
    /// row of the same calls made by hand.
    void ExpectNoAllocationsBeyondTheDriver() {
        // What the driver allocates per row when the library's calls are made by
        // hand: the allowance the library's walk is held to.
        const Walk rawShort = RawWalk(kShortWalk);
        const Walk rawLong = RawWalk(kLongWalk);
        ASSERT_FALSE(rawShort.failed || rawLong.failed);
        ASSERT_EQ(rawShort.rows, kShortWalk);
        ASSERT_EQ(rawLong.rows, kLongWalk);
        const PerRow raw{rawLong.allocations - rawShort.allocations, kLongWalk - kShortWalk};
        std::printf("[ counts   ] ODBC by hand: %ld allocations over %ld rows, %ld over %ld rows; extra: %ld\n",
                    rawShort.allocations, kShortWalk, rawLong.allocations, kLongWalk, raw.extraAllocations);

        const struct {
            const char* name;
            Reading reading;
        } readings[] = {
            {"VORDEX_MoveNext alone", Reading::MoveOnly},
            {"VORDEX_GetData of every field", Reading::GetData},
            {"VORDEX_ListText", Reading::ListText},
            {"VORDEX_GetData and VORDEX_ListText", Reading::GetDataAndListText},
        };
        for (const auto& r : readings) {
            SCOPED_TRACE(r.name);
            const Walk shortWalk = LibraryWalk(kShortWalk, r.reading);
            const Walk longWalk = LibraryWalk(kLongWalk, r.reading);
            ASSERT_FALSE(shortWalk.failed || longWalk.failed) << "a call failed during the walk";
            ASSERT_EQ(shortWalk.rows, kShortWalk);
            ASSERT_EQ(longWalk.rows, kLongWalk);
            const PerRow library{longWalk.allocations - shortWalk.allocations, kLongWalk - kShortWalk};
            std::printf("[ counts   ] %s: %ld allocations over %ld rows, %ld over %ld rows; extra: %ld\n", r.name,
                        shortWalk.allocations, kShortWalk, longWalk.allocations, kLongWalk, library.extraAllocations);
            EXPECT_EQ(library.extraAllocations, raw.extraAllocations)
                << "the library's walk: " << library << "; the same ODBC calls by hand: " << raw;
        }
    }

    std::string connect_;
};

TEST_F(ReadWalkAllocations, LibraryAllocatesNothingPerRowBeyondTheDriver) {
    // psqlODBC's reading of the whole result at once and its block reading
    // (the library's choice when none is made), in blocks smaller than the walks.
    for (const char* settings : {";UseDeclareFetch=0", ";UseDeclareFetch=1;Fetch=100"}) {
        SCOPED_TRACE(settings);
        UseSettings(settings);
        ExpectNoAllocationsBeyondTheDriver();
    }
}

TEST_F(ReadWalkAllocations, LibraryWalkHandsOutTheValuesTheDriverFetches) {
    // The counted walks read real values: the library's walk over the first N
    // rows hands out exactly the bytes that the hand-made calls fetch.
    const uint64_t fetched = RawBytesOfFirstRows(kShortWalk);
    ASSERT_GT(fetched, 0u);
    for (const Reading reading : {Reading::GetData, Reading::ListText}) {
        SCOPED_TRACE(reading == Reading::GetData ? "VORDEX_GetData" : "VORDEX_ListText");
        const Walk library = LibraryWalk(kShortWalk, reading);
        ASSERT_FALSE(library.failed);
        EXPECT_EQ(library.bytes, fetched);
    }
}

}  // namespace
