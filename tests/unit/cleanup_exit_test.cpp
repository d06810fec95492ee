// The end of a run: removing the working directory once, the exception
// filter, and the upgrade batch file.
#include "launcher/cleanup.h"
#include "launcher/console_control.h"
#include "launcher/run_state.h"
#include "launcher/upgrade.h"
#include "unit/scratch_tree.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

char *Copy(const std::string &text)
{
    char *copy = static_cast<char *>(malloc(text.size() + 1));
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

TEST(DeleteWorkingDirectory, RemovesOnceThenNothing)
{
    ScratchTree tree("cleanup-work");
    tree.File("payload\\lib.jar");
    RunState run;
    run.WorkingDirectory = Copy(tree.root());

    DeleteWorkingDirectory(run);
    EXPECT_FALSE(tree.Exists(""));
    EXPECT_EQ(run.WorkingDirectory, nullptr);

    // The same path made again is not the run's any more.
    tree.Dir("");
    tree.File("later.txt");
    DeleteWorkingDirectory(run);
    EXPECT_TRUE(tree.Exists("later.txt"));
}

// The run as it stands when the wizard has ended: the current directory is
// the working directory, which PrepareToExit must leave to remove it.
class ExceptionFilterTest : public testing::Test {
protected:
    void SetUp() override
    {
        tree.File("tarvisk.class");
        tree.File("package\\lib.jar");
        run.WorkingDirectory = Copy(tree.root());
        InstallCrashCleanup(&run);
        GetCurrentDirectoryA(sizeof previous, previous);
        ASSERT_TRUE(SetCurrentDirectoryA(tree.root().c_str()));
    }
    void TearDown() override
    {
        InstallCrashCleanup(nullptr);
        SetCurrentDirectoryA(previous);
    }

    LONG Raise(DWORD code)
    {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = code;
        CONTEXT context = {};
        EXCEPTION_POINTERS pointers = {&record, &context};
        return HandleException(&pointers);
    }

    ScratchTree tree{"cleanup-filter"};
    RunState run;  // the cleanup has not run yet
    char previous[MAX_PATH] = {};
};

TEST_F(ExceptionFilterTest, BreakpointLeavesEverything)
{
    EXPECT_EQ(Raise(EXCEPTION_BREAKPOINT), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_NE(run.WorkingDirectory, nullptr);
    EXPECT_TRUE(tree.Exists("package\\lib.jar"));
}

class FaultCodeTest : public ExceptionFilterTest, public testing::WithParamInterface<DWORD> {};

TEST_P(FaultCodeTest, FaultRemovesTheWorkingDirectory)
{
    std::string parent = tree.root().substr(0, tree.root().rfind('\\'));
    EXPECT_EQ(Raise(GetParam()), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_FALSE(tree.Exists(""));

    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STRCASEEQ(current, parent.c_str());
}

INSTANTIATE_TEST_SUITE_P(Codes, FaultCodeTest,
                         testing::Values(EXCEPTION_ACCESS_VIOLATION, DWORD(0xE06D7363)),
                         PrintedName());

// A fault on another thread (the status window's) while the main thread
// still works with the run: the filter removes the working directory but
// neither frees nor clears the path the main thread may be using, and the
// cleanup runs once: neither a second fault nor the normal end repeats it.
TEST_F(ExceptionFilterTest, FaultOnAnotherThreadCleansUpOnceAndFreesNothing)
{
    const char *held = run.WorkingDirectory;
    LONG result = 0;
    std::thread statusWindow([&] { result = Raise(EXCEPTION_ACCESS_VIOLATION); });
    statusWindow.join();
    EXPECT_EQ(result, EXCEPTION_CONTINUE_SEARCH);
    EXPECT_FALSE(tree.Exists(""));
    EXPECT_EQ(run.WorkingDirectory, held);
    EXPECT_EQ(std::string(held), tree.root());

    tree.Dir("");
    tree.File("later.txt");
    EXPECT_EQ(Raise(EXCEPTION_ACCESS_VIOLATION), EXCEPTION_CONTINUE_SEARCH);
    PrepareToExit(run);
    EXPECT_TRUE(tree.Exists("later.txt"));
    EXPECT_EQ(run.WorkingDirectory, held);
}

// No information at all, or information without its exception record: the
// filter reads nothing that is not there and still cleans up.
class MissingExceptionInformation : public testing::TestWithParam<bool> {};

TEST_P(MissingExceptionInformation, StillCleansUp)
{
    ScratchTree tree("cleanup-noinfo");
    tree.File("x.txt");
    RunState run;
    run.WorkingDirectory = Copy(tree.root());
    InstallCrashCleanup(&run);
    CONTEXT context = {};
    EXCEPTION_POINTERS withoutRecord = {nullptr, &context};
    EXPECT_EQ(HandleException(GetParam() ? &withoutRecord : nullptr), EXCEPTION_CONTINUE_SEARCH);
    InstallCrashCleanup(nullptr);
    EXPECT_FALSE(tree.Exists(""));
}

INSTANTIATE_TEST_SUITE_P(HandleException, MissingExceptionInformation, testing::Bool(),
                         [](const auto &info) {
                             return std::string(info.param ? "NoRecord" : "NoInformation");
                         });

// --- console events ---------------------------------------------------------

// Ctrl+C and Ctrl+Break alike stop a run that has not started its wizard,
// and are the wizard's once it runs: the launcher goes on either way.
class ConsoleEventTest : public testing::TestWithParam<DWORD> {};

TEST_P(ConsoleEventTest, StopsBeforeTheWizardOnly)
{
    ResetConsoleControl();
    EXPECT_TRUE(OnConsoleControl(GetParam()));
    EXPECT_TRUE(StopRequested());
    EXPECT_FALSE(StartingWizard());

    ResetConsoleControl();
    EXPECT_TRUE(StartingWizard());
    EXPECT_TRUE(OnConsoleControl(GetParam()));
    EXPECT_FALSE(StopRequested());
    ResetConsoleControl();
}

INSTANTIATE_TEST_SUITE_P(Events, ConsoleEventTest,
                         testing::Values(DWORD(CTRL_C_EVENT), DWORD(CTRL_BREAK_EVENT)),
                         [](const auto &info) {
                             return std::string(info.param == CTRL_C_EVENT ? "CtrlC" : "CtrlBreak");
                         });

// --- the upgrade batch file ------------------------------------------------

// Writes a batch file that leaves a marker (proving it ran to its end before
// InvokeUpgradeTool returned) and exits with `code`.
std::string WriteBatch(const ScratchTree &tree, const std::string &relative, int code)
{
    tree.File(relative, "@echo off\r\necho ran> \"" + tree.Path("marker.txt") +
                            "\"\r\nexit /b " + std::to_string(code) + "\r\n");
    return "\"" + tree.Path(relative) + "\"";
}

class UpgradeExitCodeTest : public testing::TestWithParam<int> {};

TEST_P(UpgradeExitCodeTest, ReturnsTheBatchFilesExitCodeAfterItEnds)
{
    ScratchTree tree("cleanup-upgrade");
    std::string command = WriteBatch(tree, "UpgradeInvoker.bat", GetParam());
    EXPECT_EQ(InvokeUpgradeTool(command.c_str()), GetParam());
    EXPECT_TRUE(tree.Exists("marker.txt"));
}

INSTANTIATE_TEST_SUITE_P(Codes, UpgradeExitCodeTest, testing::Values(0, 10, 255),
                         PrintedName());

TEST(InvokeUpgradeTool, LongTemporaryDirectoryStillRuns)
{
    ScratchTree tree("cleanup-upgrade-long");
    std::string deep = std::string(60, 'a') + "\\" + std::string(60, 'b') + " with space\\" +
                       std::string(40, 'c');
    std::string command = WriteBatch(tree, deep + "\\UpgradeInvoker.bat", 7);
    ASSERT_GT(command.size(), 150u);
    EXPECT_EQ(InvokeUpgradeTool(command.c_str()), 7);
    EXPECT_TRUE(tree.Exists("marker.txt"));
}

TEST(InvokeUpgradeTool, NothingStartedGivesOne)
{
    ScratchTree tree("cleanup-upgrade-missing");
    std::string missing = "\"" + tree.Path("UpgradeInvoker.bat") + "\"";
    EXPECT_EQ(InvokeUpgradeTool(missing.c_str()), 1);
    EXPECT_EQ(InvokeUpgradeTool(nullptr), 1);
}

} // namespace
