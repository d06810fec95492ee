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
#include "zip/entry_data.h"

#include <cstdio>
#include <zlib.h>

#include "zip/fileio.h"

namespace {

const char kOffsetOutOfRange[] = "zipRead: specified offset out of range";
const char kNotCompressed[] = "inflateFully: entry not compressed";
const char kEndOfFile[] = "inflateFully: Unexpected end of file";
const char kEndOfStream[] = "inflateFully: Unexpected end of stream";
const char kCorruptData[] = "inflateFully: invalid compressed data";
const char kTooLong[] = "inflateFully: more data than the entry's size";
const char kWrongSize[] = "inflateFully: size mismatch";
const char kCrcMismatch[] = "inflateFully: CRC-32 mismatch";

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

bool InflateFrom(int archiveFd, const ZipEntry *entry, int fd, const char **message,
                 std::atomic<uint64_t> *written);

// Writes one block of the entry's contents and counts it where asked to.
bool WriteBlock(int fd, const unsigned char *block, unsigned length, std::atomic<uint64_t> *written)
{
    if (fileWrite(fd, block, length) != static_cast<int>(length)) return false;
    if (written != nullptr) written->fetch_add(length, std::memory_order_relaxed);
    return true;
}

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
    uLong crc = crc32(0L, Z_NULL, 0);
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
                crc = crc32(crc, output, produced);
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
    bool ok = false;
    if (entry->compressedSize != 0) {
        const char *message = nullptr;
        ok = InflateFrom(archiveFd, entry, fd, &message, written);
    } else {
        unsigned char buffer[ZIP_COPY_BUFFER_SIZE];
        uLong crc = crc32(0L, Z_NULL, 0);
        int64_t offset = 0;
        int64_t remaining = entry->uncompressedSize;
        ok = true;
        while (remaining > 0) {
            int ask = remaining < static_cast<int64_t>(sizeof buffer) ? static_cast<int>(remaining)
                                                                      : static_cast<int>(sizeof buffer);
            int got = ReadData(archiveFd, entry, offset, buffer, ask);
            if (got <= 0 || !WriteBlock(fd, buffer, static_cast<unsigned>(got), written)) {
                ok = false;
                break;
            }
            crc = crc32(crc, buffer, static_cast<uInt>(got));
            offset += got;
            remaining -= got;
        }
        if (ok && crc != entry->crc) ok = false;
    }
    return ok;
}
