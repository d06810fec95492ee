// The Java option list and the usage text.
#include "base/memory.h"
#include "launcher/options.h"
#include "launcher/run_state.h"
#include "unit/cli_scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AddOption, KeepsEveryOptionInOrderAcrossGrowth)
{
    RunState run;
    for (int i = 0; i < 17; ++i) AddOption(run, StrDup(("-Dopt" + std::to_string(i)).c_str()));
    ASSERT_EQ(run.OptionCount, 17);
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(std::string(run.OptionList[i].text), "-Dopt" + std::to_string(i));
        EXPECT_EQ(run.OptionList[i].extra, nullptr);
    }
}

TEST(PrintUsage, InstallUsageWithProgramNameAndJavaVersion)
{
    RunState run;
    run.ProgramName = const_cast<char *>("setup.exe");
    testing::internal::CaptureStdout();
    PrintUsage(run);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, CatalogueText("installusage", "setup.exe", "1.5"));
    EXPECT_NE(out.find("'setup.exe'"), std::string::npos);
    EXPECT_NE(out.find("1.5"), std::string::npos);
}

TEST(PrintUsage, NoProgramNameIsPrintedSafely)
{
    RunState run;
    testing::internal::CaptureStdout();
    PrintUsage(run);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              CatalogueText("installusage", "(null)", "1.5"));
}

} // namespace
