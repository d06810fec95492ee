// Implementation notes.
//
// Files are read in blocks (512 KiB for deflate, 64 MiB for Zstandard), so
// memory stays flat whatever their size. Each one is compressed straight
// into the output behind a provisional local header; when compressing does
// not make it smaller, the file is read again and stored over the
// compressed bytes. The local header is
// then written again with the real method, sizes and CRC, so no data
// descriptors are needed: the launcher's reader takes sizes from the central
// directory, but other tools read local headers too. A stored file may leave
// deflated bytes behind it that nothing overwrites when it comes last; the
// caller cuts the file to the length reported.
//
// ZIP64 only where it is needed, so that an installer within the classic
// limits keeps its bytes: a file of 4 GiB or more gets saturated size fields
// and a ZIP64 extra field in both headers (its local one sized before the
// data is written, from the file's size, which bounds what is written: a
// file that does not shrink is stored); a central header whose sizes or
// offset do not fit gets one with those values; and an archive of 65,535
// entries or more, or whose directory lies or reaches beyond 4 GiB, ends
// with a ZIP64 end record and its locator in front of a saturated end
// record. The launcher's reader holds at most kZipMaxEntries entries; more
// are refused here rather than written as an installer that cannot run.
//
// Signing tools pad the file to a multiple of 8 bytes before the
// certificate table; the archive's end record must end right where that
// table begins, so the archive comment takes up that padding instead.
#include "archive_writer.h"

#include "base/little_endian.h"
#include "zip/archive.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <initializer_list>
#include <limits>

#include <zlib.h>
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace {

const uint16_t kVersion = 20;           // 2.0: deflate, directories
const uint16_t kZstdVersion = 63;       // 6.3: Zstandard
const uint16_t kZip64Version = 45;      // 4.5: ZIP64
const uint64_t kSaturated32 = 0xFFFFFFFF;
const uint32_t kSaturated16 = 0xFFFF;
const uint16_t kZip64Tag = 0x0001;
const uint32_t kDirectoryAttribute = 0x10;
const uint32_t kFixedDosTime = (20u << 25) | (1u << 21) | (1u << 16);  // 2000-01-01 00:00
const unsigned kSigningAlignment = 8;
const size_t kChunkSize = 256 * 1024;
// Files are deflated in blocks of this size, each primed with the window
// before it.
const size_t kBlockSize = 512 * 1024;
const size_t kWindowSize = 32 * 1024;
// A Zstandard frame holds this much of a file, with at most this window.
// Each frame starts without the bytes before it: larger frames lose less
// (a 128 MB runtime module: 29.44 MB in 16 MiB frames, 29.14 MB in 64 MiB
// ones), at the packer's memory.
const size_t kZstdFrameSize = 64 * 1024 * 1024;
const int kZstdWindowLog = 23;

// The version needed to extract an entry of `method`, ZIP64 or not.
uint16_t Needed(uint16_t method, bool zip64)
{
    const uint16_t byMethod = method == kZipZstd ? kZstdVersion : kVersion;
    return zip64 ? std::max(byMethod, kZip64Version) : byMethod;
}

struct Written {
    uint16_t method;
    uint32_t crc;
    uint64_t compressed;
    uint64_t size;
    uint64_t offset;
    bool zip64;      // a file of 4 GiB or more: both headers carry its sizes in ZIP64
    uint16_t flags;  // general purpose flags: the UTF-8 flag, or none
};

void PutLe64(std::string &out, uint64_t value)
{
    PutLe32(out, static_cast<uint32_t>(value));
    PutLe32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Field32(uint64_t value)
{
    return value >= kSaturated32 ? static_cast<uint32_t>(kSaturated32) : static_cast<uint32_t>(value);
}

// A ZIP64 extra field with `values`, in the order given.
std::string Zip64Extra(std::initializer_list<uint64_t> values)
{
    std::string extra;
    PutLe16(extra, kZip64Tag);
    PutLe16(extra, static_cast<uint32_t>(8 * values.size()));
    for (uint64_t value : values) PutLe64(extra, value);
    return extra;
}

// The local header of `w` with its name.
std::string LocalHeader(const Written &w, uint32_t dosTime, const std::string &name)
{
    const std::string extra = w.zip64 ? Zip64Extra({w.size, w.compressed}) : std::string();
    std::string out;
    PutLe32(out, 0x04034B50);
    PutLe16(out, Needed(w.method, w.zip64));
    PutLe16(out, w.flags);
    PutLe16(out, w.method);
    PutLe32(out, dosTime);
    PutLe32(out, w.crc);
    PutLe32(out, w.zip64 ? static_cast<uint32_t>(kSaturated32) : Field32(w.compressed));
    PutLe32(out, w.zip64 ? static_cast<uint32_t>(kSaturated32) : Field32(w.size));
    PutLe16(out, static_cast<uint32_t>(name.size()));
    PutLe16(out, static_cast<uint32_t>(extra.size()));
    return out + name + extra;
}

// The central header of `w`: the fields that do not fit are saturated and
// given in a ZIP64 extra field, in the format's order.
std::string CentralHeader(const Written &w, uint32_t dosTime, const std::string &name,
                          bool directory)
{
    std::string extra;
    if (w.size >= kSaturated32 || w.compressed >= kSaturated32 || w.offset >= kSaturated32) {
        PutLe16(extra, kZip64Tag);
        PutLe16(extra, 0);
        for (uint64_t value : {w.size, w.compressed, w.offset}) {
            if (value >= kSaturated32) PutLe64(extra, value);
        }
        extra[2] = static_cast<char>(extra.size() - 4);
    }
    const bool zip64 = !extra.empty();
    std::string out;
    PutLe32(out, 0x02014B50);
    PutLe16(out, Needed(w.method, zip64));  // made by MS-DOS: DOS attributes
    PutLe16(out, Needed(w.method, zip64));
    PutLe16(out, w.flags);
    PutLe16(out, w.method);
    PutLe32(out, dosTime);
    PutLe32(out, w.crc);
    PutLe32(out, Field32(w.compressed));
    PutLe32(out, Field32(w.size));
    PutLe16(out, static_cast<uint32_t>(name.size()));
    PutLe16(out, static_cast<uint32_t>(extra.size()));
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe32(out, directory ? kDirectoryAttribute : 0);
    PutLe32(out, Field32(w.offset));
    return out + name + extra;
}

// False, with the reason the installer cannot be written.
bool WriteFailed(std::string *error)
{
    *error = std::string("cannot write the installer: ") + std::strerror(errno);
    return false;
}

// False, with `what` said of the file behind `entry`.
bool SourceFailed(const PayloadEntry &entry, const char *what, std::string *error)
{
    *error = entry.source.u8string() + what;
    return false;
}
const char kUnreadable[] = ": cannot be read";
const char kChanged[] = ": changed while it was packed";

bool WriteBytes(std::FILE *out, const void *bytes, size_t size, std::string *error)
{
    return size == 0 || std::fwrite(bytes, 1, size, out) == size || WriteFailed(error);
}

bool Write(std::FILE *out, const std::string &bytes, std::string *error)
{
    return WriteBytes(out, bytes.data(), bytes.size(), error);
}

bool Seek(std::FILE *out, uint64_t position, std::string *error)
{
#ifdef _WIN32
    const int sought = fseeko64(out, static_cast<off64_t>(position), SEEK_SET);
#else
    const int sought = fseeko(out, static_cast<off_t>(position), SEEK_SET);
#endif
    return sought == 0 || WriteFailed(error);
}

// Reads up to a buffer's worth of `in`; false when the file cannot be read.
bool ReadChunk(std::ifstream &in, std::vector<unsigned char> &buffer, size_t *got)
{
    in.read(reinterpret_cast<char *>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    *got = static_cast<size_t>(in.gcount());
    return !in.bad();
}

// A few threads that run jobs in the order given; with none, Submit runs the
// job at once.
class Deflaters {
public:
    explicit Deflaters(int threads)
    {
        for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
    }
    ~Deflaters()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread &thread : threads_) thread.join();
    }
    Deflaters(const Deflaters &) = delete;
    Deflaters &operator=(const Deflaters &) = delete;

    void Submit(std::function<void()> job)
    {
        if (threads_.empty()) {
            job();
            return;
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

private:
    void Serve()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> hold(lock_);
                wake_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// One block of a file: its bytes, the window before it, and what deflating
// them gave.
struct Block {
    size_t entry;                       // index into the entries
    bool first;                         // the entry's first block
    bool last;                          // its last block
    std::vector<unsigned char> input;
    std::vector<unsigned char> dictionary;
    std::vector<unsigned char> output;
    uLong crc = 0;
    bool ok = false;
    std::promise<void> deflated;
    std::future<void> ready = deflated.get_future();
};

// Zstandard's compression contexts, lent to one block at a time and freed
// together when the writing ends. Not per-thread storage: in the Windows
// build the destructors of thread_local objects run at a thread's end
// through the threads library's keys, and were seen to free a context
// already gone, crashing the packer as its threads ended.
class ZstdContexts {
public:
    ZstdContexts() = default;
    ~ZstdContexts()
    {
        for (ZSTD_CCtx *cctx : shelf_) ZSTD_freeCCtx(cctx);
    }
    ZstdContexts(const ZstdContexts &) = delete;
    ZstdContexts &operator=(const ZstdContexts &) = delete;

    // A context of the shelf, or a new one; null when memory runs out.
    ZSTD_CCtx *Take()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (!shelf_.empty()) {
                ZSTD_CCtx *cctx = shelf_.back();
                shelf_.pop_back();
                return cctx;
            }
        }
        return ZSTD_createCCtx();
    }
    // Shelves `cctx` for the next block.
    void Give(ZSTD_CCtx *cctx)
    {
        if (cctx == nullptr) return;
        std::lock_guard<std::mutex> hold(lock_);
        shelf_.push_back(cctx);
    }

private:
    std::mutex lock_;
    std::vector<ZSTD_CCtx *> shelf_;
};

// Compresses `block` as one Zstandard frame of its own: the level asked
// for, a window of at most kZstdWindowLog, the content size in the header,
// no checksum (the entry's CRC-32 covers it).
void ZstdBlock(Block &block, int level, ZstdContexts &contexts)
{
    struct Lent {
        ZstdContexts &contexts;
        ZSTD_CCtx *cctx;
        ~Lent() { contexts.Give(cctx); }
    } lent{contexts, contexts.Take()};
    ZSTD_CCtx *cctx = lent.cctx;
    if (cctx == nullptr) return;
    ZSTD_CCtx_reset(cctx, ZSTD_reset_session_and_parameters);
    if (ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 0)))
        return;
    // The level's own window where it is smaller: only levels above 19 ask
    // for more.
    ZSTD_compressionParameters parameters = ZSTD_getCParams(level, block.input.size(), 0);
    if (parameters.windowLog > static_cast<unsigned>(kZstdWindowLog) &&
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, kZstdWindowLog)))
        return;
    block.output.resize(ZSTD_compressBound(block.input.size()));
    const size_t size = ZSTD_compress2(cctx, block.output.data(), block.output.size(),
                                       block.input.data(), block.input.size());
    if (ZSTD_isError(size)) return;
    block.output.resize(size);
    block.ok = true;
}

// Compresses `block` as `compression` says: one Zstandard frame, or a piece
// of its file's one raw deflate stream (primed with the bytes before it,
// ended with a sync flush, the last with the stream's end, so that the
// pieces written one after another are that stream); stored, nothing.
void CompressBlock(Block &block, const Compression &compression, ZstdContexts &contexts)
{
    block.crc = crc32(crc32(0L, Z_NULL, 0), block.input.data(), static_cast<uInt>(block.input.size()));
    if (compression.method == kZipStored) {
        block.ok = true;
        return;
    }
    if (compression.method == kZipZstd) {
        ZstdBlock(block, compression.level, contexts);
        return;
    }
    z_stream stream = {};
    if (deflateInit2(&stream, compression.level, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    if (!block.dictionary.empty())
        deflateSetDictionary(&stream, block.dictionary.data(),
                             static_cast<uInt>(block.dictionary.size()));
    // Room for the worst case, the flush's marker and the end.
    block.output.resize(deflateBound(&stream, static_cast<uLong>(block.input.size())) + 16);
    stream.next_in = block.input.data();
    stream.avail_in = static_cast<uInt>(block.input.size());
    stream.next_out = block.output.data();
    stream.avail_out = static_cast<uInt>(block.output.size());
    const int rc = deflate(&stream, block.last ? Z_FINISH : Z_SYNC_FLUSH);
    block.ok = stream.avail_in == 0 && (block.last ? rc == Z_STREAM_END : rc == Z_OK);
    block.output.resize(block.output.size() - stream.avail_out);
    deflateEnd(&stream);
}

// Re-reads `entry` into `out` from the current position, stored: the same
// bytes as were deflated, or an error that it changed.
bool CopyStored(std::FILE *out, const PayloadEntry &entry, uint64_t size, uLong crc,
                std::string *error)
{
    std::ifstream in(entry.source, std::ios::binary);
    if (!in) return SourceFailed(entry, kUnreadable, error);
    std::vector<unsigned char> input(kChunkSize);
    uLong again = crc32(0L, Z_NULL, 0);
    uint64_t copied = 0;
    for (;;) {
        size_t got = 0;
        if (!ReadChunk(in, input, &got)) return SourceFailed(entry, kUnreadable, error);
        if (got == 0) break;
        again = crc32(again, input.data(), static_cast<uInt>(got));
        copied += got;
        if (!WriteBytes(out, input.data(), got, error)) return false;
    }
    return (copied == size && again == crc) || SourceFailed(entry, kChanged, error);
}

// The number of deflating threads: MKSETUP_THREADS when set (0 or 1: none,
// everything on the calling thread), else one per processor.
int DeflatingThreads()
{
    const char *asked = std::getenv("MKSETUP_THREADS");
    const int threads = asked != nullptr && *asked != '\0'
                            ? std::atoi(asked)
                            : static_cast<int>(std::thread::hardware_concurrency());
    return threads > 1 ? std::min(threads, 64) : 0;
}

} // namespace

bool EntryTime(const char *sourceDateEpoch, uint32_t *dosTime, std::string *error)
{
    if (sourceDateEpoch == nullptr || *sourceDateEpoch == '\0') {
        *dosTime = kFixedDosTime;
        return true;
    }
    char *end = nullptr;
    errno = 0;
    long long seconds = std::strtoll(sourceDateEpoch, &end, 10);
    if (*end != '\0' || errno != 0 || seconds < 0) {
        *error = std::string("SOURCE_DATE_EPOCH is not a number of seconds: ") + sourceDateEpoch;
        return false;
    }
    // MS-DOS dates run from 1980 to 2107.
    const long long first = 315532800;   // 1980-01-01 00:00:00 UTC
    const long long last = 4354819198LL; // 2107-12-31 23:59:58 UTC
    if (seconds < first) seconds = first;
    if (seconds > last) seconds = last;
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    long long z = days + 719468;
    long long era = z / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long day = doy - (153 * mp + 2) / 5 + 1;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    uint32_t time = static_cast<uint32_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) |
                                          ((rest % 60) / 2));
    *dosTime = (date << 16) | time;
    return true;
}

bool CompressionLevels(uint16_t method, int *lowest, int *highest)
{
    switch (method) {
    case kZipDeflated:
        *lowest = 1;
        *highest = 9;
        return true;
    case kZipZstd:
        *lowest = 1;
        *highest = ZSTD_maxCLevel();
        return true;
    case kZipStored:
        *lowest = *highest = 0;
        return true;
    default:
        return false;
    }
}

bool WriteInstaller(std::FILE *out, const std::string &stub,
                    const std::vector<PayloadEntry> &entries, uint32_t dosTime,
                    const Compression &compression, const Progress &progress, uint64_t *length,
                    std::string *error)
{
    if (entries.size() > static_cast<size_t>(kZipMaxEntries)) {
        *error = "the payload has " + std::to_string(entries.size()) +
                 " files and folders; the launcher reads at most " + std::to_string(kZipMaxEntries);
        return false;
    }
    uint64_t total = 0;
    for (const PayloadEntry &entry : entries) total += entry.size;

    if (!Write(out, stub, error)) return false;
    uint64_t position = stub.size();
    uint64_t done = 0;
    std::vector<Written> written;
    written.reserve(entries.size());

    // The blocks in the archive's order: read and handed to the deflaters
    // here, written here in turn once deflated, a few in flight at a time.
    const int threads = DeflatingThreads();
    // Zstandard's blocks are large: one waiting beside those being compressed.
    const size_t inFlight = compression.method == kZipZstd
                                ? static_cast<size_t>(std::max(threads, 1)) + 1
                                : 2 * static_cast<size_t>(std::max(threads, 1)) + 2;
    std::deque<std::unique_ptr<Block>> pending;
    ZstdContexts contexts;  // outlives the threads that borrow from it
    Deflaters deflaters(threads);
    // Every block handed out is waited for before the blocks go, whatever
    // ends the writing.
    struct Drain {
        std::deque<std::unique_ptr<Block>> &blocks;
        ~Drain()
        {
            for (auto &block : blocks) block->ready.wait();
        }
    } drain{pending};

    // What the entry being written has come to so far.
    Written w = {};
    uint64_t dataAt = 0;
    uint64_t deflated = 0;
    uLong crc = 0;
    uint64_t size = 0;
    // Writes the front block: the entry's header before its first, its data,
    // and after its last the entry's real header (stored instead when
    // deflating did not make it smaller).
    auto writeFront = [&]() -> bool {
        std::unique_ptr<Block> block = std::move(pending.front());
        pending.pop_front();
        block->ready.wait();
        const PayloadEntry &entry = entries[block->entry];
        if (block->first) {
            w = Written{0, 0, 0, 0, position, entry.size >= kSaturated32,
                        static_cast<uint16_t>(entry.utf8 ? kZipUtf8Flag : 0)};
            const std::string header = LocalHeader(w, dosTime, entry.name);
            dataAt = position + header.size();
            deflated = size = 0;
            crc = crc32(0L, Z_NULL, 0);
            if (!Write(out, header, error)) return false;
        }
        if (!entry.source.empty()) {
            if (!block->ok) {
                *error = "cannot compress " + entry.source.u8string();
                return false;
            }
            crc = crc32_combine(crc, block->crc, static_cast<z_off_t>(block->input.size()));
            size += block->input.size();
            if (!WriteBytes(out, block->output.data(), block->output.size(), error)) return false;
            deflated += block->output.size();
        }
        if (!block->last) return true;
        if (!entry.source.empty()) {
            if (size != entry.size) return SourceFailed(entry, kChanged, error);
            w.crc = static_cast<uint32_t>(crc);
            w.size = size;
            const bool shrank = compression.method != kZipStored && deflated < size;
            w.method = shrank ? compression.method : kZipStored;
            w.compressed = shrank ? deflated : size;
            if (w.method == 0 && (!Seek(out, dataAt, error) || !CopyStored(out, entry, size, crc, error)))
                return false;
            // The header again, now with what the data turned out to be;
            // a stored file may leave deflated bytes behind it, which the
            // next entry or the caller's cut overwrites.
            if (!Seek(out, position, error) || !Write(out, LocalHeader(w, dosTime, entry.name), error) ||
                !Seek(out, dataAt + w.compressed, error))
                return false;
        }
        position = dataAt + w.compressed;
        written.push_back(w);
        return true;
    };
    auto handOut = [&](std::unique_ptr<Block> block) -> bool {
        Block *raw = block.get();
        pending.push_back(std::move(block));
        if (!entries[raw->entry].source.empty()) {
            deflaters.Submit([raw, &compression, &contexts] {
                try {
                    CompressBlock(*raw, compression, contexts);
                } catch (...) {
                    raw->ok = false;  // out of memory: the entry fails
                }
                raw->deflated.set_value();
            });
        } else {
            raw->deflated.set_value();
        }
        return pending.size() < inFlight || writeFront();
    };

    // Deflate cuts a file into blocks that each continue the stream before
    // them; Zstandard into frames of their own.
    const bool zstd = compression.method == kZipZstd;
    const size_t blockSize = zstd ? kZstdFrameSize : kBlockSize;
    std::vector<unsigned char> previous;  // the last window's worth of the file so far
    for (size_t e = 0; e < entries.size(); ++e) {
        const PayloadEntry &entry = entries[e];
        if (entry.source.empty()) {
            std::unique_ptr<Block> block(new Block);
            block->entry = e;
            block->first = block->last = true;
            if (!handOut(std::move(block))) return false;
            continue;
        }
        std::ifstream in(entry.source, std::ios::binary);
        if (!in) return SourceFailed(entry, kUnreadable, error);
        previous.clear();
        uint64_t read = 0;
        for (bool first = true;; first = false) {
            std::unique_ptr<Block> block(new Block);
            block->entry = e;
            block->first = first;
            // No more than the file has left, and a byte over to see it end:
            // a small file takes no block-sized buffer.
            const uint64_t left = entry.size > read ? entry.size - read : 0;
            const size_t asked = static_cast<size_t>(std::min<uint64_t>(blockSize, left + 1));
            block->input.resize(asked);
            size_t got = 0;
            if (!ReadChunk(in, block->input, &got)) return SourceFailed(entry, kUnreadable, error);
            block->input.resize(got);
            // The end is known once a read comes short: the cuts depend on
            // the file alone.
            read += got;
            block->last = got < asked || in.peek() == std::char_traits<char>::eof();
            if (!zstd && compression.method != kZipStored) {
                block->dictionary = previous;
                const size_t keep = std::min(got, kWindowSize);
                previous.assign(block->input.end() - static_cast<std::ptrdiff_t>(keep),
                                block->input.end());
            }
            done += got;
            if (progress && got > 0) progress(done, total);
            const bool last = block->last;
            if (!handOut(std::move(block))) return false;
            if (last) break;
        }
    }
    while (!pending.empty())
        if (!writeFront()) return false;

    std::string central;
    for (size_t i = 0; i < entries.size(); ++i)
        central += CentralHeader(written[i], dosTime, entries[i].name, entries[i].source.empty());
    const uint64_t count = entries.size();
    const bool zip64 = count >= kSaturated16 || central.size() >= kSaturated32 ||
                       position >= kSaturated32;
    std::string tail;
    if (zip64) {
        const uint64_t recordAt = position + central.size();
        PutLe32(tail, 0x06064B50);
        PutLe64(tail, 44);  // the record's size behind this field
        PutLe16(tail, kZip64Version);
        PutLe16(tail, kZip64Version);
        PutLe32(tail, 0);
        PutLe32(tail, 0);
        PutLe64(tail, count);
        PutLe64(tail, count);
        PutLe64(tail, central.size());
        PutLe64(tail, position);
        PutLe32(tail, 0x07064B50);
        PutLe32(tail, 0);
        PutLe64(tail, recordAt);
        PutLe32(tail, 1);
    }
    uint64_t end = position + central.size() + tail.size() + 22;
    unsigned padding = static_cast<unsigned>((kSigningAlignment - end % kSigningAlignment) %
                                             kSigningAlignment);
    *length = end + padding;
    PutLe32(tail, 0x06054B50);
    PutLe16(tail, 0);
    PutLe16(tail, 0);
    PutLe16(tail, count >= kSaturated16 ? kSaturated16 : static_cast<uint32_t>(count));
    PutLe16(tail, count >= kSaturated16 ? kSaturated16 : static_cast<uint32_t>(count));
    PutLe32(tail, zip64 ? static_cast<uint32_t>(kSaturated32) : Field32(central.size()));
    PutLe32(tail, zip64 ? static_cast<uint32_t>(kSaturated32) : Field32(position));
    PutLe16(tail, padding);
    tail.append(padding, ' ');
    return Write(out, central, error) && Write(out, tail, error);
}
