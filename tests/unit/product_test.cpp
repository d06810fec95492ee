// Build-time configuration and the executable's own location.
#include "base/path.h"
#include "base/product_values.h"
#include "product/product.h"
#include "product_config.h"
#include "ui/output.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct AbsoluteCase {
    const char *path;
    bool absolute;
};

void PrintTo(const AbsoluteCase &c, std::ostream *os)
{
    *os << (c.absolute ? "absolute " : "relative ") << c.path;
}

class IsAbsolutePathTest : public testing::TestWithParam<AbsoluteCase> {};

TEST_P(IsAbsolutePathTest, Classifies)
{
    EXPECT_EQ(IsAbsolutePath(GetParam().path), GetParam().absolute) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Paths, IsAbsolutePathTest,
    testing::Values(AbsoluteCase{"C:\\work", true}, AbsoluteCase{"C:work", true},
                    AbsoluteCase{"\\work", true}, AbsoluteCase{"\\\\server\\share", true},
                    AbsoluteCase{"\\", true}, AbsoluteCase{"word:other", true},
                    AbsoluteCase{"work\\dir", false}, AbsoluteCase{"/work", false},
                    AbsoluteCase{":", false}, AbsoluteCase{"", false},
                    AbsoluteCase{"a", false}),
                         PrintedName());

TEST(MessageKeyPrefix, PrependsSetup)
{
    char *key = GetMessageKeyPrefix("already_started");
    EXPECT_STREQ(key, "setup_already_started");
    free(key);
    key = GetMessageKeyPrefix("no_files");
    EXPECT_STREQ(key, "setup_no_files");
    free(key);
}

TEST(Configuration, ProductValues)
{
    EXPECT_STREQ(GetJavaClassName(), "tarvisk");
    EXPECT_TRUE(IsStateFileRequired());

    const char *const *elements = nullptr;
    ASSERT_EQ(GetJavaClasspathElements(&elements), 1);
    // Seven ';'-separated entries: "\package\A", ".", "\package\B", then four
    // ".\package\..." entries, the first of which names A again.
    std::string text = elements[0];
    std::vector<std::string> entries;
    for (size_t start = 0;;) {
        size_t end = text.find(';', start);
        entries.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].rfind("\\package\\", 0), 0u);
    EXPECT_EQ(entries[1], ".");
    EXPECT_EQ(entries[2].rfind("\\package\\", 0), 0u);
    for (int i = 3; i < 7; ++i) EXPECT_EQ(entries[i].rfind(".\\package\\", 0), 0u) << i;
    EXPECT_EQ(entries[3], "." + entries[0]);
    std::set<std::string> jars;
    for (const std::string &e : entries)
        if (e != ".") jars.insert(e.substr(e.rfind('\\') + 1));
    EXPECT_EQ(jars.size(), 5u);
    for (const std::string &jar : jars) EXPECT_EQ(jar.substr(jar.size() - 4), ".jar");
}

// The values a program carries are read whole or not at all: each damaged
// form is refused, with the reason.
struct ValuesCase {
    const char *label;
    std::string form;
    const char *error;  // a part of the reason; null: read
    std::vector<std::pair<std::string, std::string>> items = {};  // what is read, in order
};

void PrintTo(const ValuesCase &c, std::ostream *os)
{
    *os << c.label;
}

class ProductValuesForm : public testing::TestWithParam<ValuesCase> {};

TEST_P(ProductValuesForm, IsReadWholeOrRefused)
{
    const ValuesCase &c = GetParam();
    ProductValues values;
    std::string error;
    const bool read = ParseProductValues(c.form.data(), c.form.size(), ProductValuesTag, &values, &error);
    if (c.error == nullptr) {
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(values.items, c.items);
        EXPECT_EQ(FormatProductValues(values), c.form.substr(0, c.form.find('\0')));
        return;
    }
    EXPECT_FALSE(read);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
}

const std::string kTag = ProductValuesTag;

INSTANTIATE_TEST_SUITE_P(Forms, ProductValuesForm,
    testing::Values(
        ValuesCase{"TagOnly", kTag, nullptr},
        ValuesCase{"EveryKey", kTag + "main-class=com.acme.Setup$1\nclass-path=\\package\\a.jar;.\n"
                   "download-url=https://acme.example/java\naccept-modern-java=1\n"
                   "trace-variable=ACME_TRACE\nstart-delay-ms=600000\n", nullptr,
                   {{"main-class", "com.acme.Setup$1"}, {"class-path", "\\package\\a.jar;."},
                    {"download-url", "https://acme.example/java"}, {"accept-modern-java", "1"},
                    {"trace-variable", "ACME_TRACE"}, {"start-delay-ms", "600000"}}},
        ValuesCase{"EndsAtItsNul", kTag + "main-class=acme\n" + std::string(1, '\0') + "junk", nullptr,
                   {{"main-class", "acme"}}},
        ValuesCase{"NoTag", "main-class=acme\n", "tag"},
        ValuesCase{"LineWithoutEnd", kTag + "main-class=acme", "inside a line"},
        ValuesCase{"LineWithoutEquals", kTag + "main-class\n", "no '='"},
        ValuesCase{"UnknownKey", kTag + "colour=blue\n", "not a product value"},
        ValuesCase{"KeyTwice", kTag + "main-class=a\nmain-class=b\n", "twice"},
        ValuesCase{"EmptyValue", kTag + "main-class=\n", "empty"},
        ValuesCase{"BadClassName", kTag + "main-class=a..b\n", "Java class name"},
        ValuesCase{"ShareInClassPath", kTag + "class-path=\\a.jar;\\\\server\\x.jar\n", "outside"},
        ValuesCase{"DelayTooLong", kTag + "start-delay-ms=600001\n", "600000"},
        ValuesCase{"Oversized", kTag + "download-url=" + std::string(ProductValuesMaxLength, 'u') + "\n",
                   "longer than"}),
    PrintedName());

TEST(ExecName, FoundAndCachedWithApplicationHome)
{
    char *path = SetExecName("ignored");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(SetExecName(nullptr), path);
    EXPECT_EQ(GetExecName(), path);
    EXPECT_TRUE(IsAbsolutePath(path));
    std::string home = GetApplicationHome();
    EXPECT_EQ(std::string(path).rfind(home + "\\", 0), 0u);
    EXPECT_EQ(std::string(path).find('\\', home.size() + 1), std::string::npos);
}

TEST(Title, SameTextForConcurrentFirstCalls)
{
    const char *fromThread = nullptr;
    std::thread other([&] { fromThread = GetTitle(); });
    const char *fromMain = GetTitle();
    other.join();
    EXPECT_EQ(fromMain, fromThread);
    EXPECT_STREQ(fromMain, "Setup");
}

} // namespace
