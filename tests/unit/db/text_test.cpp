#include "db/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using vordex::CText;

namespace {

TEST(Text, GrowsKeepsTerminatorAndCompares) {
    CText text;
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_TRUE(text.IsEmpty());
    text = "SELECT ";
    for (int i = 0; i < 100; ++i) text.Append("col,");
    EXPECT_EQ(text.Length(), 7u + 400u);
    EXPECT_EQ(std::strlen(text.c_str()), text.Length());
    text.SetLastChar(' ');
    EXPECT_EQ(text.c_str()[text.Length() - 1], ' ');
    text.Truncate(6);
    EXPECT_TRUE(text == "SELECT");
    EXPECT_TRUE(text != CText("select"));
    text.Append(text.c_str() + 2, 2);  // appending a part of itself
    EXPECT_STREQ(text.c_str(), "SELECTLE");
    text.Assign(text.c_str() + 6);  // assigning a part of itself
    EXPECT_STREQ(text.c_str(), "LE");
    text.Assign(nullptr);
    EXPECT_TRUE(text.IsEmpty());
}

TEST(Text, PinnedStorageNeverMovesAndCutsWhatDoesNotFit) {
    CText text("abc");
    text.Reserve(8);
    text.Pin();
    const char* storage = text.c_str();
    text = "0123456789ABCDEF";
    EXPECT_EQ(text.c_str(), storage);
    EXPECT_EQ(text.Length(), text.Capacity());
    EXPECT_EQ(std::strncmp(text.c_str(), "0123456789ABCDEF", text.Length()), 0);

    // A driver writes into the storage; the length is taken from its terminator.
    std::strcpy(text.Buffer(), "xy");
    text.SyncLength();
    EXPECT_EQ(text.Length(), 2u);

    // Moving a pinned text copies it; the storage stays with its owner.
    CText moved(std::move(text));
    EXPECT_STREQ(moved.c_str(), "xy");
    EXPECT_EQ(text.c_str(), storage);
    CText other("zz");
    text = std::move(other);
    EXPECT_EQ(text.c_str(), storage);
    EXPECT_STREQ(text.c_str(), "zz");
}

TEST(Text, SyncLengthNeverReadsPastTheStorage) {
    CText text;
    text.Reserve(4);
    std::memset(text.Buffer(), 'x', text.Capacity() + 1);  // no terminator written
    text.SyncLength();
    EXPECT_EQ(text.Length(), text.Capacity());
}

}  // namespace
