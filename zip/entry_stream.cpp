// The streamed decoders: a stored entry copied, a deflated one inflated
// through zlib, a Zstandard one through a streaming decoder; and what they
// share with the whole-entry decoding of zip/entry_data.cpp. Each reads the
// entry in blocks through positioned reads and writes it in blocks, with
// buffers of fixed size, checking the size and the CRC-32 as the data goes by.
#include "zip/entry_data_internal.h"

#include <cstdint>
#include <vector>
#include <zlib.h>

#include <libdeflate.h>
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include "zip/entry_data.h"
#include "zip/fileio.h"

namespace entrydata {

const char kOffsetOutOfRange[] = "zipRead: specified offset out of range";
const char kNotCompressed[] = "inflateFully: entry not compressed";
const char kEndOfFile[] = "inflateFully: Unexpected end of file";
const char kEndOfStream[] = "inflateFully: Unexpected end of stream";
const char kCorruptData[] = "inflateFully: invalid compressed data";
const char kTooLong[] = "inflateFully: more data than the entry's size";
const char kWrongSize[] = "inflateFully: size mismatch";
const char kCrcMismatch[] = "inflateFully: CRC-32 mismatch";
const char kOutOfMemory[] = "decoding: out of memory";

namespace {

// The largest window a streamed Zstandard frame may declare (8 MiB: what
// the packer's level 19 uses), and how many such decoders run at once:
// their windows are the run's largest buffers.
const int kZstdWindowLogMax = 23;
const int kZstdStreams = 2;

} // namespace

uint32_t Crc32(uint32_t crc, const void *data, size_t length)
{
    return libdeflate_crc32(crc, data, length);
}

int64_t DataLength(const ZipEntry *entry)
{
    return entry->compressedSize != 0 ? entry->compressedSize : entry->uncompressedSize;
}

// zipRead's read for an offset inside the data: one positioned read.
int ReadData(int archiveFd, const ZipEntry *entry, int64_t offset, void *buffer, int length)
{
    if (length <= 0) return 0;
    const int64_t dataLength = DataLength(entry);
    if (length > dataLength - offset) length = static_cast<int>(dataLength - offset);
    // Both below 2^63, from the reader's checks.
    if (entry->dataPos > INT64_MAX - offset) return -1;
    return fileReadAt(archiveFd, buffer, static_cast<unsigned>(length), entry->dataPos + offset);
}

// Writes one block of the entry's contents and counts it where asked to.
bool WriteBlock(int fd, const unsigned char *block, unsigned length, std::atomic<uint64_t> *written)
{
    if (fileWrite(fd, block, length) != static_cast<int>(length)) return false;
    if (written != nullptr) written->fetch_add(length, std::memory_order_relaxed);
    return true;
}

bool InflateFrom(int archiveFd, const ZipEntry *entry, int fd, const char **message,
                 std::atomic<uint64_t> *counter)
{
    *message = nullptr;
    if (entry->compressedSize == 0) {
        *message = kNotCompressed;
        return false;
    }

    z_stream stream = {};
    if (inflateInit2_(&stream, -MAX_WBITS, "1.1.4", static_cast<int>(sizeof stream)) != Z_OK) {
        *message = stream.msg;
        return false;
    }
    struct StreamEnd {
        z_stream *stream;
        ~StreamEnd() { inflateEnd(stream); }
    } end{&stream};

    unsigned char input[ZIP_INFLATE_INPUT_SIZE];
    unsigned char output[ZIP_INFLATE_OUTPUT_SIZE];
    const uint64_t expected = static_cast<uint64_t>(entry->uncompressedSize);
    uint64_t written = 0;
    uint32_t crc = 0;
    int64_t offset = 0;
    int64_t remaining = entry->compressedSize;
    if (entry->uncompressedSize < 0) {
        *message = kWrongSize;
        return false;
    }

    while (remaining > 0) {
        int ask = remaining < static_cast<int64_t>(sizeof input) ? static_cast<int>(remaining)
                                                                 : static_cast<int>(sizeof input);
        int got = ReadData(archiveFd, entry, offset, input, ask);
        if (got == 0) {
            *message = kEndOfFile;
            return false;
        }
        if (got < 0) return false;
        offset += got;
        remaining -= got;
        stream.next_in = input;
        stream.avail_in = static_cast<uInt>(got);

        for (;;) {
            stream.next_out = output;
            stream.avail_out = sizeof output;
            int rc = inflate(&stream, Z_PARTIAL_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                *message = kCorruptData;
                return false;
            }
            unsigned produced = static_cast<unsigned>(sizeof output - stream.avail_out);
            if (written + produced > expected) {
                *message = rc == Z_STREAM_END ? kEndOfStream : kTooLong;
                return false;
            }
            // The stream must end with the entry's compressed bytes, not
            // before them (whether or not they were read yet).
            if (rc == Z_STREAM_END &&
                (remaining != 0 || stream.avail_in != 0 || written + produced != expected)) {
                *message = kEndOfStream;
                return false;
            }
            if (produced > 0) {
                if (!WriteBlock(fd, output, produced, counter)) return false;
                crc = Crc32(crc, output, produced);
                written += produced;
            }
            if (rc == Z_STREAM_END) {
                if (crc != entry->crc) {
                    *message = kCrcMismatch;
                    return false;
                }
                return true;
            }
            // No progress is possible without more input.
            if (rc == Z_BUF_ERROR) break;
            if (stream.avail_in == 0 && stream.avail_out != 0) break;
        }
    }

    // The compressed bytes ran out before the stream said it ended: what was
    // produced must still be the whole entry.
    if (written != expected) {
        *message = kWrongSize;
        return false;
    }
    if (crc != entry->crc) {
        *message = kCrcMismatch;
        return false;
    }
    return true;
}


// Copies a stored entry.
bool CopyStored(int archiveFd, const ZipEntry *entry, int fd, std::atomic<uint64_t> *written)
{
    unsigned char buffer[ZIP_COPY_BUFFER_SIZE];
    uint32_t crc = 0;
    int64_t offset = 0;
    int64_t remaining = entry->uncompressedSize;
    while (remaining > 0) {
        int ask = remaining < static_cast<int64_t>(sizeof buffer) ? static_cast<int>(remaining)
                                                                  : static_cast<int>(sizeof buffer);
        int got = ReadData(archiveFd, entry, offset, buffer, ask);
        if (got <= 0 || !WriteBlock(fd, buffer, static_cast<unsigned>(got), written)) return false;
        crc = Crc32(crc, buffer, static_cast<size_t>(got));
        offset += got;
        remaining -= got;
    }
    return crc == entry->crc;
}

// Streams a Zstandard entry too large to decode whole.
bool StreamZstd(int archiveFd, const ZipEntry *entry, int fd, std::atomic<uint64_t> *counter,
                const char **message)
{
    static Shares streams(kZstdStreams);
    Shares::Held slot(streams, 1);
    struct Context {
        ZSTD_DCtx *dctx = ZSTD_createDCtx();
        ~Context() { ZSTD_freeDCtx(dctx); }
    } context;
    if (context.dctx == nullptr ||
        ZSTD_isError(ZSTD_DCtx_setParameter(context.dctx, ZSTD_d_windowLogMax, kZstdWindowLogMax))) {
        *message = kOutOfMemory;
        return false;
    }
    std::vector<unsigned char> input(ZSTD_DStreamInSize());
    std::vector<unsigned char> output(ZSTD_DStreamOutSize());
    const uint64_t expected = static_cast<uint64_t>(entry->uncompressedSize);
    uint64_t written = 0;
    uint32_t crc = 0;
    int64_t offset = 0;
    size_t last = 0;  // the decoder's last answer: 0 once a frame is complete
    while (offset < entry->compressedSize) {
        const int64_t left = entry->compressedSize - offset;
        const int ask = left < static_cast<int64_t>(input.size()) ? static_cast<int>(left)
                                                                  : static_cast<int>(input.size());
        const int got = ReadData(archiveFd, entry, offset, input.data(), ask);
        if (got <= 0) {
            *message = kEndOfFile;
            return false;
        }
        offset += got;
        ZSTD_inBuffer in = {input.data(), static_cast<size_t>(got), 0};
        while (in.pos < in.size) {
            ZSTD_outBuffer out = {output.data(), output.size(), 0};
            last = ZSTD_decompressStream(context.dctx, &out, &in);
            if (ZSTD_isError(last)) {
                *message = kCorruptData;
                return false;
            }
            if (written + out.pos > expected) {
                *message = kTooLong;
                return false;
            }
            if (out.pos > 0) {
                if (!WriteBlock(fd, output.data(), static_cast<unsigned>(out.pos), counter))
                    return false;
                crc = Crc32(crc, output.data(), out.pos);
                written += out.pos;
            }
        }
    }
    // Flush what the decoder still holds of the last frame.
    for (;;) {
        ZSTD_inBuffer in = {input.data(), 0, 0};
        ZSTD_outBuffer out = {output.data(), output.size(), 0};
        if (last == 0) break;
        last = ZSTD_decompressStream(context.dctx, &out, &in);
        if (ZSTD_isError(last) || out.pos == 0) {
            *message = kEndOfStream;
            return false;
        }
        if (written + out.pos > expected) {
            *message = kTooLong;
            return false;
        }
        if (!WriteBlock(fd, output.data(), static_cast<unsigned>(out.pos), counter)) return false;
        crc = Crc32(crc, output.data(), out.pos);
        written += out.pos;
    }
    if (written != expected) {
        *message = kWrongSize;
        return false;
    }
    if (crc != entry->crc) {
        *message = kCrcMismatch;
        return false;
    }
    return true;
}

} // namespace entrydata
