// The archive reader: open and its format checks, the end-record search,
// the prefix shift, the index limits, lookup by name and the sharing of open
// archives. Every archive is built here with the in-test writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unit/zip_test_support.h"
#include "unit/zip_writer.h"
#include "zip/archive.h"
#include "zip/archive_internal.h"
#include "zip/entry_data.h"
#include "zip/fileio.h"
#include "zip/signed_image.h"
#include "unit/param_name.h"

using namespace ziptest;

namespace {

// Runs readCEN on a record of our own, so that its message can be seen (a
// failed open frees the record that holds it).
struct CenResult {
    int64_t result;
    std::string message;
};

CenResult ReadCentral(const std::string &path)
{
    ZipArchive *zip = allocZip(path.c_str());
    zip->fd = fileOpen(path.c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    EXPECT_GE(zip->fd, 0);
    CenResult r{readCEN(zip), zip->lastError ? zip->lastError : ""};
    fileClose(zip->fd);
    freeZip(zip);
    return r;
}

std::vector<Entry> TwoEntries()
{
    Entry a;
    a.name = "a.txt";
    a.data = "alpha";
    Entry b;
    b.name = "dir/b.txt";
    b.data = std::string(3000, 'b');
    b.method = 8;
    return {a, b};
}

// --- Format messages of the central directory -----------------------------

struct CenCase {
    const char *label;
    void (*tamper)(std::vector<Entry> &entries, Layout &layout);
    const char *message;
};

const CenCase kCenCases[] = {
    {"CentralSizeBeyondEnd", [](std::vector<Entry> &, Layout &l) { l.centralSize = 100000; },
     "invalid END header (bad central directory size)"},
    {"CentralSizeNegative", [](std::vector<Entry> &, Layout &l) { l.centralSize = 0x80000000u; },
     "invalid END header (bad central directory size)"},
    {"CentralOffsetBeyond", [](std::vector<Entry> &, Layout &l) { l.centralOffset = 5000; },
     "invalid END header (bad central directory offset)"},
    {"CentralOffsetNegative", [](std::vector<Entry> &, Layout &l) { l.centralOffset = 0xFFFFFFF0u; },
     "invalid END header (bad central directory offset)"},
    {"EntryCountTooLarge", [](std::vector<Entry> &, Layout &l) { l.entryCount = 3; },
     "invalid END header (bad entry count)"},
    {"HeaderRunsOutOfDirectory",
     [](std::vector<Entry> &e, Layout &l) {
         // Two headers' worth of bytes, but the second header starts too late.
         e.pop_back();
         e[0].name = std::string(60, 'n');
         l.entryCount = 2;
     },
     "invalid CEN header (bad header size)"},
    {"CommentRunsOutOfDirectory", [](std::vector<Entry> &e, Layout &) { e[1].commentLength = 500; },
     "invalid CEN header (bad header size)"},
    {"BadSignature", [](std::vector<Entry> &e, Layout &) { e[1].centralSignature = 0x02014B51; },
     "invalid CEN header (bad signature)"},
    {"Encrypted", [](std::vector<Entry> &e, Layout &) { e[1].flags = 1; },
     "invalid CEN header (encrypted entry)"},
    {"Method12", [](std::vector<Entry> &e, Layout &) { e[0].method = 12; },
     "invalid CEN header (bad compression method)"},
    // A saturated field promises a ZIP64 extra field that holds the value.
    {"SizeSaturatedWithoutZip64Extra",
     [](std::vector<Entry> &e, Layout &) { e[0].uncompressedSize = 0xFFFFFFFFu; },
     "invalid CEN header (zip64 extra field missing)"},
    {"Zip64ExtraLacksAField",
     [](std::vector<Entry> &e, Layout &) {
         e[1].compressedSize = e[1].uncompressedSize = 0xFFFFFFFFu;
         e[1].centralExtra = Zip64Extra({3000});
     },
     "invalid CEN header (bad zip64 extra field)"},
    {"ExtraRecordRunsPastItsField",
     [](std::vector<Entry> &e, Layout &) {
         e[1].compressedSize = 0xFFFFFFFFu;
         e[1].centralExtra = Zip64Extra({1, 2}).substr(0, 12);
     },
     "invalid CEN header (bad extra field)"},
    // Bounded so that no sum of sizes (the free-space check) can overflow.
    {"Zip64SizeBeyond1TiB",
     [](std::vector<Entry> &e, Layout &) {
         e[0].uncompressedSize = 0xFFFFFFFFu;
         e[0].centralExtra = Zip64Extra({(1ull << 40) + 1});
     },
     "invalid CEN header (bad entry size)"},
    {"Zip64SizeBeyond63Bits",
     [](std::vector<Entry> &e, Layout &) {
         e[1].compressedSize = 0xFFFFFFFFu;
         e[1].centralExtra = Zip64Extra({0x8000000000000000ull});
     },
     "invalid CEN header (bad entry size)"},
    {"Zip64OffsetBeyond62Bits",
     [](std::vector<Entry> &e, Layout &) {
         e[1].localOffset = 0xFFFFFFFFu;
         e[1].centralExtra = Zip64Extra({0xFFFFFFFFFFFFFFF0ull});
     },
     "invalid CEN header (bad local header offset)"},
    // The ZIP64 end record, where the end record promises one.
    {"Zip64EndRecordMissing", [](std::vector<Entry> &, Layout &l) {
         l.zip64 = true;
         l.zip64Signature = 0x06064B51;
     },
     "invalid zip64 END header (not found where its locator says)"},
    {"Zip64CountsDisagree", [](std::vector<Entry> &, Layout &l) {
         l.zip64 = true;
         l.zip64EntryCount = 3;
     },
     "invalid zip64 END header (entry counts disagree)"},
    {"Zip64CentralSizeBeyondEnd", [](std::vector<Entry> &, Layout &l) {
         l.zip64 = true;
         l.zip64CentralSize = 0x100000000ull;
     },
     "invalid END header (bad central directory size)"},
    {"Zip64CentralOffsetBeyond", [](std::vector<Entry> &, Layout &l) {
         l.zip64 = true;
         l.zip64CentralOffset = 0x7FFFFFFFFFFFFFFFull;
     },
     "invalid END header (bad central directory offset)"},
};

void PrintTo(const CenCase &c, std::ostream *os)
{
    *os << c.label;
}

class CenMessage : public ::testing::TestWithParam<CenCase> {};

TEST_P(CenMessage, FailsOpenWithItsMessage)
{
    Scratch scratch;
    std::vector<Entry> entries = TwoEntries();
    Layout layout;
    GetParam().tamper(entries, layout);
    std::string path = scratch.Path("t.zip");
    WriteFile(path, Build(entries, layout));

    CenResult r = ReadCentral(path);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.message, GetParam().message);

    int error = 7;
    EXPECT_EQ(zipOpen(path.c_str(), &error), nullptr);
    EXPECT_EQ(error, kZipDamaged);
    EXPECT_EQ(zfiles, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Zip, CenMessage, ::testing::ValuesIn(kCenCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(ZipReader, TooManyEntriesComesBeforeReadingTheDirectory)
{
    // A ZIP64 count one beyond the limit, behind a directory of that many
    // headers' worth of bytes that the file leaves sparse: refused before
    // a byte of it is read.
    Scratch scratch;
    Layout layout;
    layout.zip64 = true;
    const uint64_t count = static_cast<uint64_t>(kZipMaxEntries) + 1;
    layout.zip64EntryCount = count;
    layout.zip64CentralSize = count * 46;
    layout.zip64CentralOffset = 0;
    std::string tail = Build({}, layout);
    // The disk's count in the record stays 0: make it agree with the total.
    for (int i = 0; i < 8; ++i) tail[24 + i] = tail[32 + i];
    std::string path = scratch.Path("t.zip");
    int fd = fileOpen(path.c_str(), FILEIO_WRONLY | FILEIO_CREAT | FILEIO_TRUNC | FILEIO_BINARY,
                      FILEIO_S_IREAD | FILEIO_S_IWRITE);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fileSeek(fd, static_cast<int64_t>(count * 46), SEEK_SET),
              static_cast<int64_t>(count * 46));
    ASSERT_EQ(fileWrite(fd, tail.data(), static_cast<unsigned>(tail.size())),
              static_cast<int>(tail.size()));
    fileClose(fd);
    EXPECT_EQ(ReadCentral(path).message, "too many entries in ZIP file");
}

// ZIP64 archives as the tools write them: the end record saturated, the
// numbers in the ZIP64 end record; in front of a program (offsets from the
// archive's start or from the file's), and with the record apart from its
// locator; an entry whose sizes and offset are in its ZIP64 extra field.
struct Zip64Case {
    const char *label;
    bool absoluteOffsets;
    const char *gap;
};

class Zip64Archive : public ::testing::TestWithParam<Zip64Case> {};

TEST_P(Zip64Archive, ReadsEntriesWithTheirRealNumbers)
{
    Scratch scratch;
    std::vector<Entry> entries = TwoEntries();
    Entry &b = entries[1];
    const std::string deflated = Deflate(b.data);
    b.compressedSize = b.uncompressedSize = b.localOffset = 0xFFFFFFFFu;
    const uint32_t bOffset = 30 + 5 + 5;  // behind a.txt's header, name and data
    Layout layout;
    layout.zip64 = true;
    layout.front = std::string(1000, 'x');
    layout.absoluteOffsets = GetParam().absoluteOffsets;
    layout.zip64Gap = GetParam().gap;
    b.centralExtra = Zip64Extra({b.data.size(), deflated.size(),
                                 bOffset + (layout.absoluteOffsets ? 1000u : 0u)});
    OpenArchive zip(scratch, Build(entries, layout));
    ASSERT_NE(zip.zip, nullptr) << ReadCentral(zip.path).message;
    EXPECT_EQ(zip->entryCount, 2);
    ZipEntry *e = zipGetEntry(zip, "dir/b.txt");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->uncompressedSize, static_cast<int64_t>(b.data.size()));
    EXPECT_EQ(e->compressedSize, static_cast<int64_t>(deflated.size()));
    const std::string out = scratch.Path("b.out");
    EXPECT_TRUE(zipReadEntry(zip, e, out.c_str()));
    EXPECT_EQ(ReadFile(out), b.data);
    zipFreeEntry(zip, e);
}

INSTANTIATE_TEST_SUITE_P(Zip, Zip64Archive,
    ::testing::Values(Zip64Case{"RelativeOffsets", false, ""},
                      Zip64Case{"AbsoluteOffsets", true, ""},
                      // not right in front of its locator: found where it says
                      Zip64Case{"RecordApartFromLocator", true, "extensible"}),
    [](const auto &info) { return std::string(info.param.label); });

// 65535 entries fit the end record; beyond, the ZIP64 end record counts them.
class EntryLimit : public ::testing::TestWithParam<int> {};

TEST_P(EntryLimit, ReadsEveryEntry)
{
    Scratch scratch;
    const int count = GetParam();
    std::vector<Entry> entries(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        entries[static_cast<size_t>(i)].name = std::to_string(i);
        entries[static_cast<size_t>(i)].data = std::to_string(i % 10);
    }
    Layout layout;
    layout.zip64 = count > 65535;
    OpenArchive zip(scratch, Build(entries, layout));
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zip->entryCount, count);
    const std::string lastName = std::to_string(count - 1);
    for (const char *name : {"0", "32767", lastName.c_str()}) {
        ZipEntry *e = zipGetEntry(zip, name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_STREQ(e->entryName, name);
        zipFreeEntry(zip, e);
    }
    ZipEntry *last = zipGetNextEntry(zip, count - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->entryName, lastName.c_str());
    zipFreeEntry(zip, last);
    EXPECT_EQ(zipGetNextEntry(zip, count), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Zip, EntryLimit, ::testing::Values(65535, 70000),
                         PrintedName());

// --- Local header messages --------------------------------------------------

struct LocCase {
    const char *label;
    void (*tamper)(std::vector<Entry> &entries);
    int failRead;     // counted from the entry request
    const char *message;
};

const LocCase kLocCases[] = {
    {"OffsetFarBeyondFile", [](std::vector<Entry> &e) { e[1].localOffset = 0xFFFFFFF0u; }, -1,
     "couldn't read LOC header"},
    {"HeaderBeyondFile", [](std::vector<Entry> &e) { e[1].localOffset = 0x00100000u; }, -1,
     "couldn't read LOC header"},
    {"BadSignature", [](std::vector<Entry> &e) { e[1].localSignature = 0x04034B51; }, -1,
     "invalid LOC header (bad signature)"},
    {"CentralExtraRead", [](std::vector<Entry> &e) { e[1].centralExtra = std::string("\x01\x02\x00\x00", 4); }, 1,
     "couldn't read CEN extra"},
    {"HeaderRead", [](std::vector<Entry> &) {}, 0, "couldn't read LOC header"},
};

void PrintTo(const LocCase &c, std::ostream *os)
{
    *os << c.label;
}

class LocMessage : public ::testing::TestWithParam<LocCase> {};

TEST_P(LocMessage, FailsTheEntryOnly)
{
    Scratch scratch;
    std::vector<Entry> entries = TwoEntries();
    GetParam().tamper(entries);
    OpenArchive zip(scratch, Build(entries));
    ASSERT_NE(zip.zip, nullptr);
    {
        IoLog log;
        log.failRead = GetParam().failRead;
        EXPECT_EQ(zipGetNextEntry(zip, 1), nullptr);
    }
    EXPECT_STREQ(zip->lastError, GetParam().message);
    // The archive stays usable; entry requests do not clear the message.
    ZipEntry *first = zipGetNextEntry(zip, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->entryName, "a.txt");
    EXPECT_STREQ(zip->lastError, GetParam().message);
    zipFreeEntry(zip, first);
}

INSTANTIATE_TEST_SUITE_P(Zip, LocMessage, ::testing::ValuesIn(kLocCases),
                         [](const auto &info) { return std::string(info.param.label); });

// Local headers whose name and extra field are longer than the central
// lengths (archivers keep extra time stamps locally) are read in full.
TEST(ZipReader, LocalNameAndExtraLongerThanCentral)
{
    Scratch scratch;
    Entry e;
    e.name = "n.txt";
    e.data = "payload";
    e.localName = std::string("n.txt-with-a-longer-local-name");
    e.localExtra = std::string("\x55\x54\x09\x00", 4) + std::string(9, 'T');
    Entry f;
    f.name = "f.txt";
    f.data = "second";
    f.localExtra = std::string("\x55\x54\x05\x00", 4) + std::string(5, 'L');
    f.centralExtra = std::string("\x55\x54\x01\x00", 4) + "C";
    OpenArchive zip(scratch, Build({e, f}));
    ASSERT_NE(zip.zip, nullptr);

    ZipEntry *a = zipGetNextEntry(zip, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a->entryName), *e.localName);
    ASSERT_NE(a->extraField, nullptr);
    EXPECT_EQ(a->extraField[0] | (a->extraField[1] << 8), 13);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(a->extraField) + 2, 13), e.localExtra);
    EXPECT_EQ(a->dataPos, 30 + static_cast<int32_t>(e.localName->size() + e.localExtra.size()));
    zipFreeEntry(zip, a);

    // The central extra field wins; the local one only moves the data.
    ZipEntry *b = zipGetNextEntry(zip, 1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->extraField[0] | (b->extraField[1] << 8), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(b->extraField) + 2, 5), f.centralExtra);
    EXPECT_EQ(std::string(ReadFile(zip.path), static_cast<size_t>(b->dataPos), 6), "second");
    zipFreeEntry(zip, b);
}

// A local name length that runs past the end of the file fails its entry
// instead of taking bytes that were never read.
TEST(ZipReader, LocalHeaderCutByEndOfFile)
{
    Scratch scratch;
    Entry e;
    e.name = "x";
    e.data = "y";
    std::string bytes = Build({e});
    bytes[26] = '\xFF';
    bytes[27] = '\xFF';
    OpenArchive zip(scratch, bytes);
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zipGetNextEntry(zip, 0), nullptr);
    EXPECT_STREQ(zip->lastError, "couldn't read LOC header");
}

// --- The end-record search --------------------------------------------------

// The headers of a PE image, 512 bytes, with its security directory entry
// at the returned position.
std::string PeFront(uint16_t magic, uint32_t directories, size_t *securityAt)
{
    const size_t pe = 0x80;
    const size_t optional = pe + 24;
    const size_t countAt = optional + (magic == 0x20B ? 108 : 92);
    std::string front(512, '\0');
    front.replace(0, 2, "MZ");
    std::string word;
    Put32(word, static_cast<uint32_t>(pe));
    front.replace(0x3C, 4, word);
    front.replace(pe, 4, std::string("PE\0\0", 4));
    std::string field;
    Put16(field, magic == 0x20B ? 240 : 224);  // size of the optional header
    front.replace(pe + 20, 2, field);
    field.clear();
    Put16(field, magic);
    front.replace(optional, 2, field);
    word.clear();
    Put32(word, directories);
    front.replace(countAt, 4, word);
    *securityAt = countAt + 4 + 4 * 8;
    return front;
}

// A signed program's archive is looked for as if the file ended where its
// certificate table begins; only a security directory that names exactly the
// file's tail counts.
struct EndCase {
    const char *label;
    size_t front;          // bytes in front of the archive
    size_t comment;        // archive comment length
    std::string trailing;  // bytes after the comment
    int error;             // what zipOpen reports: 0 (it opens), kZipNotOpened, kZipDamaged
    uint16_t peMagic = 0;       // else the front is a PE image (PE32, PE32+) ...
    uint32_t directories = 16;  // ... with this NumberOfRvaAndSizes, and a
    int32_t tableShift = 0;     // certificate table as trailing, recorded this far off
};

const EndCase kEndCases[] = {
    {"Plain", 0, 0, "", 0},
    {"Comment1", 0, 1, "", 0},
    {"Comment2", 0, 2, "", 0},
    {"Comment3", 0, 3, "", 0},
    {"Comment18", 0, 18, "", 0},
    {"Comment19", 0, 19, "", 0},
    {"Comment20", 0, 20, "", 0},
    {"Comment21", 0, 21, "", 0},
    {"Comment22", 0, 22, "", 0},
    {"Comment23", 0, 23, "", 0},
    {"Comment41", 0, 41, "", 0},
    {"Comment43", 0, 43, "", 0},
    {"Comment44", 0, 44, "", 0},
    {"Comment1000", 0, 1000, "", 0},
    // 65535 = 22 + 65513: the last record the search reaches.
    {"CommentAtLimit", 70000, 65513, "", 0},
    {"CommentBeyondLimit", 70000, 65514, "", kZipNotOpened},
    {"CommentBeyondLimitShortFile", 0, 65514, "", kZipNotOpened},
    {"TrailingByte", 0, 0, "x", kZipNotOpened},
    {"TrailingAfterComment", 0, 10, "after", kZipNotOpened},
    {"SignedPe32", 0, 0, "", 0, 0x10B},
    {"SignedPe32Plus", 0, 5, "", 0, 0x20B},
    {"SignedTableStartsEarlier", 0, 0, "", kZipNotOpened, 0x10B, 16, -8},
    {"SignedTableRunsPastTheEnd", 0, 0, "", kZipNotOpened, 0x10B, 16, 8},
    {"SignedWithoutSecurityDirectory", 0, 0, "", kZipNotOpened, 0x10B, 4},
    {"SignedUnknownMagic", 0, 0, "", kZipNotOpened, 0x107},
    // Signers start the table on an 8-byte boundary, padding with zeros.
    {"SignedPaddedBy1", 0, 0, std::string(1, '\0'), 0, 0x10B},
    {"SignedPaddedBy7", 0, 5, std::string(7, '\0'), 0, 0x20B},
    {"SignedPaddedBy8", 0, 0, std::string(8, '\0'), kZipNotOpened, 0x10B},
    {"SignedPaddingNotZero", 0, 0, std::string("\0\0x", 3), kZipDamaged, 0x10B},
    {"UnsignedPaddedBy1", 0, 0, std::string(1, '\0'), kZipNotOpened},
};

void PrintTo(const EndCase &c, std::ostream *os)
{
    *os << c.label;
}

class EndSearch : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndSearch, FindsTheRecordThatEndsTheFile)
{
    Scratch scratch;
    const EndCase &c = GetParam();
    Layout layout;
    layout.front = std::string(c.front, 'F');
    layout.comment.resize(c.comment);
    for (size_t i = 0; i < c.comment; ++i)
        layout.comment[i] = static_cast<char>('a' + i % 26);
    // A signature inside the comment must not be taken for the record.
    if (c.comment >= 30) layout.comment.replace(5, 4, "PK\x05\x06");
    layout.trailing = c.trailing;
    size_t securityAt = 0;
    if (c.peMagic != 0) layout.front = PeFront(c.peMagic, c.directories, &securityAt);
    std::string bytes = Build(TwoEntries(), layout);
    if (c.peMagic != 0) {
        const std::string table(1000, 'T');
        std::string entry;
        Put32(entry, static_cast<uint32_t>(static_cast<int32_t>(bytes.size()) + c.tableShift));
        Put32(entry, static_cast<uint32_t>(table.size()));
        bytes.replace(securityAt, 8, entry);
        bytes += table;
    }
    OpenArchive zip(scratch, bytes);
    if (c.error != 0) {
        EXPECT_EQ(zip.zip, nullptr);
        EXPECT_EQ(zip.error, c.error);
        return;
    }
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zip.error, 0);
    EXPECT_EQ(zip->entryCount, 2);
    if (c.comment == 0) {
        EXPECT_EQ(zip->archiveComment, nullptr);
    } else {
        ASSERT_NE(zip->archiveComment, nullptr);
        EXPECT_EQ(std::string(zip->archiveComment), layout.comment);
    }
    ZipEntry *e = zipGetNextEntry(zip, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->entryName, "dir/b.txt");
    zipFreeEntry(zip, e);
}

INSTANTIATE_TEST_SUITE_P(Zip, EndSearch, ::testing::ValuesIn(kEndCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(ZipReader, EndRecordAtFilePositionZeroIsNotFound)
{
    Scratch scratch;
    OpenArchive zip(scratch, Build({}));
    EXPECT_EQ(zip.zip, nullptr);
    EXPECT_EQ(zip.error, -2);
    EXPECT_EQ(ReadCentral(zip.path).result, 0);
}

TEST(ZipReader, EmptyArchiveBehindOtherBytesOpens)
{
    Scratch scratch;
    Layout layout;
    layout.front = "MZ";
    OpenArchive zip(scratch, Build({}, layout), "empty.zip");
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zip->entryCount, 0);
    EXPECT_EQ(zipGetNextEntry(zip, 0), nullptr);
    EXPECT_EQ(zipGetEntry(zip, "a"), nullptr);
}

// In a short file the blocks are never shortened at its start: a record
// that lies in front of the first whole block is not seen.
TEST(ZipReader, ShortFileSearchEndsAtItsStart)
{
    Scratch scratch;
    Layout layout;
    layout.front = "M";
    layout.comment = std::string(23, 'c');  // 1 + 22 + 23 = 46 bytes, record at 1
    std::string path = scratch.Path("short.zip");
    WriteFile(path, Build({}, layout));
    ZipArchive probe{};
    probe.fd = fileOpen(path.c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    unsigned char end[22];
    EXPECT_EQ(findEND(&probe, end), -1);
    fileClose(probe.fd);
    EXPECT_EQ(zipOpen(path.c_str(), nullptr), nullptr);

    WriteFile(path, "tiny");
    int error = 0;
    EXPECT_EQ(zipOpen(path.c_str(), &error), nullptr);
    EXPECT_EQ(error, -2);
}

TEST(ZipReader, FindEndReportsPositionAndRecord)
{
    Scratch scratch;
    Layout layout;
    layout.front = std::string(100, 'F');
    layout.comment = "note";
    std::string bytes = Build(TwoEntries(), layout);
    std::string path = scratch.Path("t.zip");
    WriteFile(path, bytes);
    ZipArchive *probe = allocZip(path.c_str());
    probe->fd = fileOpen(path.c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    unsigned char end[22];
    int32_t pos = findEND(probe, end);
    EXPECT_EQ(pos, static_cast<int32_t>(bytes.size() - 26));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(end), 22), bytes.substr(bytes.size() - 26, 22));
    EXPECT_STREQ(probe->archiveComment, "note");
    fileClose(probe->fd);
    freeZip(probe);
}

// --- Prefix shift -----------------------------------------------------------

class PrefixShift : public ::testing::TestWithParam<bool> {};

TEST_P(PrefixShift, EntriesAreFoundBehindAProgramImage)
{
    Scratch scratch;
    Layout layout;
    layout.front = std::string(4096, '\x90');
    layout.front.replace(0, 2, "MZ");
    layout.absoluteOffsets = GetParam();
    std::string bytes = Build(TwoEntries(), layout);
    OpenArchive zip(scratch, bytes, "prog.exe");
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zip->entryIndex[0].locPos, 4096);
    ZipEntry *e = zipGetNextEntry(zip, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->entryName, "a.txt");
    EXPECT_EQ(bytes.substr(static_cast<size_t>(e->dataPos), 5), "alpha");
    zipFreeEntry(zip, e);
}

INSTANTIATE_TEST_SUITE_P(Zip, PrefixShift, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Rewritten" : "Relative"; });

// --- Signed programs ----------------------------------------------------------

// An unsigned image reads as before: its directory entry is zero and the
// archive ends the file.
TEST(ZipReader, UnsignedImageReadsAsBefore)
{
    Scratch scratch;
    size_t securityAt = 0;
    Layout layout;
    layout.front = PeFront(0x10B, 16, &securityAt);
    OpenArchive zip(scratch, Build(TwoEntries(), layout), "plain.exe");
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zip->entryCount, 2);
    int fd = fileOpen(zip.path.c_str(), FILEIO_RDONLY | FILEIO_BINARY, 0);
    int32_t directoryAt = 0;
    EXPECT_EQ(zipSignedImageEnd(fd, fileSeek(fd, 0, SEEK_END), &directoryAt), -1);
    EXPECT_EQ(directoryAt, -1);
    fileClose(fd);
}

// --- Index records and lookup -------------------------------------------------

TEST(ZipReader, IndexRecordsCarryTheCentralValues)
{
    Scratch scratch;
    std::vector<Entry> entries = TwoEntries();
    entries[1].centralExtra = std::string("\x0A\x00\x00\x00", 4);
    entries[1].comment = "remark";
    OpenArchive zip(scratch, Build(entries));
    ASSERT_NE(zip.zip, nullptr);
    const ZipIndexEntry &s = zip->entryIndex[0];
    const ZipIndexEntry &d = zip->entryIndex[1];
    EXPECT_EQ(s.compressedSize, 0);
    EXPECT_EQ(s.uncompressedSize, 5);
    EXPECT_EQ(s.crc, Crc("alpha"));
    EXPECT_EQ(s.nameHash, hash("a.txt"));
    EXPECT_EQ(d.compressedSize, static_cast<int32_t>(Deflate(entries[1].data).size()));
    EXPECT_EQ(d.nameExtraLen, 9 + 4);
    EXPECT_EQ(d.extraLen, 4);

    ZipEntry *e = zipGetNextEntry(zip, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->entryComment, "remark");
    EXPECT_EQ(e->dosTime, 0x5A2E6B00u);
    EXPECT_EQ(e->uncompressedSize, 3000);
    zipFreeEntry(zip, e);
    ZipEntry *first = zipGetNextEntry(zip, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->entryComment, nullptr);
    EXPECT_EQ(first->extraField, nullptr);
    zipFreeEntry(zip, first);
}

TEST(ZipReader, DeflatedWithCompressedSizeZeroCountsAsStored)
{
    Scratch scratch;
    Entry e;
    e.name = "d";
    e.data = "data";
    e.method = 8;
    e.compressedSize = 0;
    OpenArchive zip(scratch, Build({e}));
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zip->entryIndex[0].compressedSize, 0);
}

TEST(ZipReader, HashMatchesTheSignedByteRule)
{
    EXPECT_EQ(hash(""), 0u);
    EXPECT_EQ(hash("a"), 97u);
    EXPECT_EQ(hash("Aa"), hash("BB"));
    EXPECT_EQ(hash("\xFF"), 0xFFFFFFFFu);
    EXPECT_EQ(hash("ab\x80"), (97u * 31 + 98) * 31 - 128);
}

TEST(ZipReader, MetaNamesIgnoreCase)
{
    EXPECT_TRUE(isMetaName("META-INF/MANIFEST.MF"));
    EXPECT_TRUE(isMetaName("meta-inf/x"));
    EXPECT_TRUE(isMetaName("META-INF/"));
    EXPECT_FALSE(isMetaName("META-INF"));
    EXPECT_FALSE(isMetaName("META-INFX/"));
    EXPECT_FALSE(isMetaName("x/META-INF/"));
}

TEST(ZipReader, MetaNamesAreKeptInOrder)
{
    Scratch scratch;
    std::vector<Entry> entries;
    for (const char *name : {"META-INF/", "meta-inf/a", "x.class", "Meta-Inf/b"}) {
        Entry e;
        e.name = name;
        entries.push_back(e);
    }
    OpenArchive zip(scratch, Build(entries));
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_STREQ(zip->metaNames[0], "META-INF/");
    EXPECT_STREQ(zip->metaNames[1], "meta-inf/a");
    EXPECT_STREQ(zip->metaNames[2], "Meta-Inf/b");
}

// "Aa" and "BB" share a hash, so they share a chain; a duplicate name finds
// the later entry.
TEST(ZipReader, LookupWalksChainsAndPrefersTheLaterDuplicate)
{
    Scratch scratch;
    std::vector<Entry> entries;
    for (auto [name, data] : std::vector<std::pair<const char *, const char *>>{
             {"Aa", "first"}, {"dup", "old"}, {"BB", "second"}, {"dup", "newer"}, {"C", "c"}}) {
        Entry e;
        e.name = name;
        e.data = data;
        entries.push_back(e);
    }
    OpenArchive zip(scratch, Build(entries));
    ASSERT_NE(zip.zip, nullptr);

    struct Want {
        const char *name;
        int32_t size;
    };
    for (Want w : {Want{"Aa", 5}, Want{"BB", 6}, Want{"dup", 5}, Want{"C", 1}}) {
        int size = -1, length = -1;
        ZipEntry *e = zipFindEntry(zip, w.name, &size, &length);
        ASSERT_NE(e, nullptr) << w.name;
        EXPECT_STREQ(e->entryName, w.name);
        EXPECT_EQ(size, w.size) << w.name;
        EXPECT_EQ(length, static_cast<int>(strlen(w.name)));
        zipFreeEntry(zip, e);
    }
    int size = -1, length = -1;
    EXPECT_EQ(zipFindEntry(zip, "Ab", &size, &length), nullptr);
    EXPECT_EQ(zipGetEntry(zip, "aa"), nullptr);
    EXPECT_EQ(zipGetEntry(zip, "dup/"), nullptr);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(length, -1);
}

TEST(ZipReader, ReleasedEntryIsHandedOutAgainWithoutReading)
{
    Scratch scratch;
    OpenArchive zip(scratch, Build(TwoEntries()));
    ASSERT_NE(zip.zip, nullptr);

    ZipEntry *e = zipGetEntry(zip, "dir/b.txt");
    ASSERT_NE(e, nullptr);
    zipFreeEntry(zip, e);
    EXPECT_EQ(zip->cachedEntry, e);
    {
        IoLog log;
        EXPECT_EQ(zipGetEntry(zip, "dir/b.txt"), e);
        EXPECT_TRUE(log.reads.empty());
        EXPECT_EQ(log.seeks, 0);
    }
    EXPECT_EQ(zip->cachedEntry, nullptr);
    zipFreeEntry(zip, e);
    // Releasing another entry destroys the cached one; null empties the cache.
    ZipEntry *a = zipGetNextEntry(zip, 0);
    zipFreeEntry(zip, a);
    EXPECT_EQ(zip->cachedEntry, a);
    zipFreeEntry(zip, nullptr);
    EXPECT_EQ(zip->cachedEntry, nullptr);
}

// Every entry of a walk costs a local header and a central extra field: they
// are read in blocks, each block serving many entries, also across an entry
// larger than a block.
TEST(ZipReader, WalkReadsTheHeadersInBlocks)
{
    Scratch scratch;
    std::vector<Entry> entries(300);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].name = "dir/f" + std::to_string(i) + ".txt";
        entries[i].data = std::string(i == 150 ? 200000 : 100, static_cast<char>('a' + i % 26));
        entries[i].centralExtra = std::string("\x55\x54\x05\x00\x01", 5) + std::to_string(1000 + i);
        entries[i].centralExtra[2] = static_cast<char>(1 + std::to_string(1000 + i).size());
    }
    OpenArchive zip(scratch, Build(entries));
    ASSERT_NE(zip.zip, nullptr);
    IoLog log;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        ZipEntry *entry = zipGetNextEntry(zip, i);
        ASSERT_NE(entry, nullptr) << i;
        EXPECT_EQ(entry->entryName, entries[i].name);
        const std::string &extra = entries[i].centralExtra;
        ASSERT_NE(entry->extraField, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(entry->extraField) + 2, extra.size()), extra);
        zipFreeEntry(zip, entry);
    }
    // One block of the central directory, one of the headers up to the
    // large entry and one behind it.
    EXPECT_EQ(log.reads.size(), 3u);
}

// --- Sharing and reference counts ---------------------------------------------

TEST(ZipReader, OpensOfOnePathShareOneRecord)
{
    Scratch scratch;
    std::string path = scratch.Path("t.zip");
    WriteFile(path, Build(TwoEntries()));
    IoLog log;
    ZipArchive *a = zipOpen(path.c_str(), nullptr);
    ASSERT_NE(a, nullptr);
    int error = 9;
    ZipArchive *b = zipOpen(path.c_str(), &error);
    EXPECT_EQ(a, b);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(a->refCount, 2);
    EXPECT_EQ(log.opens, 1);
    zipClose(b);
    EXPECT_EQ(zfiles, a);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(log.closes, 0);
    zipClose(a);
    EXPECT_EQ(zfiles, nullptr);
    EXPECT_EQ(log.closes, 1);
}

TEST(ZipReader, StampsSeparateRecordsAndZeroMatchesAny)
{
    Scratch scratch;
    std::string path = scratch.Path("t.zip");
    WriteFile(path, Build(TwoEntries()));
    ZipArchive *five = zipOpenGeneric(path.c_str(), nullptr, FILEIO_RDONLY | FILEIO_BINARY, 5);
    ZipArchive *six = zipOpenGeneric(path.c_str(), nullptr, FILEIO_RDONLY | FILEIO_BINARY, 6);
    ASSERT_NE(five, nullptr);
    ASSERT_NE(six, nullptr);
    EXPECT_NE(five, six);
    EXPECT_EQ(zfiles, six);
    EXPECT_EQ(six->nextOpen, five);
    EXPECT_EQ(zipOpenGeneric(path.c_str(), nullptr, FILEIO_RDONLY | FILEIO_BINARY, 5), five);
    EXPECT_EQ(five->refCount, 2);
    ZipArchive *zero = zipOpen(path.c_str(), nullptr);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->lastModified, 0);
    // Closing the older record unlinks it from the middle of the list.
    zipClose(five);
    zipClose(five);
    EXPECT_EQ(zfiles, zero);
    EXPECT_EQ(zero->nextOpen, six);
    EXPECT_EQ(six->nextOpen, nullptr);
    zipClose(six);
    zipClose(zero);
    EXPECT_EQ(zfiles, nullptr);
}

TEST(ZipReader, ReferenceCountStopsBelow65535)
{
    Scratch scratch;
    std::string path = scratch.Path("t.zip");
    WriteFile(path, Build(TwoEntries()));
    ZipArchive *first = zipOpen(path.c_str(), nullptr);
    ASSERT_NE(first, nullptr);
    for (int i = 1; i < 65535; ++i) ASSERT_EQ(zipOpen(path.c_str(), nullptr), first);
    ZipArchive *second = zipOpen(path.c_str(), nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    zipClose(second);
    for (int i = 0; i < 65535; ++i) zipClose(first);
    EXPECT_EQ(zfiles, nullptr);
}

TEST(ZipReader, MissingFileIsNeverSoughtOrClosed)
{
    Scratch scratch;
    IoLog log;
    int error = 0;
    EXPECT_EQ(zipOpen(scratch.Path("missing.zip").c_str(), &error), nullptr);
    EXPECT_EQ(error, -2);
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.seeks, 0);
    EXPECT_EQ(log.closes, 0);
}

TEST(ZipReader, FailedOpenClosesItsDescriptor)
{
    Scratch scratch;
    IoLog log;
    EXPECT_EQ(OpenArchive(scratch, std::string(100, 'j')).zip, nullptr);
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.closes, 1);
}

TEST(ZipReader, NextEntryOutOfRange)
{
    Scratch scratch;
    OpenArchive zip(scratch, Build(TwoEntries()));
    ASSERT_NE(zip.zip, nullptr);
    EXPECT_EQ(zipGetNextEntry(zip, -1), nullptr);
    EXPECT_EQ(zipGetNextEntry(zip, 2), nullptr);
    EXPECT_EQ(zip->lastError, nullptr);
}

} // namespace
