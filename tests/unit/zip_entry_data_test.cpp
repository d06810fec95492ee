// Entry data: ranged reads of the stored bytes, the stored copy and the
// inflation into a file, each ending with the size and CRC-32 checks.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "unit/zip_test_support.h"
#include "unit/zip_writer.h"
#include "zip/archive.h"
#include "zip/entry_data.h"
#include "zip/fileio.h"

using namespace ziptest;

namespace {

// Bytes that deflate hardly shrinks, the same in every run.
std::string Noise(size_t size, uint32_t seed = 1)
{
    std::string out(size, '\0');
    for (char &c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

std::string Text(size_t size)
{
    std::string out;
    while (out.size() < size) out += "class Entry" + std::to_string(out.size() % 97) + " {}\n";
    out.resize(size);
    return out;
}

// One archive with one entry, opened; the entry is number 0.
class OneEntry : public OpenArchive {
public:
    OneEntry(const Scratch &scratch, const Entry &entry, const Layout &layout = {})
        : OpenArchive(scratch, Build({entry}, layout), "one.zip"),
          entry(zip != nullptr ? zipGetNextEntry(zip, 0) : nullptr)
    {
    }
    ~OneEntry()
    {
        if (zip != nullptr) zipFreeEntry(zip, entry);
    }
    ZipEntry *entry;
};

TEST(ZipEntryData, ZipReadChecksTheOffsetAndClipsTheLength)
{
    Scratch scratch;
    Entry e;
    e.name = "s";
    e.data = "01234";
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    char buffer[16] = {};

    for (int offset : {5, -1, 100}) {
        EXPECT_EQ(zipRead(one.zip, one.entry, offset, buffer, 1), -1) << offset;
        EXPECT_STREQ(one.zip->lastError, "zipRead: specified offset out of range");
    }
    EXPECT_EQ(zipRead(one.zip, one.entry, 1, buffer, 0), 0);
    EXPECT_EQ(one.zip->lastError, nullptr);
    EXPECT_EQ(zipRead(one.zip, one.entry, 3, buffer, 16), 2);
    EXPECT_EQ(std::string(buffer, 2), "34");
}

TEST(ZipEntryData, ZipReadOfAnEmptyEntryIsAlwaysOutOfRange)
{
    Scratch scratch;
    Entry e;
    e.name = "empty";
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    char c;
    EXPECT_EQ(zipRead(one.zip, one.entry, 0, &c, 1), -1);
    EXPECT_STREQ(one.zip->lastError, "zipRead: specified offset out of range");
}

TEST(ZipEntryData, InflateRefusesAStoredEntry)
{
    Scratch scratch;
    Entry e;
    e.name = "s";
    e.data = "abc";
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    const char *message = "unset";
    EXPECT_FALSE(inflateFully(one.zip, one.entry, -1, &message));
    EXPECT_STREQ(message, "inflateFully: entry not compressed");
}

// --- Writing entries: the table -----------------------------------------------

struct WriteCase {
    const char *label;
    Entry (*make)();
    bool ok;
    const char *message;   // inflateFully's message for deflated entries, or null
    int okInViews = -1;    // where decoding whole in views judges otherwise
};

void PrintTo(const WriteCase &c, std::ostream *os)
{
    *os << c.label;
}

Entry Deflated(const std::string &data)
{
    Entry e;
    e.name = "entry.bin";
    e.data = data;
    e.method = 8;
    return e;
}

Entry Zstandard(const std::string &data, std::string frames = std::string())
{
    Entry e = Deflated(data);
    e.method = 93;
    if (!frames.empty()) e.stored = frames;
    return e;
}

// The frame's sixth byte names a window of 2^(10 + exponent) bytes.
std::string WithWindow(const std::string &data, int exponent)
{
    std::string frame = Zstd(data, false);
    frame[5] = static_cast<char>(exponent << 3);
    return frame;
}

// Past the size an entry is decoded whole in buffers at: decoded in views
// of the files, or streamed where no view can be made.
const size_t kStreamed = 3 << 20;

// One field of an entry changed, for the table's one-line cases.
Entry Plain(const std::string &data)
{
    Entry e;
    e.name = "s";
    e.data = data;
    return e;
}
Entry Sized(Entry e, size_t size)
{
    e.uncompressedSize = static_cast<uint32_t>(size);
    return e;
}
Entry WithCrc(Entry e, uint32_t crc)
{
    e.crc = crc;
    return e;
}
Entry StoredAs(Entry e, const std::string &stored)
{
    e.stored = stored;
    return e;
}
// `bytes` with `count` bytes from `at` on overwritten with `fill`.
std::string Spoilt(std::string bytes, size_t at, size_t count, char fill)
{
    bytes.replace(at, count, count, fill);
    return bytes;
}
std::string LastBitFlipped(std::string bytes)
{
    bytes.back() = static_cast<char>(bytes.back() ^ 1);
    return bytes;
}

const WriteCase kWriteCases[] = {
    {"Stored", [] { return Plain(Text(40000)); }, true, nullptr},
    {"StoredEmpty", [] { return Plain(""); }, true, nullptr},
    {"Deflated", [] { return Deflated(Text(100000)); }, true, nullptr},
    {"DeflatedEmpty", [] { return Deflated(""); }, true, nullptr},
    {"DeflatedLarge", [] { return Deflated(Text(kStreamed) + Noise(5000)); }, true, nullptr},
    {"DeflatedLargeNeverEndsButComplete", [] {
         return StoredAs(Deflated(Text(kStreamed)), Deflate(Text(kStreamed), false));
     }, true, nullptr},
    {"DeflatedLargeCrcMismatch", [] {
         return WithCrc(Deflated(Text(kStreamed)), Crc(Text(kStreamed)) ^ 0x80000000u);
     }, false, "inflateFully: CRC-32 mismatch"},
    {"DeflatedLargeRunsPastEndOfFile", [] {
         Entry e = Deflated(Noise(kStreamed));
         e.compressedSize = static_cast<uint32_t>(Deflate(e.data).size() + 4096);
         return e;
     }, false, nullptr},
    {"DeflatedIncompressible", [] { return Deflated(Noise(50000)); }, true, nullptr},
    // The stream ends while compressed bytes are still due.
    {"StreamEndsEarly", [] {
         Entry e = Deflated(Noise(20000));
         e.afterData = Noise(6000, 7);
         e.compressedSize = static_cast<uint32_t>(Deflate(e.data).size() + 6000);
         return e;
     }, false, "inflateFully: Unexpected end of stream"},
    {"StreamShorterThanSize", [] { return Sized(Deflated(Text(1000)), 1001); }, false,
     "inflateFully: Unexpected end of stream"},
    {"StreamLongerThanSize", [] { return Sized(Deflated(Text(1000)), 999); }, false,
     "inflateFully: Unexpected end of stream"},
    // A small size with a large stream stops before writing past the size.
    {"StreamFarLongerThanSize", [] { return Sized(Deflated(std::string(1 << 20, '\0')), 10); },
     false, "inflateFully: more data than the entry's size"},
    // The compressed bytes run out before the stream ends.
    {"StreamCutShort", [] {
         const std::string full = Deflate(Noise(30000));
         return StoredAs(Deflated(Noise(30000)), full.substr(0, full.size() / 2));
     }, false, "inflateFully: size mismatch"},
    // Flushed but never ended: everything is there, so it counts.
    {"StreamNeverEndsButComplete", [] {
         return StoredAs(Deflated(Text(30000)), Deflate(Text(30000), false));
     }, true, nullptr},
    {"CorruptData", [] { return StoredAs(Deflated(Text(100)), std::string(64, '\xFF')); },
     false, "inflateFully: invalid compressed data"},
    {"CorruptAfterGoodStart", [] {
         return StoredAs(Deflated(Noise(40000)), Spoilt(Deflate(Noise(40000)), 9000, 100, '\xFF'));
     }, false, nullptr},
    {"DeflatedCrcMismatch", [] { return WithCrc(Deflated(Text(5000)), Crc(Text(5000)) ^ 1); },
     false, "inflateFully: CRC-32 mismatch"},
    {"StoredCrcMismatch", [] { return WithCrc(Plain(Text(5000)), Crc(Text(5000)) + 1); }, false,
     nullptr},
    // A non-final stored block of 65535 bytes swallows the rest of the file.
    {"DataRunsPastEndOfFile", [] {
         Entry e = StoredAs(Deflated(std::string(100000, 'x')),
                            std::string("\x00\xFF\xFF\x00\x00", 5) + "x");
         e.compressedSize = 100000;
         return e;
     }, false, "inflateFully: Unexpected end of file"},
    // Recorded with compressed size 0, the entry is copied as stored; the
    // copy is the compressed bytes, which the CRC-32 exposes.
    {"DeflatedRecordedAsSizeZero", [] {
         Entry e = Sized(Deflated(Text(5000)), Deflate(Text(5000)).size());
         e.compressedSize = 0;
         return e;
     }, false, nullptr},
    // Zstandard: one frame or several, decoded whole or streamed.
    {"Zstd", [] { return Zstandard(Text(100000)); }, true, nullptr},
    {"ZstdEmpty", [] { return Zstandard(""); }, true, nullptr},
    {"ZstdSeveralFrames", [] {
         return Zstandard(Text(60000) + Noise(5000), Zstd(Text(60000)) + Zstd(Noise(5000)));
     }, true, nullptr},
    {"ZstdStreamed", [] { return Zstandard(Text(kStreamed)); }, true, nullptr},
    {"ZstdStreamedSeveralFrames", [] {
         return Zstandard(Text(kStreamed) + Text(kStreamed / 2),
                          Zstd(Text(kStreamed)) + Zstd(Text(kStreamed / 2)));
     }, true, nullptr},
    // Frames of a large entry decoded at once, each into its place.
    {"ZstdStreamedSecondFrameDamaged", [] {
         const std::string first = Zstd(Text(kStreamed)), second = Zstd(Noise(kStreamed / 2));
         return Zstandard(Text(kStreamed) + Noise(kStreamed / 2),
                          Spoilt(first + second, first.size() + 100, 100, '\x5A'));
     }, false, nullptr},
    {"ZstdStreamedFramesLongerThanSize", [] {
         return Sized(Zstandard(Text(kStreamed) + Text(kStreamed / 2),
                                Zstd(Text(kStreamed)) + Zstd(Text(kStreamed / 2))),
                      kStreamed + kStreamed / 2 - 1);
     }, false, nullptr},
    {"ZstdDamagedFrame", [] {
         return StoredAs(Zstandard(Noise(40000)), Spoilt(Zstd(Noise(40000)), 20, 40, '\xA5'));
     }, false, nullptr},
    {"ZstdChecksumMismatch", [] {
         return StoredAs(Zstandard(Text(40000)), LastBitFlipped(Zstd(Text(40000))));
     }, false, nullptr},
    {"ZstdStreamedChecksumMismatch", [] {
         return StoredAs(Zstandard(Text(kStreamed)), LastBitFlipped(Zstd(Text(kStreamed))));
     }, false, nullptr},
    {"ZstdLongerThanSize", [] { return Sized(Zstandard(Text(5000)), 4999); }, false, nullptr},
    {"ZstdShorterThanSize", [] { return Sized(Zstandard(Text(5000)), 5001); }, false, nullptr},
    {"ZstdStreamedShorterThanSize", [] { return Sized(Zstandard(Text(kStreamed)), kStreamed + 1); },
     false, nullptr},
    {"ZstdCutShort", [] {
         const std::string frame = Zstd(Noise(kStreamed));
         return StoredAs(Zstandard(Noise(kStreamed)), frame.substr(0, frame.size() - 1000));
     }, false, nullptr},
    {"ZstdBytesAfterTheFrame", [] {
         return StoredAs(Zstandard(Text(5000)), Zstd(Text(5000)) + "tail");
     }, false, nullptr},
    {"ZstdFrameNeedsADictionary", [] {
         // The header's dictionary flag set, a one-byte dictionary id after
         // the window byte.
         std::string frame = Zstd(Text(5000), false);
         frame[4] = static_cast<char>(frame[4] | 1);
         frame.insert(6, 1, '\x07');
         return StoredAs(Zstandard(Text(5000)), frame);
     }, false, nullptr},
    // A window of 1 GiB, the most a 32-bit decoder takes: decoded whole it
    // needs no window buffer; streamed it would, and is refused. 2 GiB is
    // refused by a 32-bit decoder either way; a 64-bit one decodes it whole.
    {"ZstdHugeWindowWhole", [] {
         return StoredAs(Zstandard(Text(5000)), WithWindow(Text(5000), 20));
     }, true, nullptr},
    {"ZstdHugeWindowStreamed", [] {
         return StoredAs(Zstandard(Text(kStreamed)), WithWindow(Text(kStreamed), 20));
     }, false, nullptr, true},
    {"ZstdWindowOf2GiBStreamed", [] {
         return StoredAs(Zstandard(Text(kStreamed)), WithWindow(Text(kStreamed), 21));
     }, false, nullptr, sizeof(void *) == 8},
    {"StoredRunsPastEndOfFile", [] { return Sized(Plain("short"), 1000000); }, false, nullptr},
};

class WriteEntry : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteEntry, SucceedsOnlyWithTheWholeEntry)
{
    Scratch scratch;
    const WriteCase &c = GetParam();
    Entry e = c.make();
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);

    // As the extraction writes it: into a file made for it, decoded in views
    // of the files where the entry is large.
    {
        const bool ok = c.okInViews >= 0 ? c.okInViews != 0 : c.ok;
        const int directory = fileOpenDirectory(-1, scratch.Path("").c_str());
        ASSERT_GE(directory, 0);
        const int fd = fileCreateFile(directory, "made.bin", one.entry->uncompressedSize);
        fileClose(directory);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(zipWriteEntryTo(one.zip->fd, one.entry, fd), ok);
        fileClose(fd);
        const std::string written = ReadFile(scratch.Path("made.bin"));
        if (ok) {
            EXPECT_EQ(written, e.data);
        }
        EXPECT_LE(written.size(), static_cast<size_t>(one.entry->uncompressedSize));
    }

    // Where no view can be made, everything streams.
    FileIo noViews = *fileioSystem();
    noViews.mapView = nullptr;
    noViews.unmapView = nullptr;
    struct Restore {
        const FileIo *before;
        ~Restore() { fileioInstall(before); }
    } restore{fileioInstall(&noViews)};
    std::string out = scratch.Path("out.bin");
    EXPECT_EQ(zipReadEntry(one.zip, one.entry, out.c_str()), c.ok);
    std::string written = ReadFile(out);
    if (c.ok) {
        EXPECT_EQ(written, e.data);
    }
    // Never more than the recorded size lands in the file.
    EXPECT_LE(written.size(), static_cast<size_t>(one.entry->uncompressedSize));

    if (one.entry->compressedSize != 0 && one.entry->method == kZipDeflated) {
        int fd = fileOpen(scratch.Path("direct.bin").c_str(),
                          FILEIO_WRONLY | FILEIO_BINARY | FILEIO_CREAT | FILEIO_TRUNC,
                          FILEIO_S_IREAD | FILEIO_S_IWRITE);
        ASSERT_GE(fd, 0);
        const char *message = "unset";
        EXPECT_EQ(inflateFully(one.zip, one.entry, fd, &message), c.ok);
        fileClose(fd);
        if (c.message != nullptr) {
            EXPECT_STREQ(message, c.message);
        } else if (c.ok) {
            EXPECT_EQ(message, nullptr);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zip, WriteEntry, ::testing::ValuesIn(kWriteCases),
                         [](const auto &info) { return std::string(info.param.label); });

// --- Buffering ------------------------------------------------------------------

TEST(ZipEntryData, StoredCopyReadsInWholeBufferSteps)
{
    Scratch scratch;
    Entry e;
    e.name = "s";
    e.data = Text(2 * ZIP_COPY_BUFFER_SIZE + 7232);
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    IoLog log;
    EXPECT_TRUE(zipReadEntry(one.zip, one.entry, scratch.Path("out").c_str()));
    const unsigned step = ZIP_COPY_BUFFER_SIZE;
    std::vector<unsigned> want;
    std::vector<int32_t> wantAt;
    const unsigned size = static_cast<unsigned>(e.data.size());
    for (unsigned left = size; left > 0; left -= std::min(left, step)) {
        wantAt.push_back(one.entry->dataPos + static_cast<int32_t>(size - left));
        want.push_back(std::min(left, step));
    }
    EXPECT_EQ(log.reads, want);
    // Each step is one positioned read: no seek before it.
    EXPECT_EQ(log.readAt, wantAt);
    EXPECT_EQ(log.seeks, 0);
    EXPECT_EQ(log.closes, 1);
}

TEST(ZipEntryData, EmptyStoredEntryReadsNothing)
{
    Scratch scratch;
    Entry e;
    e.name = "s";
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    IoLog log;
    EXPECT_TRUE(zipReadEntry(one.zip, one.entry, scratch.Path("out").c_str()));
    EXPECT_TRUE(log.reads.empty());
    EXPECT_EQ(ReadFile(scratch.Path("out")), "");
}

TEST(ZipEntryData, InflateReadsInputInWholeBufferSteps)
{
    Scratch scratch;
    Entry e = Deflated(Noise(3 * ZIP_INFLATE_INPUT_SIZE + 1000));
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    IoLog log;
    EXPECT_TRUE(zipReadEntry(one.zip, one.entry, scratch.Path("out").c_str()));
    unsigned total = 0;
    for (size_t i = 0; i < log.reads.size(); ++i) {
        if (i + 1 < log.reads.size()) {
            EXPECT_EQ(log.reads[i], static_cast<unsigned>(ZIP_INFLATE_INPUT_SIZE));
        }
        total += log.reads[i];
    }
    EXPECT_EQ(total, static_cast<unsigned>(one.entry->compressedSize));
}

// --- The output file -----------------------------------------------------------

TEST(ZipEntryData, LongerExistingFileIsTruncated)
{
    Scratch scratch;
    for (bool deflated : {false, true}) {
        Entry e;
        e.name = "s";
        e.data = "new";
        e.method = deflated ? 8 : 0;
        OneEntry one(scratch, e);
        ASSERT_NE(one.entry, nullptr);
        std::string out = scratch.Path("out.txt");
        WriteFile(out, std::string(5000, 'o'));
        EXPECT_TRUE(zipReadEntry(one.zip, one.entry, out.c_str()));
        EXPECT_EQ(ReadFile(out), "new") << deflated;
    }
}

TEST(ZipEntryData, UnopenableOutputIsNeverClosed)
{
    Scratch scratch;
    Entry e;
    e.name = "s";
    e.data = "x";
    OneEntry one(scratch, e);
    ASSERT_NE(one.entry, nullptr);
    IoLog log;
    EXPECT_FALSE(zipReadEntry(one.zip, one.entry, scratch.Path("no/such/dir/out").c_str()));
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.closes, 0);
    EXPECT_TRUE(log.reads.empty());
}

} // namespace
