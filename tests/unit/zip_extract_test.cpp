// Extraction below a directory: directory re-creation, the name prefix,
// files in the way, names that would leave the destination, and failures
// part-way through.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <windows.h>

#include <algorithm>
#include <map>
#include <chrono>
#include <mutex>
#include <condition_variable>
#include <ostream>
#include <string>
#include <vector>

#include "base/path.h"
#include "base/workers.h"
#include "unit/scratch_tree.h"
#include "unit/zip_test_support.h"
#include "unit/zip_writer.h"
#include "zip/archive.h"
#include "zip/entry_name.h"
#include "zip/extract.h"
#include "zip/fileio.h"
#include "unit/param_name.h"

using namespace ziptest;

namespace {

// What a directory holds: relative path (with "/") to contents, "<dir>" for
// directories.
using Tree = std::map<std::string, std::string>;

Tree ReadTree(const std::string &root)
{
    Tree tree;
    if (!fs::exists(root)) return tree;
    for (const auto &item : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(item.path(), root).generic_string();
        tree[relative] = item.is_directory() ? "<dir>" : ReadFile(item.path().string());
    }
    return tree;
}

Entry File(const std::string &name, const std::string &data, uint16_t method = 8)
{
    Entry e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}

struct ExtractCase {
    const char *label;
    std::vector<Entry> entries;
    const char *prefix;
    Tree before;        // made below the destination first ("<dir>" or contents)
    bool ok;
    Tree after;         // the destination afterwards
    // Files that may also be there, whole, after a failure: the workers may
    // have started on them before the failure was known.
    Tree mayAlso = {};
    const char *except = nullptr;
    // No other output file may be opened while the first one is written
    // (the seam holds that write back to give another worker the chance).
    bool oneAtATime = false;
};

void PrintTo(const ExtractCase &c, std::ostream *os)
{
    *os << c.label;
}

// `entries` as a payload behind a few program bytes in the scratch
// directory, opened.
OpenArchive OpenPayload(const Scratch &scratch, const std::vector<Entry> &entries)
{
    Layout layout;
    layout.front = "MZ";
    return OpenArchive(scratch, Build(entries, layout));
}

const Tree kNested = {{"a", "<dir>"}, {"a/b", "<dir>"}, {"a/b/c.txt", "see"}};

std::vector<ExtractCase> Cases()
{
    return {
        {"DirectoryEntries", {File("a/", ""), File("a/b/", ""), File("a/b/c.txt", "see")}, nullptr, {},
         true, kNested},
        {"NoDirectoryEntries", {File("a/b/c.txt", "see")}, nullptr, {}, true, kNested},
        {"StoredAndDeflated", {File("s.txt", "stored", 0), File("d/d.txt", std::string(9000, 'd'))},
         nullptr, {}, true, {{"s.txt", "stored"}, {"d", "<dir>"}, {"d/d.txt", std::string(9000, 'd')}}},
        {"DirectoryEntryOnly", {File("only/", "")}, nullptr, {}, true, {{"only", "<dir>"}}},
        {"FileInTheWay", {File("a/b/c.txt", "see")}, nullptr, {{"a", "in the way"}}, true, kNested},
        {"FileInTheWayOfDirectoryEntry", {File("a/", "")}, nullptr, {{"a", "x"}}, true, {{"a", "<dir>"}}},
        {"ExistingDirectoriesAreFine", {File("a/b/c.txt", "see")}, nullptr,
         {{"a", "<dir>"}, {"a/b", "<dir>"}}, true, kNested},
        {"LongerFileIsTruncated", {File("f.txt", "new")}, nullptr, {{"f.txt", std::string(3000, 'o')}},
         true, {{"f.txt", "new"}}},
        // Backslashes separate as slashes do; "." components mean "here".
        {"BackslashesMakeDirectories", {File("x\\y\\z.txt", "zed")}, nullptr, {}, true,
         {{"x", "<dir>"}, {"x/y", "<dir>"}, {"x/y/z.txt", "zed"}}},
        {"BackslashNameIntoExistingDirectory", {File("x\\y.txt", "why")}, nullptr, {{"x", "<dir>"}}, true,
         {{"x", "<dir>"}, {"x/y.txt", "why"}}},
        {"DotComponentsAreLeftOut",
         {File("./", ""), File("./package/", ""), File("./package/a.jar", "a"),
          File("package/./b.jar", "b"), File(".\\c.txt", "c"), File("d/.", "")},
         nullptr, {}, true,
         {{"package", "<dir>"}, {"package/a.jar", "a"}, {"package/b.jar", "b"}, {"c.txt", "c"},
          {"d", "<dir>"}}},
        {"PrefixMatchesTheNameWithoutDots",
         {File("./package/jre/bin/java.exe", "java"), File("./package/x.jar", "x")}, "package/jre",
         {}, true, {{"package", "<dir>"}, {"package/jre", "<dir>"}, {"package/jre/bin", "<dir>"},
                    {"package/jre/bin/java.exe", "java"}}},
        {"PrefixIsAPlainPrefix",
         {File("package/jre/bin/java.exe", "java"), File("package/lib/x.jar", "jar"),
          File("package/jre6/y", "six"), File("setup.class", "main")},
         "package/jre", {}, true,
         {{"package", "<dir>"}, {"package/jre", "<dir>"}, {"package/jre/bin", "<dir>"},
          {"package/jre/bin/java.exe", "java"}, {"package/jre6", "<dir>"}, {"package/jre6/y", "six"}}},
        {"PrefixIsCaseSensitive", {File("Package/jre/a", "a")}, "package/jre", {}, true, {}},
        {"SecondEntryFails",
         [] {
             std::vector<Entry> e = {File("first.txt", "one"), File("second.txt", "two"),
                                     File("third.txt", "three")};
             e[1].crc = Crc("two") ^ 0x100;
             return e;
         }(),
         nullptr, {}, false, {{"first.txt", "one"}, {"second.txt", "two"}}, {{"third.txt", "three"}}},
        // Two entries of one name (without case, as Windows compares
        // them): the later one's bytes, as if written one after another.
        {"SameNameTwice", {File("d/same.txt", std::string(70000, '1')), File("d/same.txt", "2")},
         nullptr, {}, true, {{"d", "<dir>"}, {"d/same.txt", "2"}}, {}, nullptr, true},
        {"SameNameInAnotherCase", {File("Same.txt", std::string(70000, '1')), File("same.TXT", "2")},
         nullptr, {}, true, {{"Same.txt", "2"}}, {}, nullptr, true},
        // A file, then a directory of that name: the directory replaces it.
        {"DirectoryWhereAFileWasJustWritten", {File("a", std::string(70000, 'a')), File("A/b.txt", "b")},
         nullptr, {}, true, {{"A", "<dir>"}, {"A/b.txt", "b"}}, {}, nullptr, true},
        // A part extracted before (the runtime) is passed over.
        {"ExceptIsPassedOver",
         {File("package/jre/bin/java.exe", "java"), File("package/lib.jar", "jar"), File("main.class", "m")},
         nullptr, {{"package", "<dir>"}}, true, {{"package/lib.jar", "jar"}, {"main.class", "m"}}, {},
         "package/jre"},
        // Entries left out by their central names cost no local header: a
        // damaged one is found by the walk that takes it, not by this one.
        {"LeftOutByTheCentralName",
         [] {
             std::vector<Entry> e = {File("package/lib.jar", "jar"), File("package/jre/bin/java.exe", "java")};
             e[0].localSignature = 0x04034B51;
             return e;
         }(),
         "package/jre", {}, true,
         {{"package", "<dir>"}, {"package/jre", "<dir>"}, {"package/jre/bin", "<dir>"},
          {"package/jre/bin/java.exe", "java"}}},
        {"PassedOverByTheCentralName",
         [] {
             std::vector<Entry> e = {File("package/jre/bin/java.exe", "java"), File("main.class", "m")};
             e[0].localSignature = 0x04034B51;
             return e;
         }(),
         nullptr, {}, true, {{"main.class", "m"}}, {}, "package/jre"},
        {"EntriesAfterAFailureAreLeft",
         [] {
             std::vector<Entry> e = {File("a/", ""), File("b.txt", "bee"), File("c.txt", "sea")};
             e[1].localSignature = 0x04034B51;
             return e;
         }(),
         nullptr, {}, false, {{"a", "<dir>"}}},
    };
}

class Extract : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(Extract, LeavesTheExpectedTree)
{
    Scratch scratch;
    const ExtractCase &c = GetParam();
    std::string destination = scratch.Path("dest");
    for (const auto &[name, contents] : c.before) {
        std::string path = scratch.Path("dest/" + name);
        fs::create_directories(fs::path(path).parent_path());
        if (contents == "<dir>")
            fs::create_directories(path);
        else
            WriteFile(path, contents);
    }
    OpenArchive zip = OpenPayload(scratch, c.entries);
    ASSERT_NE(zip.zip, nullptr);

    IoLog log;
    log.gateFirstWrite = c.oneAtATime;
    ExtractionSettings settings;
    settings.except = c.except;
    EXPECT_EQ(UnzipFiles(zip, destination.c_str(), c.prefix, settings), c.ok);
    EXPECT_EQ(log.overlaps, 0) << "a file was opened while one of the same name was written";
    EXPECT_FALSE(log.gateTimedOut);
    // The archive stays open for its owner, and no entry is left out.
    EXPECT_EQ(zip->refCount, 1);

    Tree want = c.after;
    // Whatever was there before and the extraction did not replace stays.
    for (const auto &[name, contents] : c.before)
        if (!want.count(name)) want[name] = contents;
    Tree got = ReadTree(destination);
    for (const auto &[name, contents] : c.mayAlso) {
        if (got.count(name) == 0) continue;
        EXPECT_EQ(got[name], contents) << name;
        got.erase(name);
    }
    EXPECT_EQ(got, want);
}

INSTANTIATE_TEST_SUITE_P(Zip, Extract, ::testing::ValuesIn(Cases()),
                         [](const auto &info) { return std::string(info.param.label); });

// Names that would land outside the destination, or that Windows would write
// under another name or open as a device, fail the extraction before anything
// is made for them.
class Traversal : public ::testing::TestWithParam<const char *> {};

TEST_P(Traversal, IsRefused)
{
    Scratch scratch;
    OpenArchive zip = OpenPayload(scratch, {File("ok.txt", "fine"), File(GetParam(), "evil")});
    ASSERT_NE(zip.zip, nullptr);
    std::string destination = scratch.Path("inner/dest");
    fs::create_directories(destination);
    EXPECT_FALSE(UnzipFiles(zip, destination.c_str(), nullptr));

    Tree all = ReadTree(scratch.Path());
    EXPECT_EQ(all.count("inner/dest/ok.txt"), 1u);
    for (const auto &[name, contents] : all)
        EXPECT_NE(contents, "evil") << name;
}

INSTANTIATE_TEST_SUITE_P(Zip, Traversal,
                         ::testing::Values("../evil.txt", "a/../../evil.txt", "..\\evil.txt",
                                           "a\\..\\..\\evil.txt", "..", "a/..", "/evil.txt",
                                           "\\evil.txt", "C:evil.txt", "C:\\evil.txt", "a:b",
                                           "a./evil.txt", "evil.txt.", "a /evil.txt", "evil.txt ",
                                           "./../evil.txt", ".\\..\\evil.txt", "a/./../../evil.txt",
                                           "CON", "./dir/nul.txt", "Com1",
                                           "lpt9.log", "conout$", "AUX/evil.txt",
                                           // characters Windows does not take in a name
                                           "a?b.txt", "a|b.txt", "a*", "a<b", "a>b",
                                           "a\"b", "tab\there.txt"),
                         PrintedName());

// Names flagged UTF-8: the same rules judge the decoded name, and a name
// that is not UTF-8 at all is refused.
class Utf8Traversal : public ::testing::TestWithParam<const char *> {};

TEST_P(Utf8Traversal, IsRefused)
{
    Scratch scratch;
    Entry evil = File(GetParam(), "evil");
    evil.flags = kZipUtf8Flag;
    OpenArchive zip = OpenPayload(scratch, {File("ok.txt", "fine"), evil});
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_FALSE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    for (const auto &item : fs::recursive_directory_iterator(scratch.Path())) {
        if (item.is_regular_file()) {
            EXPECT_NE(ReadFile(item.path().string()), "evil");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zip, Utf8Traversal,
                         ::testing::Values("\xE6\x97\xA5/../../evil.txt", "CON.\xE6\x97\xA5",
                                           "\xE6\x97\xA5.", "\xE6\x97\xA5 ", "a\xE2\x80\x8B?",
                                           // not UTF-8: cut off, stray, overlong, surrogate,
                                           // beyond U+10FFFF
                                           "x\xE6\x97", "\x97x", "\xC0\xAF" "evil.txt",
                                           "\xE0\x80\xAF", "\xED\xA0\x80",
                                           "\xF4\x90\x80\x80"),
                         PrintedName());

// Names flagged UTF-8 come out under their Unicode names, whatever the code
// page (Japanese, Thai and Greek have no form in 1252); unflagged names are
// read in the code page as before.
TEST(ZipExtract, Utf8NamesKeepEveryCharacter)
{
    Scratch scratch;
    const std::vector<std::string> names = {
        "\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt",
        "\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2.txt", "\xCE\xB1\xCE\xB2/\xC3\xA7" "a.txt"};
    std::vector<Entry> entries;
    for (const std::string &name : names) {
        entries.push_back(File(name, "data of " + name));
        entries.back().flags = kZipUtf8Flag;
    }
    OpenArchive zip = OpenPayload(scratch, entries);
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    for (const std::string &name : names) {
        std::ifstream in(fs::u8path(scratch.Path("d") + "/" + name), std::ios::binary);
        std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(contents, "data of " + name) << name;
    }
}

TEST(ZipExtract, DotsInsideNamesAndNamesLikeDevicesAreFine)
{
    Scratch scratch;
    OpenArchive zip = OpenPayload(scratch, {File("a..b/c...txt", "dots"), File("..x", "x"),
                                            File("console", "c"), File("com10", "t"),
                                            File("lpt0.txt", "z")});
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    EXPECT_EQ(ReadTree(scratch.Path("d")),
              (Tree{{"a..b", "<dir>"}, {"a..b/c...txt", "dots"}, {"..x", "x"},
                    {"console", "c"}, {"com10", "t"}, {"lpt0.txt", "z"}}));
}

// Enough files in enough directories to keep every worker busy: each one
// whole, nothing else.
TEST(ZipExtract, ManyFilesComeOutWhole)
{
    Scratch scratch;
    std::vector<Entry> entries;
    Tree want;
    for (int i = 0; i < 600; ++i) {
        const std::string folder = "p" + std::to_string(i % 7) + "/q" + std::to_string(i % 3);
        const std::string name = folder + "/f" + std::to_string(i) + ".txt";
        const std::string data = std::string(static_cast<size_t>(i * 37 % 3000), static_cast<char>('a' + i % 26));
        entries.push_back(File(name, data, static_cast<uint16_t>(i % 2 ? 8 : 0)));
        want[name] = data;
        want["p" + std::to_string(i % 7)] = "<dir>";
        want[folder] = "<dir>";
    }
    OpenArchive zip = OpenPayload(scratch, entries);
    ASSERT_NE(zip.zip, nullptr);
    IoLog log;
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    EXPECT_EQ(ReadTree(scratch.Path("d")), want);
    // Every worker wrote, and the calling thread none: no silent fallback.
    // Two workers a processor, eight at most, as the machine says.
    SYSTEM_INFO machine;
    GetSystemInfo(&machine);
    const size_t processors = machine.dwNumberOfProcessors;
    EXPECT_EQ(log.writers.size(), std::min<size_t>(2 * processors, 8));
    EXPECT_EQ(log.writers.count(std::this_thread::get_id()), 0u);
}

// A later entry that fails first leaves an earlier one to be written: the
// worker of the earlier file looks only once the later one has failed.
TEST(ZipExtract, EarlierFileIsWrittenAfterALaterOneFailed)
{
    if (WorkerCount(kMaxWorkers) < 2) GTEST_SKIP() << "one worker writes the files in order";
    Scratch scratch;
    std::vector<Entry> entries = {File("first.txt", "one"), File("bad.txt", "two")};
    entries[1].crc = Crc("two") ^ 0x100;
    OpenArchive zip = OpenPayload(scratch, entries);
    ASSERT_NE(zip.zip, nullptr);
    static std::mutex lock;
    static std::condition_variable changed;
    static bool laterDone, waitedTooLong;
    laterDone = waitedTooLong = false;
    zipTestEvent = [](ZipTestEvent event, int number) {
        std::unique_lock<std::mutex> hold(lock);
        if (number == 1 && event == ZipTestEvent::FileDone) {
            laterDone = true;
            changed.notify_all();
        } else if (number == 0 && event == ZipTestEvent::FileTaken) {
            waitedTooLong = !changed.wait_for(hold, std::chrono::seconds(60), [] { return laterDone; });
        }
    };
    const bool ok = UnzipFiles(zip, scratch.Path("d").c_str(), nullptr);
    zipTestEvent = nullptr;
    EXPECT_FALSE(ok);
    EXPECT_FALSE(waitedTooLong);
    EXPECT_EQ(ReadFile(scratch.Path("d/first.txt")), "one");
}

// Once an entry fails, the walk hands out no more and the workers start no
// more: of many entries behind the failing one, at most the few already
// queued are written, never the rest.
TEST(ZipExtract, NoEntryStartsLongAfterAFailure)
{
    Scratch scratch;
    std::vector<Entry> entries = {File("first.txt", "one"), File("bad.txt", "two")};
    entries[1].crc = Crc("two") ^ 0x100;
    const int later = 200;
    for (int i = 0; i < later; ++i)
        entries.push_back(File("later/" + std::to_string(i) + ".txt", std::string(3000, 'x')));
    OpenArchive zip = OpenPayload(scratch, entries);
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_FALSE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    int written = 0;
    for (const auto &item : ReadTree(scratch.Path("d")))
        if (item.first.rfind("later/", 0) == 0 && item.second != "<dir>") ++written;
    EXPECT_LE(written, 64) << "entries went on being written after the failure";
    EXPECT_EQ(ReadFile(scratch.Path("d/first.txt")), "one");
}

// Components end where the code page has a separator: in code page 932
// "\x95\x5C" is one character, so "<it>CON.txt" is one name and no device,
// while a real "/" before "nul" still makes a component of it.
TEST(ZipEntryName, SplitsAtTheSeparatorsOfTheCodePage)
{
    EXPECT_TRUE(zipIsSafeNameInCodePage("\x95\x5C" "CON.txt", 932));
    EXPECT_TRUE(zipIsSafeNameInCodePage("dir/\x95\x5C" "nul", 932));
    EXPECT_FALSE(zipIsSafeNameInCodePage("\x95\x5C/nul", 932));
    EXPECT_FALSE(zipIsSafeNameInCodePage("\x95\x5C" "a./b", 932));
    EXPECT_FALSE(zipIsSafeNameInCodePage("\x95\x5C" "CON.txt", 1252));

    std::string name;
    EXPECT_TRUE(zipExtractionName(".\\\x95\x5C" "\\a\x95\x5C", 932, &name));
    EXPECT_EQ(name, "\x95\x5C" "/a\x95\x5C");
    EXPECT_FALSE(zipExtractionName("\x95\x5C" "\\..\\x", 932, &name));
}

// The destination is compared in its full form: ".." in it holds nothing
// back.
TEST(ZipExtract, DestinationWithDotDotHoldsEverything)
{
    Scratch scratch;
    OpenArchive zip = OpenPayload(scratch, {File("a/b.txt", "bee")});
    ASSERT_NE(zip.zip, nullptr);
    fs::create_directories(scratch.Path("inner"));
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("inner/../d").c_str(), nullptr));
    EXPECT_EQ(ReadTree(scratch.Path("d")), (Tree{{"a", "<dir>"}, {"a/b.txt", "bee"}}));
}

TEST(ZipExtract, EmptyArchiveCreatesNothing)
{
    Scratch scratch;
    OpenArchive zip = OpenPayload(scratch, {});
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("never").c_str(), nullptr));
    EXPECT_FALSE(fs::exists(scratch.Path("never")));
}

TEST(ZipExtract, MissingDestinationIsCreatedAndAFileThereReplaced)
{
    Scratch scratch;
    OpenArchive zip = OpenPayload(scratch, {File("f", "x")});
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("new").c_str(), nullptr));
    WriteFile(scratch.Path("file"), "in the way");
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("file").c_str(), nullptr));
    EXPECT_EQ(ReadFile(scratch.Path("new/f")), "x");
    EXPECT_EQ(ReadFile(scratch.Path("file/f")), "x");
}

// A link where the payload puts a directory, planted before the extraction
// or swapped in for a directory while files are written into it, redirects
// no write out of the destination; a link where it puts a file is replaced
// by the file, its target left as it was.
std::string swapDirectory, swapTarget, swapUnixRoot;
bool swapped;

void SwapForALink(const char *name)
{
    if (std::string(name) != "first.txt") return;
    swapped = MoveFileA((swapDirectory + "\\a").c_str(), (swapDirectory + "\\moved").c_str());
    if (swapped) MakeDirectoryLink(swapDirectory + "\\a", swapTarget, &swapUnixRoot, swapDirectory);
}

TEST(ZipExtract, ALinkInTheTreeRedirectsNothing)
{
    Scratch scratch;
    std::vector<Entry> entries = {File("a/first.txt", "1")};
    for (int i = 0; i < 40; ++i) entries.push_back(File("a/f" + std::to_string(i) + ".txt", "f"));
    // Before the refused one: a failed entry stops the entries after it.
    entries.push_back(File("planted-file.txt", "from the payload"));
    entries.push_back(File("planted/x.txt", "x"));
    OpenArchive zip = OpenPayload(scratch, entries);
    ASSERT_NE(zip.zip, nullptr);

    ScratchTree outside("extract-outside");
    ScratchTree destination("extract-link");
    std::string plantedRoot;
    ASSERT_TRUE(MakeDirectoryLink(destination.Path("planted"), outside.root(), &plantedRoot,
                                  destination.root()))
        << "no directory link could be made, so the guard goes untested";
    const std::string victim = outside.File("victim.txt", "kept");
    std::string plantedFileRoot;
    ASSERT_TRUE(MakeLink(destination.Path("planted-file.txt"), victim, false, &plantedFileRoot,
                         destination.root()));
    swapDirectory = destination.root();
    swapTarget = outside.root();
    swapUnixRoot.clear();
    swapped = false;

    IoLog log;
    log.beforeCreate = SwapForALink;
    ExtractionCounts counts;
    EXPECT_FALSE(UnzipFiles(zip, destination.root().c_str(), nullptr, {}, &counts));
    log.beforeCreate = nullptr;

    EXPECT_EQ(counts.refused, "planted/x.txt");
    EXPECT_EQ(ReadTree(outside.root()), (Tree{{"victim.txt", "kept"}}))
        << "a write went through a link";
    EXPECT_EQ(ReadFile(destination.Path("planted-file.txt")), "from the payload");
    // A directory is held while files are written into it: it cannot be
    // moved aside for a link, and every file lands in it.
    EXPECT_FALSE(swapped) << "a directory in use was moved away";
    EXPECT_EQ(ReadTree(destination.Path("a")).size(), 41u);
    for (const std::string &root : {plantedRoot, plantedFileRoot, swapUnixRoot})
        if (!root.empty()) RunUnix("Z:\\bin\\rm -rf \"" + root + "\"");
    WaitFor(IsGone, destination.root());
}

TEST(ZipExtract, NullArchiveOrDestinationFails)
{
    Scratch scratch;
    OpenArchive zip = OpenPayload(scratch, {File("f", "x")});
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_FALSE(UnzipFiles(nullptr, scratch.Path("d").c_str(), nullptr));
    EXPECT_FALSE(UnzipFiles(zip, nullptr, nullptr));
}

// Names longer than the first path buffer take a larger one.
// A path longer than MAX_PATH reaches the file calls whole (the path buffer
// grows to fit) and the entry's data is written through it. Whether the
// platform's 8-bit calls take such a path is theirs to decide, so the file
// layer follows it to a stand-in file.
// A deep entry below a long destination passes MAX_PATH, which the 8-bit
// file calls do not take (Wine's CreateDirectoryA neither): it is written
// whole all the same, and read back here through the extended-length form.
TEST(ZipExtract, LongNames)
{
    Scratch scratch;
    // Directories past MAX_PATH too, not just the file.
    std::string name = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" +
                       std::string(100, 'g') + "/" + std::string(120, 'f');
    OpenArchive zip = OpenPayload(scratch, {File(name, "long"), File("short", "s")});
    ASSERT_NE(zip.zip, nullptr);
    const std::string destination = scratch.Path("d");
    EXPECT_TRUE(UnzipFiles(zip, destination.c_str(), nullptr));

    std::string windowsName = name;
    for (char &c : windowsName)
        if (c == '/') c = '\\';
    const std::string full = destination + "\\" + windowsName;
    ASSERT_GE(full.size(), 260u);
    std::string content;
    if (FILE *file = _wfopen(ExtendedLengthPath(full.c_str()).c_str(), L"rb")) {
        char buffer[16];
        content.assign(buffer, fread(buffer, 1, sizeof buffer, file));
        fclose(file);
    }
    EXPECT_EQ(content, "long");
    EXPECT_EQ(ReadFile(scratch.Path("d\\short")), "s");

    // The scratch directory's own removal stops at MAX_PATH: take the deep
    // part away first, deepest first.
    std::string deep = full;
    DeleteFileW(ExtendedLengthPath(deep.c_str()).c_str());
    for (int level = 0; level < 3; ++level) {
        deep.erase(deep.rfind('\\'));
        RemoveDirectoryW(ExtendedLengthPath(deep.c_str()).c_str());
    }
}

} // namespace

namespace {

// The launcher holds a byte-range lock on the first byte of its own file
// while it reads the payload, so no read of the archive code may touch it.
TEST(ZipExtract, NoReadTouchesTheFirstByteOfAProgram)
{
    Scratch scratch;
    std::string archive = scratch.Path("setup.exe");
    Layout layout;
    layout.front = std::string(70000, '\x90');
    layout.front.replace(0, 2, "MZ");
    WriteFile(archive, Build({File("a/b.txt", std::string(20000, 'b')), File("c", "see", 0)}, layout));

    IoLog log;
    ZipArchive *zip = zipOpen(archive.c_str(), nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    zipClose(zip);
    ASSERT_FALSE(log.readAt.empty());
    for (int32_t at : log.readAt) EXPECT_GT(at, 0);
    EXPECT_EQ(ReadFile(scratch.Path("d/a/b.txt")), std::string(20000, 'b'));
}

} // namespace

namespace {

// An 8.3 alias names its long name's file: the extraction writes it alone,
// after the long name's bytes, into that one file. The alias is the one
// the system gives that long name (under Wine a hashed one).
TEST(ZipExtract, ShortAliasIsWrittenAloneIntoItsLongNamesFile)
{
    Scratch scratch;
    const std::string longName = "Long File Name.text";
    fs::create_directories(scratch.Path("probe"));
    WriteFile(scratch.Path("probe\\" + longName), "");
    char shortPath[MAX_PATH];
    const DWORD length =
        GetShortPathNameA(scratch.Path("probe\\" + longName).c_str(), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string alias(shortPath, length);
    alias = alias.substr(alias.rfind('\\') + 1);
    ASSERT_NE(alias.find('~'), std::string::npos) << alias;

    OpenArchive zip = OpenPayload(scratch, {File(longName, std::string(70000, '1')), File(alias, "2")});
    ASSERT_NE(zip.zip, nullptr);
    IoLog log;
    log.gateFirstWrite = true;
    EXPECT_TRUE(UnzipFiles(zip, scratch.Path("d").c_str(), nullptr));
    EXPECT_EQ(log.overlaps, 0) << "the alias was opened while its long name was written";
    EXPECT_FALSE(log.gateTimedOut);
    EXPECT_EQ(ReadTree(scratch.Path("d")), (Tree{{longName, "2"}}));
}

} // namespace
