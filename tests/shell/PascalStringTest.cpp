#include "shell/PascalString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/FSSpec.h"

namespace {

// A Pascal string holding `text` as bytes (no conversion).
struct P {
    explicit P(const std::string& text) {
        bytes[0] = static_cast<unsigned char>(text.size());
        std::memcpy(bytes + 1, text.data(), text.size());
    }
    std::string Text() const { return std::string(reinterpret_cast<const char*>(bytes + 1), bytes[0]); }
    unsigned char bytes[256] = {0};
};

} // namespace

TEST(PascalString, ConvertsMacRomanToAndFromUtf8) {
    P macRoman("Caf\x8E \xA5 \xDB \xF0 \xC9");
    const std::string text = stringWithPascalString(macRoman.bytes);
    EXPECT_EQ(text, "Caf\u00E9 \u2022 \u20AC \uF8FF \u2026");
    unsigned char back[256];
    ASSERT_TRUE(getPascalString(text, back));
    EXPECT_TRUE(pstrcmp(back, macRoman.bytes));

    // Every Mac Roman byte survives the round trip.
    P all("");
    for (int c = 1; c < 256; ++c) all.bytes[c] = static_cast<unsigned char>(c == 255 ? 0 : c);
    all.bytes[0] = 255;
    ASSERT_TRUE(getPascalString(stringWithPascalString(all.bytes), back));
    EXPECT_TRUE(pstrcmp(back, all.bytes));
}

TEST(PascalString, ConversionFailsOnTextThatDoesNotFit) {
    unsigned char out[256];
    EXPECT_TRUE(getPascalString(std::string(255, 'a'), out));
    EXPECT_EQ(out[0], 255);
    // Too long, not in Mac Roman, cut-off UTF-8, overlong UTF-8.
    for (const std::string& text : {std::string(256, 'a'), std::string("\u4E2D"),
                                    std::string("\xC3"), std::string("\xC0\x80")}) {
        EXPECT_FALSE(getPascalString(text, out)) << text.size();
        EXPECT_EQ(out[0], 0);
    }
}

TEST(PascalString, CatStopsAt254AndCompareSeesEveryByte) {
    P a(std::string(200, 'a')), b(std::string(200, 'b'));
    pstrcat(a.bytes, b.bytes);
    EXPECT_EQ(a.bytes[0], 254);
    EXPECT_EQ(a.Text(), std::string(200, 'a') + std::string(54, 'b'));
    EXPECT_FALSE(pstrcmp(P("abc").bytes, P("abd").bytes));
    EXPECT_FALSE(pstrcmp(P("abc").bytes, P("ab").bytes));
}

struct FindCase {
    std::string pattern, string;
    std::int16_t first, last;
};

class StringPos : public ::testing::TestWithParam<FindCase> {};

TEST_P(StringPos, FindsFirstAndLastOccurrence) {
    P pattern(GetParam().pattern), string(GetParam().string);
    EXPECT_EQ(GetStringPos(pattern.bytes, string.bytes), GetParam().first);
    EXPECT_EQ(GetStringPosBackwards(pattern.bytes, string.bytes), GetParam().last);
    std::int16_t position = -1;
    EXPECT_EQ(DoesPStr1ContainPStr2(string.bytes, pattern.bytes, &position),
              GetParam().first != 0);
    EXPECT_EQ(position, GetParam().first);
}

INSTANTIATE_TEST_SUITE_P(Cases, StringPos,
                         ::testing::Values(FindCase{"ab", "xabyab", 2, 5},
                                           FindCase{"abc", "ab", 0, 0},
                                           FindCase{"c", "abc", 3, 3},
                                           FindCase{"", "abc", 1, 1},
                                           FindCase{"aa", "aaa", 1, 2}));

TEST(PascalString, NamesEqualIgnoringMarks) {
    EXPECT_TRUE(EqualNamesIgnoringMarks(P("Caf\x8E").bytes, P("cafe").bytes, true));
    EXPECT_FALSE(EqualNamesIgnoringMarks(P("Caf\x8E").bytes, P("cafe").bytes, false));
    EXPECT_TRUE(EqualNamesIgnoringMarks(P("\xAE").bytes, P("\xBE").bytes, true)); // AE / ae
    EXPECT_FALSE(EqualNamesIgnoringMarks(P("cafe").bytes, P("caf").bytes, true));
}

TEST(FSSpec, MakesAndJoinsPaths) {
    FSSpec fileRef;
    ASSERT_TRUE(MakeFSSpec("/tmp/dir", "Caf\u00E9.aif", &fileRef));
    EXPECT_EQ(fileRef.name[0], 8);
    EXPECT_EQ(fileRef.name[4], 0x8E);
    EXPECT_EQ(FSSpecLeafName(fileRef), "Caf\u00E9.aif");
    EXPECT_EQ(FSSpecFullPath(fileRef), "/tmp/dir/Caf\u00E9.aif");
    ASSERT_TRUE(MakeFSSpec("", "x", &fileRef));
    EXPECT_EQ(FSSpecFullPath(fileRef), "x");
    EXPECT_FALSE(MakeFSSpec("/tmp", std::string(64, 'n'), &fileRef));
    EXPECT_FALSE(MakeFSSpec("/tmp", "\u4E2D", &fileRef));
    EXPECT_EQ(FSSpecLeafName(fileRef), "x"); // unchanged by the failures
}
