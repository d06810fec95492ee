// The class-path option the wizard receives.
#include "java/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char *const ProductElements[] = {"\\package\\a.jar;.;\\package\\b.jar;.\\package\\c.jar"};
const char *const TwoElements[] = {"\\lib\\one.jar", "\\lib\\two.jar"};
// Entries rooted at the drive (never a network share) are taken below the home.
const char *const RootedEntries[] = {"\\a.jar;/b.jar;\\\\server\\c.jar;\\d\\e.jar;x.jar"};

struct ClasspathCase {
    const char *name;
    const char *const *elements;
    int count;
    const char *runtimePath;
    bool isJdk;
    const char *expected;
};

class ClasspathOptionTest : public testing::TestWithParam<ClasspathCase> {};

TEST_P(ClasspathOptionTest, Builds)
{
    const ClasspathCase &c = GetParam();
    EXPECT_EQ(ClasspathOption("C:\\home", c.elements, c.count, c.runtimePath, c.isJdk),
              std::string(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Runtimes, ClasspathOptionTest,
    testing::Values(
        ClasspathCase{"PlainRuntime", ProductElements, 1, "C:\\java", false,
                      "-Djava.class.path=C:\\home;C:\\home\\package\\a.jar;.;"
                      "C:\\home\\package\\b.jar;.\\package\\c.jar"},
        // tools.jar lies beside the runtime directory "...\jre", in the kit.
        ClasspathCase{"KitAtJre", ProductElements, 1, "C:\\kit\\jre", true,
                      "-Djava.class.path=C:\\kit\\jre\\..\\lib\\tools.jar;"
                      "C:\\kit\\jre\\..\\classes;C:\\home;C:\\home\\package\\a.jar;.;"
                      "C:\\home\\package\\b.jar;.\\package\\c.jar"},
        // Any other runtime directory of a kit holds lib\tools.jar itself.
        ClasspathCase{"KitAsRuntime", TwoElements, 2, "C:\\kit", true,
                      "-Djava.class.path=C:\\kit\\lib\\tools.jar;C:\\kit\\classes;"
                      "C:\\home;C:\\home\\lib\\one.jar;C:\\home\\lib\\two.jar"},
        // Only a lower-case "\jre" names the runtime inside a kit.
        ClasspathCase{"KitUpperCaseJre", nullptr, 0, "C:\\kit\\JRE", true,
                      "-Djava.class.path=C:\\kit\\JRE\\lib\\tools.jar;"
                      "C:\\kit\\JRE\\classes;C:\\home"},
        ClasspathCase{"RootedEntriesBelowTheHome", RootedEntries, 1, "C:\\java", false,
                      "-Djava.class.path=C:\\home;C:\\home\\a.jar;C:\\home/b.jar;"
                      "\\\\server\\c.jar;C:\\home\\d\\e.jar;x.jar"},
        ClasspathCase{"NoElements", nullptr, 0, "C:\\java", false,
                      "-Djava.class.path=C:\\home"},
        ClasspathCase{"NoElementsKitAtJre", nullptr, 0, "C:\\kit\\jre", true,
                      "-Djava.class.path=C:\\kit\\jre\\..\\lib\\tools.jar;"
                      "C:\\kit\\jre\\..\\classes;C:\\home"}),
    [](const testing::TestParamInfo<ClasspathCase> &info) { return info.param.name; });

} // namespace
