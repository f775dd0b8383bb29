#include "records/key_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "db/db_exception.h"

namespace vordex {
namespace {

std::string EightByteKey(int64_t first, double second, bool twoParts) {
    std::string key;
    AppendKeyPart(key, reinterpret_cast<const char*>(&first), sizeof first);
    if (twoParts) AppendKeyPart(key, reinterpret_cast<const char*>(&second), sizeof second);
    return key;
}

std::string TextKey(size_t row) {
    // Lengths from 0 to 700 bytes: the rows do not divide a chunk evenly.
    const std::string text(row * 37 % 701, static_cast<char>('a' + row % 26));
    std::string key;
    AppendKeyPart(key, text.data(), text.size());
    AppendKeyPart(key, reinterpret_cast<const char*>(&row), sizeof row);
    return key;
}

bool Refused(const std::function<void()>& call) {
    try {
        call();
    } catch (CDBException* e) {
        e->Delete();
        return true;
    }
    return false;
}

// Rows past a chunk's end, the first and last row of a chunk renamed, and
// every other row still itself; for keys of eight-byte parts (kept without
// their lengths) and of any length.
TEST(KeyStore, RowsAcrossChunksKeepTheirKeysAndOneRenamedChangesNoOther) {
    struct Case {
        const char* what;
        size_t parts;
        bool eightByteParts;
        size_t rows;
        std::function<std::string(size_t)> key;
        size_t firstOfSecondChunk;
    };
    const Case cases[] = {
        {"whole numbers", 1, true, 300000,
         [](size_t row) { return EightByteKey(static_cast<int64_t>(row) * 7 - 5, 0, false); }, 131072},
        {"a whole number and a double", 2, true, 140000,
         [](size_t row) { return EightByteKey(-static_cast<int64_t>(row), static_cast<double>(row) / 3, true); },
         65536},
        {"texts of every length and a number", 2, false, 6000, TextKey, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyStore store(c.parts, c.eightByteParts);
        for (size_t row = 0; row < c.rows; ++row) store.Append(c.key(row));
        ASSERT_EQ(store.Size(), c.rows);
        size_t firstOfSecond = c.firstOfSecondChunk;
        if (firstOfSecond == 0) {  // where the keys' own lengths filled the first chunk
            size_t bytes = 0;
            while (bytes + c.key(firstOfSecond).size() <= KeyStore::kChunkBytes) bytes += c.key(firstOfSecond++).size();
        }
        const size_t renamed[] = {0, firstOfSecond - 1, firstOfSecond, c.rows - 1};
        for (size_t row : renamed) store.Replace(row, c.key(c.rows + row));
        for (size_t row = 0; row < c.rows; ++row) {
            const bool isRenamed = std::find(std::begin(renamed), std::end(renamed), row) != std::end(renamed);
            ASSERT_EQ(store.At(row), c.key(isRenamed ? c.rows + row : row)) << row;
        }
    }
}

TEST(KeyStore, RefusesWhatItCannotHold) {
    KeyStore numbers(1, true);
    std::string shortPart;
    AppendKeyPart(shortPart, "abc", 3);
    EXPECT_TRUE(Refused([&] { numbers.Append(shortPart); }));
    EXPECT_TRUE(Refused([&] { numbers.Append(EightByteKey(1, 2, true)); }));
    EXPECT_EQ(numbers.Size(), 0u);
    numbers.Append(EightByteKey(42, 0, false));
    EXPECT_TRUE(Refused([&] { numbers.Replace(0, shortPart); }));
    EXPECT_EQ(numbers.At(0), EightByteKey(42, 0, false));

    KeyStore texts(1, false);
    const std::string longest(KeyStore::kChunkBytes + 1, 'x');
    EXPECT_TRUE(Refused([&] { texts.Append(longest); }));
    EXPECT_EQ(texts.Size(), 0u);
}

}  // namespace
}  // namespace vordex
