// Runtime directory rules on directories built under the temporary directory.
#include "java/runtime.h"
#include "unit/param_name.h"
#include "unit/scratch_tree.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <ostream>
#include <string>

namespace {

// A fresh directory under the temporary directory, with files made on
// request (intermediate directories included).
// A scratch tree whose files, made empty, make a runtime or not.
class Tree : public ScratchTree {
public:
    Tree() : ScratchTree("jrt") {}
    const std::string &Root() const { return root(); }
    void Files(std::initializer_list<const char *> relatives) const
    {
        for (const char *relative : relatives) File(relative, "");
    }
};

std::string Result(char *path)
{
    std::string text = path != nullptr ? path : "(null)";
    free(path);
    return text;
}

TEST(GetJREPath, PlainRuntimeIsTheDirectoryItself)
{
    Tree t;
    t.Files({"bin\\java.dll", "bin\\java.exe", "bin\\javaw.exe"});
    EXPECT_EQ(Result(GetJREPath(t.Root().c_str())), t.Root());
}

TEST(GetJREPath, DevelopmentKitLayoutGivesItsJre)
{
    Tree t;
    t.Files({"jre\\bin\\java.dll", "jre\\bin\\java.exe", "jre\\bin\\javaw.exe", "lib\\tools.jar"});
    EXPECT_EQ(Result(GetJREPath(t.Root().c_str())), t.Path("jre"));
}

TEST(GetJREPath, BothLayoutsGiveTheDirectoryItself)
{
    Tree t;
    t.Files({"bin\\java.dll", "bin\\java.exe", "bin\\javaw.exe", "jre\\bin\\java.dll",
             "jre\\bin\\java.exe", "jre\\bin\\javaw.exe"});
    EXPECT_EQ(Result(GetJREPath(t.Root().c_str())), t.Root());
}

TEST(GetJREPath, MissingJavawDoesNotFallBackToJre)
{
    Tree t;
    t.Files({"bin\\java.dll", "bin\\java.exe", "jre\\bin\\java.dll", "jre\\bin\\java.exe",
             "jre\\bin\\javaw.exe"});
    EXPECT_EQ(Result(GetJREPath(t.Root().c_str())), "(null)");
}

TEST(GetJREPath, MissingJavaExeOrDllIsNoRuntime)
{
    Tree t;
    t.Files({"a\\bin\\java.dll", "a\\bin\\javaw.exe", "b\\bin\\java.exe", "b\\bin\\javaw.exe"});
    EXPECT_EQ(Result(GetJREPath(t.Path("a").c_str())), "(null)");
    EXPECT_EQ(Result(GetJREPath(t.Path("b").c_str())), "(null)");
    EXPECT_EQ(Result(GetJREPath(t.Path("missing").c_str())), "(null)");
}

TEST(GetJREPath, TrailingBackslashIsKeptVerbatim)
{
    Tree t;
    t.Files({"bin\\java.dll", "bin\\java.exe", "bin\\javaw.exe",
             "kit\\jre\\bin\\java.dll", "kit\\jre\\bin\\java.exe", "kit\\jre\\bin\\javaw.exe"});
    std::string dir = t.Root() + "\\";
    EXPECT_EQ(Result(GetJREPath(dir.c_str())), dir);
    std::string kit = t.Path("kit") + "\\";
    EXPECT_EQ(Result(GetJREPath(kit.c_str())), kit + "\\jre");
}

struct JdkCase {
    const char *runtime;   // relative to the tree
    const char *toolsJar;  // the one file made, or null
    bool jdk;
};

void PrintTo(const JdkCase &c, std::ostream *os)
{
    *os << c.runtime << " with " << (c.toolsJar != nullptr ? c.toolsJar : "nothing");
}

class IsJDKTest : public testing::TestWithParam<JdkCase> {};

TEST_P(IsJDKTest, LooksForToolsJarWhereTheLayoutSays)
{
    Tree t;
    t.Files({(std::string(GetParam().runtime) + "\\bin\\java.dll").c_str()});
    if (GetParam().toolsJar != nullptr) t.Files({GetParam().toolsJar});
    EXPECT_EQ(IsJDK(t.Path(GetParam().runtime).c_str()), GetParam().jdk)
        << GetParam().runtime << " with " << (GetParam().toolsJar ? GetParam().toolsJar : "-");
}

INSTANTIATE_TEST_SUITE_P(Layouts, IsJDKTest,
    testing::Values(JdkCase{"kit\\jre", "kit\\lib\\tools.jar", true},
                    JdkCase{"kit\\jre", "kit\\jre\\lib\\tools.jar", false},
                    JdkCase{"kit\\jre", nullptr, false},
                    JdkCase{"kit", "kit\\lib\\tools.jar", true},
                    JdkCase{"kit", nullptr, false},
                    JdkCase{"kit\\JRE", "kit\\lib\\tools.jar", false},
                    JdkCase{"kit\\JRE", "kit\\JRE\\lib\\tools.jar", true},
                    JdkCase{"kit\\myjre", "kit\\lib\\tools.jar", false}),
                         PrintedName());

} // namespace
