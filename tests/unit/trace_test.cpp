// The diagnostic trace writes to a plain file only: the variable naming it
// may name a device or a directory just as well, in an elevated run too.
#include "base/trace.h"
#include "unit/scratch_tree.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

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
    _putenv_s("LAUNCHER_UNIT_TRACE", value.c_str());
    Trace trace;
    trace.Open("LAUNCHER_UNIT_TRACE", "title");
    EXPECT_EQ(trace.on(), GetParam().traced) << value;
    _putenv_s("LAUNCHER_UNIT_TRACE", "");
}

INSTANTIATE_TEST_SUITE_P(Targets, TraceTargetTest,
                         testing::Values(Target{"{dir}\\trace.txt", true},
                                         Target{"NUL", false}, Target{"\\\\.\\NUL", false},
                                         Target{"\\\\?\\{dir}\\device-form.txt", false},
                                         Target{"COM1", false}, Target{"{dir}", false}));

} // namespace
