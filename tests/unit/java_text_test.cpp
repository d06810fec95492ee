// The Java launch's text rules: version prefixes, the version in a runtime's
// report, argument quoting and the PATH value.
#include "base/memory.h"
#include "java/command_line.h"
#include "java/version.h"
#include "product/product.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace {

// --- CheckVersion -------------------------------------------------------------

struct VersionCase {
    const char *version;
    bool supported;  // as specified: the prefix table alone
    bool modern;     // with runtimes 9 and later accepted
};

void PrintTo(const VersionCase &c, std::ostream *os)
{
    *os << (c.supported ? "supported " : "refused ") << (c.modern ? "modern " : "old ")
        << c.version;
}

class CheckVersionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(CheckVersionTest, AcceptsTablePrefixesAndModernOnRequest)
{
    const VersionCase &c = GetParam();
    EXPECT_EQ(IsSupportedVersion(c.version, false), c.supported) << c.version;
    EXPECT_EQ(IsSupportedVersion(c.version, true), c.modern) << c.version;
    EXPECT_EQ(CheckVersion(c.version), AcceptModernJava ? c.modern : c.supported) << c.version;
}

INSTANTIATE_TEST_SUITE_P(Versions, CheckVersionTest,
    testing::Values(VersionCase{"1.5", true, true}, VersionCase{"1.5.0_06", true, true},
                    VersionCase{"1.6.0_03", true, true}, VersionCase{"1.7.0", true, true},
                    VersionCase{"1.8.0_401", true, true}, VersionCase{"1.9.0", true, true},
                    VersionCase{"1.50", true, true},  // a plain prefix test
                    VersionCase{"1.4.2", false, false}, VersionCase{"1.4.2_10", false, false},
                    VersionCase{"1.10", false, false}, VersionCase{"9", false, true},
                    VersionCase{"9.0.4", false, true}, VersionCase{"10", false, true},
                    VersionCase{"10.0.1", false, true}, VersionCase{"11", false, true},
                    VersionCase{"11.0.2", false, true}, VersionCase{"17.0.10", false, true},
                    VersionCase{"21", false, true}, VersionCase{"21-ea", false, true},
                    VersionCase{"17.0.1+12", false, true}, VersionCase{"0009", false, true},
                    VersionCase{"8", false, false}, VersionCase{"8.0", false, false},
                    VersionCase{"17a", false, false}, VersionCase{"17_1", false, false},
                    VersionCase{"99999999999999999999", false, true},
                    VersionCase{"1", false, false}, VersionCase{"1.", false, false},
                    VersionCase{" 1.5", false, false}, VersionCase{" 17", false, false},
                    VersionCase{"", false, false}),
                         PrintedName());

// --- CompareVersions ----------------------------------------------------------

struct OrderCase {
    const char *older;
    const char *newer;
    bool byteWiseAgrees;  // strcmp puts them in the same order
};

void PrintTo(const OrderCase &c, std::ostream *os)
{
    *os << c.older << " before " << c.newer;
}

class CompareVersionsTest : public testing::TestWithParam<OrderCase> {};

TEST_P(CompareVersionsTest, NumericOrderPutsNewerLast)
{
    const OrderCase &c = GetParam();
    EXPECT_LT(CompareVersions(c.older, c.newer, true), 0);
    EXPECT_GT(CompareVersions(c.newer, c.older, true), 0);
    EXPECT_EQ(CompareVersions(c.older, c.newer, false) < 0, c.byteWiseAgrees);
}

INSTANTIATE_TEST_SUITE_P(Pairs, CompareVersionsTest,
    testing::Values(OrderCase{"11.0.2", "17.0.10", true}, OrderCase{"1.8.0_401", "11", true},
                    OrderCase{"1.8.0_401", "9", true}, OrderCase{"9.0.4", "10", false},
                    OrderCase{"17.0.9", "17.0.10", false}, OrderCase{"17", "21", true},
                    OrderCase{"1.5.0_9", "1.5.0_10", false}, OrderCase{"1.6", "1.6.0_01", true},
                    OrderCase{"1.5.0_06", "1.6", true}, OrderCase{"17", "17.0.1", true},
                    OrderCase{"99999999999999999998", "99999999999999999999", true}),
                         PrintedName());

TEST(CompareVersions, EqualNumbersAreEqual)
{
    EXPECT_EQ(CompareVersions("17.0.10", "17.0.10", true), 0);
    EXPECT_EQ(CompareVersions("17-ea", "17", true), 0);
    EXPECT_EQ(CompareVersions("1.6.0_03", "1.6.0_03", false), 0);
}

TEST(SupportedVersionPrefixes, AreOneFiveToOneNineInOrder)
{
    ASSERT_EQ(SupportedVersionPrefixCount, 5);
    const char *expected[] = {"1.5", "1.6", "1.7", "1.8", "1.9"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(SupportedVersionPrefixes[i], expected[i]);
}

// --- VersionFromReport --------------------------------------------------------

struct ReportCase {
    const char *report;
    const char *version;
};

void PrintTo(const ReportCase &c, std::ostream *os)
{
    *os << "gives " << (c.version != nullptr ? c.version : "none") << " from " << c.report;
}

class VersionFromReportTest : public testing::TestWithParam<ReportCase> {};

TEST_P(VersionFromReportTest, TakesTextAfterLastQuoteOfFirstLine)
{
    char *version = VersionFromReport(StrDup(GetParam().report));
    EXPECT_STREQ(version, GetParam().version) << GetParam().report;
    free(version);
}

INSTANTIATE_TEST_SUITE_P(Reports, VersionFromReportTest,
    testing::Values(
        ReportCase{"java version \"1.5.0_06\"\r\nJava(TM) 2 Runtime Environment\r\n", "1.5.0_06"},
        ReportCase{"java version \"1.6.0_01\"\n", "1.6.0_01"},
        ReportCase{"java version \"1.6.0_01\"", "1.6.0_01"},
        ReportCase{"openjdk version \"9.0.4\" 2018-01-16\n", "9.0.4"},
        // A notice first: the version on the second line is never seen.
        ReportCase{"Picked up _JAVA_OPTIONS: -Xmx64m\r\njava version \"1.6.0_01\"\r\n",
                   "Picked up _JAVA_OPTIONS: -Xmx64m\r"},
        ReportCase{"1.6.0 without quotes\n", "1.6.0 without quotes"},
        ReportCase{"java version \"1.6\n", "java version "},
        ReportCase{"\n", ""}, ReportCase{"", ""}),
                         PrintedName());

// --- AppendQuotedArgument -----------------------------------------------------

struct QuoteCase {
    const char *element;
    const char *quoted;
};

void PrintTo(const QuoteCase &c, std::ostream *os) { *os << "quotes " << c.element; }

class QuoteTest : public testing::TestWithParam<QuoteCase> {};

// The system's own splitter follows the same backslash and quote rules as the
// C runtime for every argument after the first.
std::vector<std::wstring> SplitLikeTheSystem(const std::string &line)
{
    typedef LPWSTR *(WINAPI * SplitFn)(LPCWSTR, int *);
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (shell == nullptr) return {};
    SplitFn split = reinterpret_cast<SplitFn>(
        reinterpret_cast<void *>(GetProcAddress(shell, "CommandLineToArgvW")));
    std::wstring wide(line.begin(), line.end());
    int count = 0;
    LPWSTR *args = split(wide.c_str(), &count);
    std::vector<std::wstring> result(args, args + count);
    LocalFree(args);
    return result;
}

TEST_P(QuoteTest, QuotesByRuntimeRules)
{
    std::string line;
    AppendQuotedArgument(line, GetParam().element);
    EXPECT_EQ(line, GetParam().quoted);
}

TEST_P(QuoteTest, ArrivesAsExactlyOneArgument)
{
    std::string line = "prog.exe ";
    AppendQuotedArgument(line, GetParam().element);
    line += " next";
    std::vector<std::wstring> args = SplitLikeTheSystem(line);
    ASSERT_EQ(args.size(), 3u) << line;
    std::string element = GetParam().element;
    EXPECT_EQ(args[1], std::wstring(element.begin(), element.end())) << line;
    EXPECT_EQ(args[2], L"next");
}

INSTANTIATE_TEST_SUITE_P(Elements, QuoteTest,
    testing::Values(QuoteCase{"-Xmx256m", "\"-Xmx256m\""},
                    QuoteCase{"a b", "\"a b\""},
                    QuoteCase{"", "\"\""},
                    QuoteCase{"C:\\dir\\file", "\"C:\\dir\\file\""},
                    QuoteCase{"\\\\server\\share", "\"\\\\server\\share\""},
                    QuoteCase{"-Dtemp.dir=C:\\tmp\\", "\"-Dtemp.dir=C:\\tmp\\\\\""},
                    QuoteCase{"C:\\tmp\\\\", "\"C:\\tmp\\\\\\\\\""},
                    QuoteCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                    QuoteCase{"a\\\"b", "\"a\\\\\\\"b\""},
                    QuoteCase{"\"", "\"\\\"\""},
                    QuoteCase{"tab\there", "\"tab\there\""}),
                         PrintedName());

TEST(BuildJavaCommandLine, QuotesEachElementInOrder)
{
    char xmx[] = "-Xmx256m";
    char debug[] = "-Ddebug=true";
    OptionEntry options[] = {{xmx, nullptr}, {debug, nullptr}};
    char arg[] = "a b";
    char *argv[] = {arg};
    EXPECT_EQ(BuildJavaCommandLine("C:\\jre\\bin\\javaw.exe", 2, options, "tarvisk", 1, argv),
              "\"C:\\jre\\bin\\javaw.exe\" \"-Xmx256m\" \"-Ddebug=true\" \"tarvisk\" \"a b\"");
}

TEST(BuildJavaCommandLine, NoOptionsNoArgumentsGivesTwoElements)
{
    EXPECT_EQ(BuildJavaCommandLine("C:\\jre\\bin\\java.exe", 0, nullptr, "tarvisk", 0, nullptr),
              "\"C:\\jre\\bin\\java.exe\" \"tarvisk\"");
}

TEST(BuildJavaCommandLine, TrailingBackslashDoesNotSwallowNextOption)
{
    char tmp[] = "-Dtemp.dir=C:\\tmp\\";
    char cp[] = "-Djava.class.path=C:\\w";
    OptionEntry options[] = {{tmp, nullptr}, {cp, nullptr}};
    std::string line = BuildJavaCommandLine("C:\\jre\\bin\\javaw.exe", 2, options, "tarvisk", 0,
                                            nullptr);
    std::vector<std::wstring> args = SplitLikeTheSystem(line);
    ASSERT_EQ(args.size(), 4u) << line;
    EXPECT_EQ(args[1], L"-Dtemp.dir=C:\\tmp\\");
    EXPECT_EQ(args[2], L"-Djava.class.path=C:\\w");
    EXPECT_EQ(args[3], L"tarvisk");
}

// --- ComposePathAssignment ----------------------------------------------------

struct PathCase {
    const char *library;
    const char *previous;
    const char *assignment;
};

void PrintTo(const PathCase &c, std::ostream *os)
{
    *os << c.library << " before " << (c.previous != nullptr ? c.previous : "no PATH");
}

class PathAssignmentTest : public testing::TestWithParam<PathCase> {};

TEST_P(PathAssignmentTest, JoinsAndDropsOneTrailingSemicolon)
{
    EXPECT_EQ(ComposePathAssignment(GetParam().library, GetParam().previous),
              GetParam().assignment);
}

INSTANTIATE_TEST_SUITE_P(Values, PathAssignmentTest,
    testing::Values(PathCase{"C:\\w\\package", "C:\\bin", "PATH=C:\\w\\package;C:\\bin"},
                    PathCase{"C:\\w\\package", nullptr, "PATH=C:\\w\\package"},
                    PathCase{"C:\\w\\package", "C:\\bin;", "PATH=C:\\w\\package;C:\\bin;"},
                    PathCase{"C:\\w\\package", "", "PATH=C:\\w\\package;"},
                    PathCase{nullptr, "C:\\bin", "PATH=C:\\bin"},
                    PathCase{nullptr, nullptr, "PATH="}),
                         PrintedName());

} // namespace
