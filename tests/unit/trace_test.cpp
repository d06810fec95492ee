// The diagnostic trace writes to a plain file only: the variable or the -log
// naming it may name a device or a directory just as well, in an elevated
// run too.
#include "base/trace.h"
#include "unit/scratch_tree.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Target {
    const char *value;  // "{dir}" stands for a scratch directory
    bool traced;
};

class TraceTargetTest : public testing::TestWithParam<Target> {};

TEST_P(TraceTargetTest, OnlyAPlainFileIsWritten)
{
    ScratchTree scratch("trace");
    std::string value = GetParam().value;
    const size_t at = value.find("{dir}");
    if (at != std::string::npos) value.replace(at, 5, scratch.root());
    // Named by a variable, and by the command line's -log.
    _putenv_s("LAUNCHER_UNIT_TRACE", value.c_str());
    Trace byVariable, byName;
    byVariable.Open("LAUNCHER_UNIT_TRACE", "title");
    byName.OpenFile(value.c_str(), "title");
    _putenv_s("LAUNCHER_UNIT_TRACE", "");
    EXPECT_EQ(byVariable.on(), GetParam().traced) << value;
    EXPECT_EQ(byName.on(), GetParam().traced) << value;
    if (!GetParam().traced) return;
    byVariable.Line("first %d", 1);
    byName.Line("second %s", "2");
    byVariable.Close();
    byName.Close();
    // Both append whole lines, each after its milliseconds, the header first.
    std::ifstream in(value, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 4u) << text;
    for (const std::string &line : lines) EXPECT_NE(line.find(" ms  "), std::string::npos) << line;
    EXPECT_EQ(lines[0].substr(lines[0].size() - 6), " title");
    EXPECT_EQ(lines[2].substr(lines[2].find(" ms  ") + 5), "first 1");
    EXPECT_EQ(lines[3].substr(lines[3].find(" ms  ") + 5), "second 2");
}

INSTANTIATE_TEST_SUITE_P(Targets, TraceTargetTest,
                         testing::Values(Target{"{dir}\\trace.txt", true},
                                         Target{"NUL", false}, Target{"\\\\.\\NUL", false},
                                         Target{"\\\\?\\{dir}\\device-form.txt", false},
                                         Target{"COM1", false}, Target{"{dir}", false}));

} // namespace
