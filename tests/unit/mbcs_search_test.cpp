// The code-page-aware boundary test and the separator searches built on it.
#include "base/mbcs.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>

namespace {

// The text with every byte outside printable ASCII as \xNN.
std::string Escaped(const char *text)
{
    std::string out;
    for (const char *p = text; *p != '\0'; ++p) {
        unsigned char byte = static_cast<unsigned char>(*p);
        if (byte >= 0x21 && byte < 0x7F && byte != '\\') {
            out += static_cast<char>(byte);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    }
    return out;
}

struct BoundaryCase {
    const char *text;
    int pos;
    unsigned codePage;
    bool standsAlone;
};

void PrintTo(const BoundaryCase &c, std::ostream *os)
{
    *os << Escaped(c.text) << " at " << c.pos << " cp" << c.codePage;
}

class BoundaryTest : public testing::TestWithParam<BoundaryCase> {};

TEST_P(BoundaryTest, TellsSecondBytesFromCharacters)
{
    const BoundaryCase &c = GetParam();
    EXPECT_EQ(IsMultiByteCharInCodePage(c.text, c.pos, c.codePage), c.standsAlone)
        << "code page " << c.codePage << " pos " << c.pos;
}

INSTANTIATE_TEST_SUITE_P(CodePages, BoundaryTest, testing::Values(
    // "表" (0x95 0x5C), "ソ" (0x83 0x5C), "十" (0x8F 0x5C) in code page 932.
    BoundaryCase{"\x95\x5C", 0, 932, true},
    BoundaryCase{"\x95\x5C", 1, 932, false},
    BoundaryCase{"\x83\x5C", 1, 932, false},
    BoundaryCase{"a\\\x8F\x5C", 1, 932, true},
    BoundaryCase{"a\\\x8F\x5C", 3, 932, false},
    BoundaryCase{"\x95\x5C\\", 2, 932, true},
    BoundaryCase{"\x95\x5C\x95\x5C", 3, 932, false},
    // Half-width katakana are single bytes in 932: a following '\\' is free.
    BoundaryCase{"\xB1\\", 1, 932, true},
    // "乗" (0x81 0x5C) in code page 936.
    BoundaryCase{"\x81\x5C", 1, 936, false},
    BoundaryCase{"x\x81\x5C\\", 3, 936, true},
    // Single-byte and UTF-8 texts: an ASCII byte is always a character.
    BoundaryCase{"\x95\x5C", 1, 1252, true},
    BoundaryCase{"\xC3\xA9\\", 2, 65001, true},
    BoundaryCase{"\\", 0, 932, true}),
                         PrintedName());

struct SearchCase {
    const char *text;
    char ch;
    unsigned codePage;
    int first;  // offset of _strchr's answer, -1 for null
    int last;   // offset of _strrchr's answer, -1 for null
};

void PrintTo(const SearchCase &c, std::ostream *os)
{
    *os << Escaped(c.text) << " for " << Escaped(std::string(1, c.ch).c_str()) << " cp"
        << c.codePage;
}

class SearchTest : public testing::TestWithParam<SearchCase> {};

int Offset(const char *text, const char *found)
{
    return found == nullptr ? -1 : static_cast<int>(found - text);
}

TEST_P(SearchTest, FindsOnlyWholeCharacters)
{
    const SearchCase &c = GetParam();
    EXPECT_EQ(Offset(c.text, FindFirstCharInCodePage(c.text, c.ch, c.codePage)), c.first);
    EXPECT_EQ(Offset(c.text, FindLastCharInCodePage(c.text, c.ch, c.codePage)), c.last);
}

INSTANTIATE_TEST_SUITE_P(Texts, SearchTest, testing::Values(
    // C:\表\x : the trail byte of 表 is not a separator.
    SearchCase{"C:\\\x95\x5C\\x", '\\', 932, 2, 5},
    SearchCase{"C:\\\x95\x5C\\x", '\\', 1252, 2, 5},
    // dir\表 : the last separator is the one before 表.
    SearchCase{"dir\\\x95\x5C", '\\', 932, 3, 3},
    SearchCase{"dir\\\x95\x5C", '\\', 1252, 3, 5},
    // 表\x : the first separator is the one after 表.
    SearchCase{"\x95\x5C\\x", '\\', 932, 2, 2},
    SearchCase{"\x95\x5C\\x", '\\', 1252, 1, 2},
    // 表 alone holds no separator at all in 932.
    SearchCase{"\x95\x5C", '\\', 932, -1, -1},
    SearchCase{"\x83\x5C\x8F\x5C.exe", '\\', 932, -1, -1},
    // 乗\a in 936.
    SearchCase{"\x81\x5C\\a", '\\', 936, 2, 2},
    SearchCase{"ja_JP", '_', 932, 2, 2},
    SearchCase{"no_NO_NY", '_', 1252, 2, 5},
    SearchCase{"word", '\\', 932, -1, -1},
    SearchCase{"", '\\', 932, -1, -1}),
                         PrintedName());

TEST(Search, NullTextGivesNull)
{
    for (unsigned codePage : {932u, 936u, 1252u}) {
        EXPECT_EQ(FindFirstCharInCodePage(nullptr, '\\', codePage), nullptr);
        EXPECT_EQ(FindLastCharInCodePage(nullptr, '\\', codePage), nullptr);
    }
    EXPECT_EQ(_strchr(nullptr, ':'), nullptr);
    EXPECT_EQ(_strrchr(nullptr, '\\'), nullptr);
}

TEST(Search, AnsiVariantsJudgeInTheAnsiCodePage)
{
    // The process's ANSI code page, or UTF-8 where it reports none; whether
    // 0x95 0x5C is one character there is the system's word, not ours.
    unsigned acp = GetACP();
    EXPECT_EQ(LauncherCodePage(), acp == 0 ? 65001u : acp);
    bool paired = IsDBCSLeadByteEx(LauncherCodePage(), 0x95) != 0;
    const char *path = "dir\\\x95\x5C\\x";
    EXPECT_EQ(Offset(path, _strchr(path, '\\')), 3);
    EXPECT_EQ(Offset(path + 4, _strchr(path + 4, '\\')), paired ? 2 : 1);
    const char *ending = "dir\\\x95\x5C";
    EXPECT_EQ(Offset(ending, _strrchr(ending, '\\')), paired ? 3 : 5);
    EXPECT_EQ(IsMultiByteChar(path, 5), !paired);
    EXPECT_EQ(Offset(path, _strrchr(path, 'r')), 2);
}

} // namespace
