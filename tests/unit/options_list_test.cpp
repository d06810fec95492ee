// The Java option list and the usage text.
#include "base/memory.h"
#include "launcher/launch_sequence.h"
#include "launcher/options.h"
#include "unit/cli_scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AddOption, KeepsEveryOptionInOrderAcrossGrowth)
{
    ResetRunState();
    for (int i = 0; i < 17; ++i) AddOption(StrDup(("-Dopt" + std::to_string(i)).c_str()));
    ASSERT_EQ(OptionCount, 17);
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(std::string(OptionList[i].text), "-Dopt" + std::to_string(i));
        EXPECT_EQ(OptionList[i].extra, nullptr);
    }
}

TEST(ResetRunState, EmptiesTheListAndClearsTheFlagsAndSeams)
{
    AddOption(StrDup("-Xmx256m"));
    debug = printWizardId = true;
    ScreenColourDepth = [] { return 1; };
    ResetRunState();
    EXPECT_EQ(OptionList, nullptr);
    EXPECT_EQ(OptionCount, 0);
    EXPECT_FALSE(debug);
    EXPECT_FALSE(printWizardId);
    EXPECT_EQ(ScreenColourDepth, &ScreenColourDepthOfDisplay);
    AddOption(StrDup("-Dnext"));
    EXPECT_EQ(OptionCount, 1);
}

TEST(PrintUsage, InstallUsageWithProgramNameAndJavaVersion)
{
    ProgramName = const_cast<char *>("setup.exe");
    testing::internal::CaptureStdout();
    PrintUsage();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, CatalogueText("installusage", "setup.exe", "1.5"));
    EXPECT_NE(out.find("'setup.exe'"), std::string::npos);
    EXPECT_NE(out.find("1.5"), std::string::npos);
}

TEST(PrintUsage, NoProgramNameIsPrintedSafely)
{
    ProgramName = nullptr;
    testing::internal::CaptureStdout();
    PrintUsage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              CatalogueText("installusage", "(null)", "1.5"));
}

} // namespace
