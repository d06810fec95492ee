// Recursive removal of the working directory: what goes, what stays, and
// that nothing outside the given path is ever touched.
#include "launcher/tree_removal.h"
#include "launcher/tree_removal_internal.h"
#include "base/file_safety.h"
#include "base/path.h"
#include "unit/scratch_tree.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// A tree with files at several depths, empty and full directories, and one
// directory big enough that entries are removed while it is still listed.
void BuildNestedTree(const ScratchTree &tree)
{
    tree.File("top.txt");
    tree.File("a\\b\\c\\deep.txt", "deep");
    tree.File("a\\b\\middle.txt");
    tree.File("a\\side.bin", std::string(70000, 'z'));
    tree.Dir("a\\empty");
    tree.Dir("d\\e\\f");
    for (int i = 0; i < 300; ++i) tree.File("many\\file" + std::to_string(i) + ".txt");

    // What the 8-bit calls can neither list nor delete: a path beyond
    // MAX_PATH, and a name outside the ANSI code page.
    std::string deep = tree.Dir("long");
    for (int level = 0; level < 6; ++level) {
        deep += "\\" + std::string(50, 'd');
        CreateDirectoryW(ExtendedLengthPath(deep.c_str()).c_str(), nullptr);
    }
    for (const std::string &directory : {deep, tree.Path("")}) {
        const std::wstring name = ExtendedLengthPath(directory.c_str()) + L"\\\u0e01.txt";
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << directory;
        CloseHandle(file);
    }
}

// The removal alone, and with workers deleting the files: the same result.
const int kWorkerCounts[] = {0, 3};

TEST(DeleteFilesAndDirectories, RemovesNestedTreeAndTheDirectoryItself)
{
    for (int workers : kWorkerCounts) {
        ScratchTree tree("cleanup-nested");
        BuildNestedTree(tree);
        DeleteFilesAndDirectories(tree.root().c_str(), nullptr, workers);
        EXPECT_FALSE(tree.Exists("")) << workers << " workers";
    }
}

TEST(DeleteFilesAndDirectories, RemovesASingleFile)
{
    ScratchTree tree("cleanup-file");
    tree.File("only.txt");
    tree.File("other.txt");
    DeleteFilesAndDirectories(tree.Path("only.txt").c_str(), nullptr);
    EXPECT_FALSE(tree.Exists("only.txt"));
    EXPECT_TRUE(tree.Exists("other.txt"));
}

TEST(DeleteFilesAndDirectories, TrailingBackslashesNameTheSameDirectory)
{
    for (const char *suffix : {"\\", "\\\\"}) {
        ScratchTree tree("cleanup-trailing");
        BuildNestedTree(tree);
        DeleteFilesAndDirectories((tree.root() + suffix).c_str(), nullptr);
        EXPECT_FALSE(tree.Exists("")) << "suffix " << suffix;
    }
}

// A file that cannot be deleted keeps itself and every directory above it;
// everything beside that chain still goes.
enum class Blocker { ReadOnly, HeldOpen };

class BlockedFileTest : public testing::TestWithParam<Blocker> {};

TEST_P(BlockedFileTest, StaysWithEveryDirectoryAboveIt)
{
    for (int workers : kWorkerCounts) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    ScratchTree tree("cleanup-blocked");
    BuildNestedTree(tree);
    tree.File("a\\b\\c\\stuck.txt");
    tree.File("a\\b\\c\\beside.txt");
    std::string stuck = tree.Path("a\\b\\c\\stuck.txt");

    HANDLE held = INVALID_HANDLE_VALUE;
    if (GetParam() == Blocker::ReadOnly) {
        ASSERT_TRUE(SetFileAttributesA(stuck.c_str(), FILE_ATTRIBUTE_READONLY));
    } else {
        held = CreateFileA(stuck.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }

    DeleteFilesAndDirectories(tree.root().c_str(), nullptr, workers);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

    for (const char *kept : {"", "a", "a\\b", "a\\b\\c", "a\\b\\c\\stuck.txt"}) {
        EXPECT_TRUE(tree.Exists(kept)) << "should stay: " << kept;
    }
    for (const char *gone : {"top.txt", "a\\side.bin", "a\\empty", "a\\b\\middle.txt",
                             "a\\b\\c\\deep.txt", "a\\b\\c\\beside.txt", "d", "many"}) {
        EXPECT_FALSE(tree.Exists(gone)) << "should be gone: " << gone;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(Blockers, BlockedFileTest,
                         testing::Values(Blocker::ReadOnly, Blocker::HeldOpen),
                         [](const testing::TestParamInfo<Blocker> &info) {
                             return info.param == Blocker::ReadOnly ? "ReadOnly" : "HeldOpen";
                         });

// Paths that must never remove anything, given as text to append to the
// scratch tree's root ("" for none); `relative` ones are tried from the
// scratch tree's parent as the current directory.
struct UntouchedCase {
    const char *name;
    std::string (*path)(const ScratchTree &);
};

class UntouchedPathTest : public testing::TestWithParam<UntouchedCase> {};

TEST_P(UntouchedPathTest, LeavesTheTreeAlone)
{
    ScratchTree tree("cleanup-untouched");
    BuildNestedTree(tree);
    std::string parent = tree.root().substr(0, tree.root().rfind('\\'));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(parent.c_str()));

    std::string path = GetParam().path(tree);
    DeleteFilesAndDirectories(path.c_str(), nullptr);
    SetCurrentDirectoryA(previous);

    EXPECT_TRUE(tree.Exists("a\\b\\c\\deep.txt")) << path;
    EXPECT_TRUE(tree.Exists("many\\file299.txt")) << path;
}

std::string LeafName(const ScratchTree &tree)
{
    return tree.root().substr(tree.root().rfind('\\') + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UntouchedPathTest,
    testing::Values(
        UntouchedCase{"Relative", [](const ScratchTree &t) { return LeafName(t); }},
        UntouchedCase{"DotRelative", [](const ScratchTree &t) { return ".\\" + LeafName(t); }},
        UntouchedCase{"ForwardSlash", [](const ScratchTree &t) { return "/" + LeafName(t); }},
        UntouchedCase{"EndsWithDot", [](const ScratchTree &t) { return t.root() + "\\."; }},
        UntouchedCase{"EndsWithDotDot", [](const ScratchTree &t) { return t.Path("a") + "\\.."; }},
        UntouchedCase{"Missing", [](const ScratchTree &t) { return t.Path("no-such"); }}),
    [](const testing::TestParamInfo<UntouchedCase> &info) { return info.param.name; });

TEST(DeleteFilesAndDirectories, NullPathDoesNothing)
{
    // Not even to the current directory, which a null path might be taken for.
    ScratchTree tree("cleanup-null");
    BuildNestedTree(tree);
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(tree.root().c_str()));
    DeleteFilesAndDirectories(nullptr, nullptr);
    const char *const keep[] = {nullptr};
    DeleteFilesAndDirectories(nullptr, keep);
    SetCurrentDirectoryA(previous);

    EXPECT_TRUE(tree.Exists("top.txt"));
    EXPECT_TRUE(tree.Exists("a\\b\\c\\deep.txt"));
    EXPECT_TRUE(tree.Exists("many\\file299.txt"));
}

TEST(DeleteFilesAndDirectories, KeepListSparesExactPathsAndWhatHoldsThem)
{
    for (int workers : kWorkerCounts) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    ScratchTree tree("cleanup-keep");
    BuildNestedTree(tree);
    tree.File("d\\e\\f\\inside.txt");
    std::string keptFile = tree.Path("a\\b\\middle.txt");
    std::string keptDir = tree.Path("d\\e");
    // Compared exactly: a different case or a trailing backslash names no
    // entry of the list, so those files go.
    tree.File("top2.txt");
    tree.File("many2\\x.txt");
    std::string otherCase = tree.Path("TOP2.TXT");
    std::string withSlash = tree.Path("many2") + "\\";
    const char *const keep[] = {keptFile.c_str(), keptDir.c_str(), otherCase.c_str(),
                                withSlash.c_str(), nullptr};

    DeleteFilesAndDirectories(tree.root().c_str(), keep, workers);

    for (const char *kept : {"", "a", "a\\b", "a\\b\\middle.txt", "d", "d\\e", "d\\e\\f\\inside.txt"}) {
        EXPECT_TRUE(tree.Exists(kept)) << "should stay: " << kept;
    }
    for (const char *gone : {"top.txt", "top2.txt", "many2", "a\\b\\c", "a\\side.bin", "many"}) {
        EXPECT_FALSE(tree.Exists(gone)) << "should be gone: " << gone;
    }
    }
}

TEST(DeleteFilesAndDirectories, KeepingTheRootKeepsEverything)
{
    ScratchTree tree("cleanup-keeproot");
    BuildNestedTree(tree);
    const char *const keep[] = {tree.root().c_str(), nullptr};
    DeleteFilesAndDirectories(tree.root().c_str(), keep);
    EXPECT_TRUE(tree.Exists("a\\b\\c\\deep.txt"));
}

// --- links -----------------------------------------------------------------

struct ClassifyCase {
    DWORD attributes;
    RemovalAction action;
};

void PrintTo(const ClassifyCase &c, std::ostream *os)
{
    *os << "attributes 0x" << std::hex << c.attributes;
}

class ClassifyForRemovalTest : public testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyForRemovalTest, DecidesFromAttributes)
{
    EXPECT_EQ(ClassifyForRemoval(GetParam().attributes), GetParam().action)
        << std::hex << GetParam().attributes;
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, ClassifyForRemovalTest,
    testing::Values(
        ClassifyCase{INVALID_FILE_ATTRIBUTES, RemovalAction::Leave},
        ClassifyCase{FILE_ATTRIBUTE_NORMAL, RemovalAction::DeleteFile},
        ClassifyCase{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, RemovalAction::DeleteFile},
        ClassifyCase{FILE_ATTRIBUTE_DIRECTORY, RemovalAction::RemoveTree},
        ClassifyCase{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY, RemovalAction::RemoveTree},
        ClassifyCase{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT,
                     RemovalAction::RemoveLink},
        ClassifyCase{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE,
                     RemovalAction::DeleteFile}),
                         PrintedName());

TEST(DeleteFilesAndDirectories, NeverFollowsADirectoryLinkOutOfTheTree)
{
    ScratchTree outside("cleanup-outside");
    outside.File("precious.txt", "keep me");
    outside.File("sub\\more.txt", "keep me too");
    ScratchTree tree("cleanup-link");
    BuildNestedTree(tree);

    std::string unixRoot;
    // Under Wine a Unix link always serves: failing to make one is a broken
    // test environment, not a reason to pass.
    ASSERT_TRUE(MakeDirectoryLink(tree.Path("a\\link"), outside.root(), &unixRoot, tree.root()))
        << "no directory link could be made, so the link guard goes untested";

    // Workers delete the files; the walk alone decides about the link.
    DeleteFilesAndDirectories(tree.root().c_str(), nullptr, 3);

    EXPECT_TRUE(outside.Exists("precious.txt"));
    EXPECT_TRUE(outside.Exists("sub\\more.txt"));
    EXPECT_FALSE(tree.Exists("a\\b")) << "the rest of the tree still goes";
    EXPECT_FALSE(tree.Exists("many"));
    if (unixRoot.empty()) {
        // A Windows link is removed as a link, and then the tree is empty.
        EXPECT_FALSE(tree.Exists(""));
    } else {
        // Wine cannot remove a Unix link through the Windows calls (it acts
        // on the target, which is not empty); the link and the directories
        // holding it stay. Clear them up from the Unix side.
        RunUnix("Z:\\bin\\rm -rf \"" + unixRoot + "\"");
        WaitFor(IsGone, tree.root());
    }
}

// The swap the removal's hook makes: the directory named kSwapped is moved
// aside and a link to swapTarget put in its place, after the listing showed
// the directory and before the removal opens it.
const wchar_t kSwapped[] = L"swap";
std::string swapParent, swapTarget, swapUnixRoot;

void SwapForALink(HANDLE, const wchar_t *name, size_t length)
{
    if (std::wstring(name, length) != kSwapped) return;
    MoveFileA((swapParent + "\\swap").c_str(), (swapParent + "\\moved").c_str());
    MakeDirectoryLink(swapParent + "\\swap", swapTarget, &swapUnixRoot, swapParent);
}

TEST(DeleteFilesAndDirectories, ADirectorySwappedForALinkMidwayIsNotFollowed)
{
    for (int workers : kWorkerCounts) {
        ScratchTree outside("cleanup-swap-outside");
        outside.File("precious.txt", "keep me");
        ScratchTree tree("cleanup-swap");
        tree.File("swap\\inner.txt");
        tree.File("other.txt");
        swapParent = tree.root();
        swapTarget = outside.root();
        swapUnixRoot.clear();
        BetweenListingAndUse = SwapForALink;
        DeleteFilesAndDirectories(tree.root().c_str(), nullptr, workers);
        BetweenListingAndUse = nullptr;

        ASSERT_TRUE(IsLink(tree.Path("swap"))) << "the hook made no link, so nothing was tested";
        EXPECT_TRUE(outside.Exists("precious.txt")) << workers << " workers";
        EXPECT_FALSE(tree.Exists("other.txt"));
        if (!swapUnixRoot.empty()) {
            RunUnix("Z:\\bin\\rm -rf \"" + swapUnixRoot + "\"");
            WaitFor(IsGone, tree.root());
        }
    }
}

// A stop request ends the removal between entries: the rest stays, and the
// directory with it.
int stopAfter;
bool StopAfterSome()
{
    return --stopAfter < 0;
}

TEST(DeleteFilesAndDirectories, AStopRequestLeavesTheRest)
{
    for (int workers : kWorkerCounts) {
        ScratchTree tree("cleanup-stop");
        BuildNestedTree(tree);
        stopAfter = 20;
        HANDLE held = CreateFileA(tree.root().c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        DeleteHeldDirectory(held, tree.root().c_str(), workers, NoTrace(), StopAfterSome);
        int left = 0;
        for (int i = 0; i < 300; ++i) left += tree.Exists("many\\file" + std::to_string(i) + ".txt");
        EXPECT_GE(left, 280) << workers << " workers";
        EXPECT_TRUE(tree.Exists(""));
    }
}

// The removal keeps its own stack: it is run with little more stack left
// than one walk needs, far less than a walk that recursed once per level
// would. The thread's stack is used up first, down to that rest: Wine gives
// every thread at least 1 MiB, whatever size it was asked for.
const size_t kStackLeft = 24 * 1024;  // 60 bytes a level of the tree below

DWORD WINAPI RemoveDeepTree(void *root)
{
    MEMORY_BASIC_INFORMATION stack = {};
    VirtualQuery(&stack, &stack, sizeof stack);
    const ULONG_PTR low = reinterpret_cast<ULONG_PTR>(stack.AllocationBase);
    const ULONG_PTR here = reinterpret_cast<ULONG_PTR>(&stack);
    if (here - low <= kStackLeft) return 2;
    // alloca probes each page it takes, so the stack is committed as Windows
    // would grow it.
    volatile char *used = static_cast<char *>(alloca(here - low - kStackLeft));
    used[0] = 0;
    DeleteFilesAndDirectories(static_cast<const char *>(root), nullptr, 3);
    return used[0];
}

TEST(DeleteFilesAndDirectories, RemovesATreeOfAnyDepthOnASmallStack)
{
    ScratchTree tree("cleanup-deep");
    // Made below each level's handle: the path soon outgrows what a path
    // call takes.
    HANDLE level = CreateFileA(tree.root().c_str(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(level, INVALID_HANDLE_VALUE);
    const int kDepth = 400;
    for (int depth = 0; depth < kDepth && level != nullptr; ++depth) {
        DWORD error = 0;
        HANDLE next = OpenBelow(level, L"d", 1, FILE_LIST_DIRECTORY, FILE_CREATE,
                                FILE_DIRECTORY_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                &error);
        CloseHandle(level);
        level = next;
        ASSERT_NE(level, nullptr) << "level " << depth << ", error " << error;
    }
    CloseHandle(level);
    HANDLE thread = CreateThread(nullptr, 64 * 1024, RemoveDeepTree, const_cast<char *>(tree.root().c_str()),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(tree.Exists(""));
}

} // namespace

namespace {

// A drive root ("X:\") names a whole drive: a path that ends with its
// backslash is removed only as the path without it ("X:", which names no
// directory), never by listing the root. Checked on a scratch tree mapped to
// a spare drive letter, so a fault could only ever empty the scratch tree.
// Windows maps it with DefineDosDevice; Wine takes its drives from the links
// in the prefix's dosdevices directory, so one is made there for the test.
class DriveMapping {
public:
    DriveMapping(const std::string &target, const std::string &probe)
    {
        for (char letter = 'Q'; letter <= 'Y' && drive_.empty(); ++letter) {
            char root[] = {letter, ':', '\\', '\0'};
            if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) drive_ = std::string(1, letter) + ":";
        }
        if (drive_.empty()) return;
        std::string probePath = drive_ + "\\" + probe;
        if (DefineDosDeviceA(0, drive_.c_str(), target.c_str())) {
            defined_ = target;
            if (Reaches(probePath)) return;
            Undefine();
        }
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        auto toUnix = reinterpret_cast<UnixFileNameFn>(
            reinterpret_cast<void *>(GetProcAddress(kernel, "wine_get_unix_file_name")));
        if (toUnix == nullptr) return;
        std::string cDrive = UnixFileName(toUnix, "C:\\");
        size_t at = cDrive.find("/dosdevices/");
        if (at == std::string::npos) return;
        unixLink_ = cDrive.substr(0, at) + "/dosdevices/" + char(drive_[0] - 'A' + 'a') + ":";
        if (!RunUnix("Z:\\bin\\ln -s \"" + UnixFileName(toUnix, target) + "\" \"" + unixLink_ +
                     "\"")) {
            unixLink_.clear();
            return;
        }
        WaitFor(Reaches, probePath);
    }
    ~DriveMapping()
    {
        Undefine();
        if (!unixLink_.empty()) {
            std::string probe = drive_ + "\\";
            RunUnix("Z:\\bin\\rm -f \"" + unixLink_ + "\"");
            WaitFor(IsGone, probe);
        }
    }

    // The drive ("Q:") when it reaches `probe` below the target, else empty.
    std::string Drive(const std::string &probe) const
    {
        return !drive_.empty() && Reaches(drive_ + "\\" + probe) ? drive_ : std::string();
    }

private:
    static bool Reaches(const std::string &path)
    {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    void Undefine()
    {
        if (defined_.empty()) return;
        DefineDosDeviceA(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(),
                         defined_.c_str());
        defined_.clear();
    }

    std::string drive_, defined_, unixLink_;
};

TEST(DeleteFilesAndDirectories, DriveRootIsNeverEmptied)
{
    ScratchTree tree("cleanup-root");
    BuildNestedTree(tree);
    std::string drive;
    {
        DriveMapping mapping(tree.root(), "a\\b\\c\\deep.txt");
        drive = mapping.Drive("a\\b\\c\\deep.txt");
        if (!drive.empty()) {
            DeleteFilesAndDirectories((drive + "\\").c_str(), nullptr);
            DeleteFilesAndDirectories(drive.c_str(), nullptr);
        }
    }
    if (drive.empty()) GTEST_SKIP() << "cannot map a spare drive letter to a directory here";

    EXPECT_TRUE(tree.Exists("a\\b\\c\\deep.txt"));
    EXPECT_TRUE(tree.Exists("many\\file0.txt"));
    EXPECT_TRUE(tree.Exists("top.txt"));
}

} // namespace
