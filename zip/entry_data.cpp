// Implementation notes.
//
// Every path that writes an entry ends with the same two checks: exactly
// uncompressedSize bytes were written, and their CRC-32 (computed as the data
// streams by) equals the one the central directory records. A deflated entry
// whose central header claims a compressed size of 0 is copied as stored and
// is caught by the CRC; inflation that would write past the recorded size
// stops before writing the excess.
//
// The buffers are fixed per call and live on the stack, so memory does not
// grow with the payload. The archive is read by positioned reads through a
// descriptor the caller names, and nothing is written to the archive record
// on the way, so the extraction's workers can each write an entry at once.
//
// Decoding whole pays: libdeflate inflates at twice zlib's speed, and
// libzstd's one-shot decoder needs no window buffer whatever window the frame
// declares, but both need the entry's data and contents whole.
// - An entry whose data and contents both fit in kWholeEntryBytes is read in
//   one call, decoded in one call and written in one call. The two buffers
//   and the decoders are lent to one entry at a time from a shelf, and
//   shelved again for the next (zipReleaseDecoders empties the shelf). Not
//   per-thread storage: its end-of-thread destructors go through a key of
//   the threads library whose lock a process of many short-lived threads
//   was seen to leave held, hanging the process at its exit.
// - A larger one is decoded from a view of the archive into a view of its
//   file: a handful of calls whatever its size, and no memory of the run's
//   own (the pages are the files', which the system writes back and drops).
//   The views of entries decoded at once share kViewBudget of address space,
//   which a 32-bit process has little of; an entry waits for its share.
// - What no view can take (larger than the budget, a file system without
//   mappings, a descriptor that is not a file) streams (zip/entry_stream.cpp):
//   deflate through zlib (a 32 KiB window), Zstandard through a streaming
//   decoder whose window is bounded, a few such decoders at a time.
// So the run's own memory is bounded by the number of workers.
#include "zip/entry_data.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <libdeflate.h>
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include "zip/entry_data_internal.h"
#include "zip/fileio.h"

using namespace entrydata;

namespace {

// Entries whose stored data and contents each fit in this many bytes are
// decoded whole.
const size_t kWholeEntryBytes = 1 << 20;
// The address space that the views of the entries decoded at once may take.
const uint64_t kViewBudget = uint64_t(512) << 20;

} // namespace

int zipRead(ZipArchive *zip, ZipEntry *entry, int offset, void *buffer, int length)
{
    zip->lastError = nullptr;
    const int64_t dataLength = DataLength(entry);
    if (offset < 0 || static_cast<int64_t>(offset) > dataLength - 1) {
        zip->lastError = kOffsetOutOfRange;
        return -1;
    }
    return ReadData(zip->fd, entry, offset, buffer, length);
}

bool inflateFully(ZipArchive *zip, ZipEntry *entry, int fd, const char **message)
{
    return InflateFrom(zip->fd, entry, fd, message, nullptr);
}

namespace {

// Decoders and buffers for whole entries, lent to one entry at a time.
struct WholeBuffers {
    std::vector<unsigned char> input;
    std::vector<unsigned char> output;
    libdeflate_decompressor *inflater = nullptr;
    ZSTD_DCtx *zstd = nullptr;
    ~WholeBuffers()
    {
        if (inflater != nullptr) libdeflate_free_decompressor(inflater);
        if (zstd != nullptr) ZSTD_freeDCtx(zstd);
    }
};

// What is not lent out; at most as many as entries were ever written at once.
std::mutex shelfLock;
std::vector<std::unique_ptr<WholeBuffers>> shelf;

// One entry's loan from the shelf, given back when it ends. Valid() is false
// when no memory was left for one.
class LentBuffers {
public:
    LentBuffers()
    {
        {
            std::lock_guard<std::mutex> hold(shelfLock);
            if (!shelf.empty()) {
                buffers_ = std::move(shelf.back());
                shelf.pop_back();
                return;
            }
        }
        buffers_.reset(new (std::nothrow) WholeBuffers);
    }
    ~LentBuffers()
    {
        if (buffers_ == nullptr) return;
        std::lock_guard<std::mutex> hold(shelfLock);
        try {
            shelf.push_back(std::move(buffers_));
        } catch (...) {
            // Freed instead.
        }
    }
    LentBuffers(const LentBuffers &) = delete;
    LentBuffers &operator=(const LentBuffers &) = delete;
    bool Valid() const { return buffers_ != nullptr; }
    WholeBuffers &operator*() const { return *buffers_; }

private:
    std::unique_ptr<WholeBuffers> buffers_;
};

enum class Decoded { Whole, Refused, ToStream };

// Decodes a Zstandard entry of several frames that each say their size on
// as many threads as the machine has (the entry is otherwise one worker's,
// and one large file, such as a runtime's module image, would end the
// extraction alone). ToStream, with nothing decoded, when the data is one
// frame or a frame does not say its size: the caller decodes it in one go.
Decoded DecodeFramesAtOnce(const unsigned char *in, size_t stored, unsigned char *out, size_t size,
                           const char **message)
{
    struct Frame {
        const unsigned char *in;
        size_t stored;
        unsigned char *out;
        size_t size;
    };
    std::vector<Frame> frames;
    size_t taken = 0, placed = 0;
    while (taken < stored) {
        const size_t length = ZSTD_findFrameCompressedSize(in + taken, stored - taken);
        if (ZSTD_isError(length)) {
            *message = kCorruptData;
            return Decoded::Refused;
        }
        const unsigned long long content = ZSTD_getFrameContentSize(in + taken, length);
        if (content == ZSTD_CONTENTSIZE_UNKNOWN || content == ZSTD_CONTENTSIZE_ERROR)
            return Decoded::ToStream;
        if (content > size - placed) {
            *message = kTooLong;
            return Decoded::Refused;
        }
        frames.push_back({in + taken, length, out + placed, static_cast<size_t>(content)});
        taken += length;
        placed += static_cast<size_t>(content);
    }
    if (placed != size) {
        *message = kWrongSize;
        return Decoded::Refused;
    }
    if (frames.size() < 2) return Decoded::ToStream;

    std::atomic<size_t> next{0}, done{0};
    std::atomic<bool> failed{false};
    auto decode = [&] {
        ZSTD_DCtx *context = ZSTD_createDCtx();
        if (context == nullptr) return;  // the other threads take its frames
        for (size_t i; !failed && (i = next++) < frames.size();) {
            const Frame &frame = frames[i];
            const size_t got =
                ZSTD_decompressDCtx(context, frame.out, frame.size, frame.in, frame.stored);
            if (ZSTD_isError(got) || got != frame.size)
                failed = true;
            else
                ++done;
        }
        ZSTD_freeDCtx(context);
    };
    const unsigned cores = std::thread::hardware_concurrency();
    const size_t helpers = std::min<size_t>(frames.size(), cores > 1 ? cores : 1) - 1;
    std::vector<std::thread> threads;
    try {
        for (size_t i = 0; i < helpers; ++i) threads.emplace_back(decode);
    } catch (...) {
        // Fewer helpers: the frames are still all decoded.
    }
    decode();
    for (std::thread &thread : threads) thread.join();
    if (failed || done != frames.size()) {
        *message = failed ? kCorruptData : kOutOfMemory;
        return Decoded::Refused;
    }
    return Decoded::Whole;
}

// Decodes the entry's `stored` bytes of data at `in` into exactly `size`
// bytes at `out`. ToStream: libdeflate refused the stream, which the
// streaming inflate judges instead, its rules (and messages) holding for
// every deflated entry: it also takes a stream that was flushed but never
// ended, which libdeflate does not.
Decoded DecodeInMemory(WholeBuffers &buffers, const ZipEntry *entry, const unsigned char *in,
                       size_t stored, unsigned char *out, size_t size, const char **message)
{
    size_t produced = 0;
    if (entry->method == kZipDeflated) {
        if (buffers.inflater == nullptr) buffers.inflater = libdeflate_alloc_decompressor();
        size_t consumed = 0;
        // The stream must end exactly with the entry's data and give exactly
        // its size: libdeflate says where it ended on both sides.
        if (buffers.inflater == nullptr ||
            libdeflate_deflate_decompress_ex(buffers.inflater, in, stored, out, size, &consumed,
                                             &produced) != LIBDEFLATE_SUCCESS ||
            consumed != stored || produced != size)
            return Decoded::ToStream;
        return Decoded::Whole;
    }
    if (size > kWholeEntryBytes) {
        const Decoded framed = DecodeFramesAtOnce(in, stored, out, size, message);
        if (framed != Decoded::ToStream) return framed;
    }
    if (buffers.zstd == nullptr) buffers.zstd = ZSTD_createDCtx();
    if (buffers.zstd == nullptr) {
        *message = kOutOfMemory;
        return Decoded::Refused;
    }
    // Every frame of the data, one after another, and nothing else; a frame
    // that needs a dictionary fails, none being given.
    produced = ZSTD_decompressDCtx(buffers.zstd, out, size, in, stored);
    if (ZSTD_isError(produced)) {
        *message = kCorruptData;
        return Decoded::Refused;
    }
    if (produced != size) {
        *message = kWrongSize;
        return Decoded::Refused;
    }
    return Decoded::Whole;
}

// Reads, decodes and writes an entry of at most kWholeEntryBytes each way.
bool DecodeWhole(WholeBuffers &buffers, int archiveFd, const ZipEntry *entry, int fd,
                 std::atomic<uint64_t> *written, const char **message)
{
    const size_t stored = static_cast<size_t>(entry->compressedSize);
    const size_t size = static_cast<size_t>(entry->uncompressedSize);
    try {
        buffers.input.resize(stored);
        buffers.output.resize(size);
    } catch (...) {
        *message = kOutOfMemory;
        return false;
    }
    if (ReadData(archiveFd, entry, 0, buffers.input.data(), static_cast<int>(stored)) !=
        static_cast<int>(stored)) {
        *message = kEndOfFile;
        return false;
    }
    switch (DecodeInMemory(buffers, entry, buffers.input.data(), stored, buffers.output.data(),
                           size, message)) {
    case Decoded::Refused: return false;
    case Decoded::ToStream: return InflateFrom(archiveFd, entry, fd, message, written);
    case Decoded::Whole: break;
    }
    // Written, then checked, as a streamed entry is.
    if (size != 0 && !WriteBlock(fd, buffers.output.data(), static_cast<unsigned>(size), written))
        return false;
    if (Crc32(0, buffers.output.data(), size) != entry->crc) {
        *message = kCrcMismatch;
        return false;
    }
    return true;
}

enum class Viewed { Done, Failed, NoView };

// Decodes an entry larger than kWholeEntryBytes from a view of the archive
// into a view of `fd` (a file just made, written from its start). NoView,
// with nothing decoded, when the views cannot be made: the caller streams.
Viewed DecodeInViews(WholeBuffers &buffers, int archiveFd, const ZipEntry *entry, int fd,
                     std::atomic<uint64_t> *written, const char **message)
{
    const uint64_t stored = static_cast<uint64_t>(entry->compressedSize);
    const uint64_t size = static_cast<uint64_t>(entry->uncompressedSize);
    if (stored > kViewBudget || size > kViewBudget - stored) return Viewed::NoView;
    static Shares addressSpace(kViewBudget);
    Shares::Held share(addressSpace, stored + size);
    struct Views {
        FileView in = {}, out = {};
        ~Views()
        {
            fileUnmapView(&out);
            fileUnmapView(&in);
        }
    } views;
    if (fileMapView(archiveFd, entry->dataPos, static_cast<size_t>(stored), false, &views.in) != 0 ||
        fileMapView(fd, 0, static_cast<size_t>(size), true, &views.out) != 0)
        return Viewed::NoView;
    switch (DecodeInMemory(buffers, entry, views.in.data, views.in.length, views.out.data,
                           views.out.length, message)) {
    case Decoded::Refused: return Viewed::Failed;
    case Decoded::ToStream:
        fileUnmapView(&views.out);
        return InflateFrom(archiveFd, entry, fd, message, written) ? Viewed::Done : Viewed::Failed;
    case Decoded::Whole: break;
    }
    if (Crc32(0, views.out.data, views.out.length) != entry->crc) {
        *message = kCrcMismatch;
        return Viewed::Failed;
    }
    if (written != nullptr) written->fetch_add(size, std::memory_order_relaxed);
    return Viewed::Done;
}

} // namespace

bool zipReadEntry(ZipArchive *zip, ZipEntry *entry, const char *path)
{
    if (entry->uncompressedSize < 0) return false;
    int fd = fileOpen(fileSeamPath(path).c_str(),
                      FILEIO_WRONLY | FILEIO_BINARY | FILEIO_CREAT | FILEIO_TRUNC,
                      FILEIO_S_IREAD | FILEIO_S_IWRITE);
    if (fd < 0) return false;
    const bool ok = zipWriteEntryTo(zip->fd, entry, fd);
    fileClose(fd);
    return ok;
}

bool zipWriteEntryTo(int archiveFd, const ZipEntry *entry, int fd, std::atomic<uint64_t> *written)
{
    if (entry->uncompressedSize < 0) return false;
    const char *message = nullptr;
    if (entry->compressedSize == 0) return CopyStored(archiveFd, entry, fd, written);
    LentBuffers buffers;
    if ((entry->method == kZipDeflated || entry->method == kZipZstd) && buffers.Valid()) {
        if (static_cast<uint64_t>(entry->compressedSize) <= kWholeEntryBytes &&
            static_cast<uint64_t>(entry->uncompressedSize) <= kWholeEntryBytes)
            return DecodeWhole(*buffers, archiveFd, entry, fd, written, &message);
        switch (DecodeInViews(*buffers, archiveFd, entry, fd, written, &message)) {
        case Viewed::Done: return true;
        case Viewed::Failed: return false;
        case Viewed::NoView: break;
        }
    }
    switch (entry->method) {
    case kZipDeflated:
        return InflateFrom(archiveFd, entry, fd, &message, written);
    case kZipZstd:
        return StreamZstd(archiveFd, entry, fd, written, &message);
    default:
        return false;
    }
}

void zipReleaseDecoders()
{
    std::vector<std::unique_ptr<WholeBuffers>> freed;
    std::lock_guard<std::mutex> hold(shelfLock);
    freed.swap(shelf);
}
