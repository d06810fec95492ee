// The instance lock and the temporary directory: which directories are
// accepted and in what form they are kept; the working directory's names.
#include "base/path.h"
#include "launcher/instance.h"
#include "launcher/instance_internal.h"
#include "launcher/launch_sequence.h"
#include "launcher/launch_sequence_internal.h"
#include "launcher/run_state.h"
#include "base/file_safety.h"
#include "launcher/working_directory.h"
#include "product/product.h"
#include "unit/cli_scratch.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <set>
#include <ostream>
#include <string>
#include <vector>

namespace {

// --- SetTempDir -------------------------------------------------------------

struct TempDirCase {
    const char *name;
    std::string path;    // "{root}" stands for the scratch directory, also the cwd
    bool accepted;
    std::string stored;  // what GetTempDir gives afterwards
};
void PrintTo(const TempDirCase &c, std::ostream *os) { *os << c.name; }

class SetTempDirTest : public testing::TestWithParam<TempDirCase> {
protected:
    void SetUp() override
    {
        scratch.Dir("dir");
        scratch.File("plain.txt");
        previous = CurrentDirectory();
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.root().c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(previous.c_str()); }

    CliScratch scratch{"tempdir"};
    std::string previous;
    RunState run;
};

TEST_P(SetTempDirTest, AcceptsUsableDirectoriesOnly)
{
    const TempDirCase &c = GetParam();
    // A directory accepted before stays when a later one is refused.
    std::string before = scratch.Dir("before");
    ASSERT_TRUE(SetTempDir(run, before.c_str()));

    std::string path = Expand(c.path, scratch.root());
    EXPECT_EQ(SetTempDir(run, path.c_str()), c.accepted) << path;
    ASSERT_NE(GetTempDir(run), nullptr);
    EXPECT_EQ(std::string(GetTempDir(run)), c.accepted ? Expand(c.stored, scratch.root()) : before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetTempDirTest,
    testing::Values(
        TempDirCase{"absolute", "{root}\\dir", true, "{root}\\dir"},
        TempDirCase{"trailing_backslash_removed", "{root}\\dir\\", true, "{root}\\dir"},
        TempDirCase{"relative_made_absolute", "dir", true, "{root}\\dir"},
        TempDirCase{"relative_with_trailing_backslash", "dir\\", true, "{root}\\dir"},
        // Drive- and root-relative forms name the directory they name now,
        // whatever the current directory becomes.
        TempDirCase{"drive_relative_made_full", "{drive}dir", true, "{root}\\dir"},
        TempDirCase{"root_relative_made_full", "{rooted}\\dir", true, "{root}\\dir"},
        TempDirCase{"dot_dot_resolved", "{root}\\dir\\..\\dir", true, "{root}\\dir"},
        TempDirCase{"drive_root_keeps_its_backslash", "C:\\", true, "C:\\"},
        TempDirCase{"a_file", "{root}\\plain.txt", false, ""},
        TempDirCase{"a_relative_file", "plain.txt", false, ""},
        TempDirCase{"missing", "{root}\\absent", false, ""},
        TempDirCase{"relative_missing", "absent", false, ""},
        TempDirCase{"below_a_file", "{root}\\plain.txt\\sub", false, ""},
        TempDirCase{"empty_is_the_current_directory", "", true, "{root}"}),
    [](const testing::TestParamInfo<TempDirCase> &info) { return std::string(info.param.name); });

TEST_F(SetTempDirTest, ReadOnlyDirectoryRefused)
{
    std::string locked = scratch.Dir("locked");
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    if (!(GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_READONLY))
        GTEST_SKIP() << "this file system keeps no read-only attribute on directories";
    EXPECT_FALSE(SetTempDir(run, locked.c_str()));
    EXPECT_FALSE(SetTempDir(run, "locked"));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A run in which no directory has been accepted yet.
TEST(GetTempDir, SystemDirectoryWithoutTrailingBackslashOnFirstUse)
{
    char system[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof system, system);
    ASSERT_GT(length, 1u);
    std::string expected(system, length);
    if (expected.back() == '\\' && expected.size() > 3) expected.pop_back();

    RunState run;
    char *first = GetTempDir(run);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first), expected);
    EXPECT_EQ(GetTempDir(run), first);  // kept, not asked again
}

// --- Paths --------------------------------------------------------------------

struct JoinCase {
    const char *name;
    const char *dir;
    const char *file;
    const char *joined;
};
void PrintTo(const JoinCase &c, std::ostream *os) { *os << c.name; }

class JoinPathTest : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTest, OneBackslashBetween)
{
    EXPECT_EQ(JoinPath(GetParam().dir, GetParam().file), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(Cases, JoinPathTest,
    testing::Values(JoinCase{"directory", "C:\\work", "answers.txt", "C:\\work\\answers.txt"},
                    JoinCase{"drive_root", "C:\\", "answers.txt", "C:\\answers.txt"},
                    JoinCase{"share", "\\\\server\\share", "a", "\\\\server\\share\\a"},
                    JoinCase{"no_directory", "", "a", "a"}),
    [](const testing::TestParamInfo<JoinCase> &info) { return std::string(info.param.name); });

TEST(EndsWithBackslash, LastCharacterOnly)
{
    EXPECT_TRUE(EndsWithBackslash("C:\\"));
    EXPECT_TRUE(EndsWithBackslash("dir\\"));
    EXPECT_FALSE(EndsWithBackslash("C:\\dir"));
    EXPECT_FALSE(EndsWithBackslash(""));
}

// --- Working directory names ---------------------------------------------------

TEST(WorkingDirectoryName, InTheDirectoryBeginningWithTheProgramName)
{
    EXPECT_EQ(WorkingDirectoryName("C:\\Temp", "setup.exe", 0x1A4, 0),
              "C:\\Temp\\setup.exe1A4_0");
    EXPECT_EQ(WorkingDirectoryName("D:\\", "conrun.exe", 0x20, 0x3E7), "D:\\conrun.exe20_3E7");
}

TEST(WorkingDirectoryName, DistinctAcrossProcessesAndAttempts)
{
    std::set<std::string> names;
    for (unsigned long process : {0x1ul, 0x12ul, 0x123ul, 0xFFFFFFFFul})
        for (unsigned serial : {0u, 0x3u, 0x23u, 0x123u, 999u})
            names.insert(WorkingDirectoryName("C:\\Temp", "setup.exe", process, serial));
    EXPECT_EQ(names.size(), 20u);
}

// --- Working directories ----------------------------------------------------

// The numbers the tests draw, in turn.
unsigned long draws[2];
unsigned drawn;
unsigned long NextDraw()
{
    return draws[drawn++ % 2];
}

TEST(CreateWorkingDirectory, ANameThatExistsIsNeverTakenOver)
{
    CliScratch scratch{"taken"};
    // Prepared by someone who guessed the first name, with something to load.
    scratch.File("setup.exe1A4_0\\planted.dll", "planted");
    draws[0] = 0x1A4;
    draws[1] = 0x2B5;
    drawn = 0;
    HANDLE hold = nullptr;
    char *made = CreateWorkingDirectory(scratch.root().c_str(), "setup.exe", ReadRunAccount(),
                                        &hold, NoTrace(), NextDraw);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(std::string(made), scratch.root() + "\\setup.exe2B5_1");
    EXPECT_NE(hold, nullptr);
    // The planted one is untouched, and not the one held.
    EXPECT_TRUE(RemoveDirectoryA((scratch.root() + "\\setup.exe1A4_0").c_str()) == FALSE);
    EXPECT_EQ(GetFileAttributesA((scratch.root() + "\\setup.exe1A4_0\\planted.dll").c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    CloseHandle(hold);
    RemoveDirectoryA(made);
    free(made);
}

TEST(CreateWorkingDirectory, OnlyThisUserTheSystemAndAdministratorsMayEnter)
{
    CliScratch scratch{"private"};
    HANDLE hold = nullptr;
    char *made = CreateWorkingDirectory(scratch.root().c_str(), "setup.exe", ReadRunAccount(),
                                        &hold);
    ASSERT_NE(made, nullptr);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR read = nullptr;
    ASSERT_EQ(GetSecurityInfo(hold, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &read),
              static_cast<DWORD>(ERROR_SUCCESS));
    Sid user = ReadRunAccount().user;
    ASSERT_FALSE(user.empty());
    EXPECT_TRUE(EqualSid(owner, user.data()));
    ASSERT_NE(dacl, nullptr) << "no access list lets everyone in";
    EXPECT_GT(dacl->AceCount, 0u);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE *ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void **>(&ace)));
        EXPECT_FALSE(ace->Header.AceFlags & INHERITED_ACE) << "entry " << i << " came from above";
        PSID sid = &ace->SidStart;
        EXPECT_TRUE(EqualSid(sid, user.data()) || IsWellKnownSid(sid, WinLocalSystemSid) ||
                    IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
            << "entry " << i << " lets another account in";
    }
    LocalFree(read);
    CloseHandle(hold);
    RemoveDirectoryA(made);
    free(made);
}

// The console host is started from the parent directory; coming back must
// succeed, or the wizard would start in the wrong directory.
std::string innerDirectory;
std::string seenDirectory;

TEST(RunInParentDirectory, ComesBackOrSaysItCannot)
{
    CliScratch scratch{"parent"};
    innerDirectory = scratch.Dir("inner");
    const std::string previous = CurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(innerDirectory.c_str()));

    EXPECT_TRUE(RunInParentDirectory([] { seenDirectory = CurrentDirectory(); }));
    EXPECT_EQ(seenDirectory, scratch.root());
    EXPECT_EQ(CurrentDirectory(), innerDirectory);

    // Gone while the action ran: the way back fails, and says so.
    EXPECT_FALSE(RunInParentDirectory([] { RemoveDirectoryA(innerDirectory.c_str()); }));
    EXPECT_EQ(CurrentDirectory(), scratch.root());
    SetCurrentDirectoryA(previous.c_str());
}

// What the sweep of stale directories takes for a working directory of the
// program "setup.exe": exactly what WorkingDirectoryName makes, nothing else.
struct NameCase {
    const char *name;
    bool matches;
};

void PrintTo(const NameCase &c, std::ostream *os)
{
    *os << (c.matches ? "ours " : "not_ours ") << c.name;
}

class IsWorkingDirectoryNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(IsWorkingDirectoryNameTest, OnlyTheLaunchersOwnNames)
{
    EXPECT_EQ(IsWorkingDirectoryName(GetParam().name, "setup.exe"), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Names, IsWorkingDirectoryNameTest,
    testing::Values(NameCase{"setup.exe1A4_0", true}, NameCase{"setup.exe0_0", true},
                    NameCase{"setup.exeFFFFFFFF_3E7", true}, NameCase{"setup.exe20_A", true},
                    NameCase{"setup.exe1a4_0", false},       // lower case
                    NameCase{"setup.exe01A4_0", false},      // a leading zero
                    NameCase{"setup.exe1A4_00", false},
                    NameCase{"setup.exe1A4_3E8", false},     // past the last attempt
                    NameCase{"setup.exe1FFFFFFFF_0", false}, // more than a process id
                    NameCase{"setup.exe1A4_0 (copy)", false}, NameCase{"setup.exe1A4_0.bak", false},
                    NameCase{"setup.exe1A4", false}, NameCase{"setup.exe_0", false},
                    NameCase{"setup.exe1A4_", false}, NameCase{"setup.exe1A4__0", false},
                    NameCase{"setup.exe", false}, NameCase{"Setup.exe1A4_0", false},
                    NameCase{"xsetup.exe1A4_0", false}, NameCase{"setup.exe-backup", false},
                    NameCase{"setup.exe1G4_0", false}),
                         PrintedName());

TEST(IsWorkingDirectoryName, EveryNameMadeMatchesAndAnEmptyPrefixNothing)
{
    for (unsigned long process : {0x0ul, 0x1A4ul, 0xFFFFFFFFul})
        for (unsigned serial : {0u, 0xAu, 999u}) {
            std::string path = WorkingDirectoryName("C:\\Temp", "setup.exe", process, serial);
            EXPECT_TRUE(IsWorkingDirectoryName(path.substr(8), "setup.exe")) << path;
        }
    EXPECT_FALSE(IsWorkingDirectoryName("1A4_0", ""));
}

// --- The instance lock ------------------------------------------------------

TEST(InstanceLock, HeldOnByteZeroUntilReleased)
{
    ASSERT_NE(SetExecName(nullptr), nullptr);
    RunState run;
    ExitIfNotOnlyInstance(run);  // the only instance: returns

    // Another open of the same file (reading is still shared) finds the byte
    // locked, and free again once the exit handler has run.
    HANDLE other = CreateFileA(GetExecName(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(LockFile(other, 0, 0, 1, 0));
    EXPECT_TRUE(LockFile(other, 1, 0, 1, 0));  // only byte 0 is taken
    UnlockFile(other, 1, 0, 1, 0);

    // Writing to the running launcher's file is refused while it runs.
    HANDLE writer = CreateFileA(GetExecName(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

    DeleteLockFile();
    EXPECT_TRUE(LockFile(other, 0, 0, 1, 0));
    UnlockFile(other, 0, 0, 1, 0);
    CloseHandle(other);
}

// Only a lock violation is another instance; a file system without
// byte-range locks lets the run go on.
TEST(InstanceLock, OnlyALockViolationMeansAnotherInstance)
{
    EXPECT_TRUE(LockHeldByAnotherInstance(ERROR_LOCK_VIOLATION));
    for (DWORD other : {ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION, ERROR_ACCESS_DENIED,
                        ERROR_INVALID_HANDLE})
        EXPECT_FALSE(LockHeldByAnotherInstance(other)) << other;
}

} // namespace
