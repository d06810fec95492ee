// What the two halves of entry data access share: zip/entry_data.cpp (whole
// entries, in buffers or in views of the files, and the choice of decoder)
// and zip/entry_stream.cpp (the streamed decoders and the stored copy).
// Callers use zip/entry_data.h.
#ifndef ZIP_ENTRY_DATA_INTERNAL_H
#define ZIP_ENTRY_DATA_INTERNAL_H

#include "zip/archive.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace entrydata {

// The messages a failed decoding leaves in *message.
extern const char kOffsetOutOfRange[];
extern const char kNotCompressed[];
extern const char kEndOfFile[];
extern const char kEndOfStream[];
extern const char kCorruptData[];
extern const char kTooLong[];
extern const char kWrongSize[];
extern const char kCrcMismatch[];
extern const char kOutOfMemory[];

// A count of something scarce that threads take shares of, waiting until
// theirs is free.
class Shares {
public:
    explicit Shares(uint64_t total) : free_(total) {}
    class Held {
    public:
        Held(Shares &shares, uint64_t amount) : shares_(shares), amount_(amount)
        {
            std::unique_lock<std::mutex> hold(shares_.lock_);
            shares_.freed_.wait(hold, [&] { return shares_.free_ >= amount_; });
            shares_.free_ -= amount_;
        }
        ~Held()
        {
            {
                std::lock_guard<std::mutex> hold(shares_.lock_);
                shares_.free_ += amount_;
            }
            shares_.freed_.notify_all();
        }
        Held(const Held &) = delete;
        Held &operator=(const Held &) = delete;

    private:
        Shares &shares_;
        uint64_t amount_;
    };

private:
    std::mutex lock_;
    std::condition_variable freed_;
    uint64_t free_;
};

// The CRC-32 of `length` bytes at `data`, continuing `crc`.
uint32_t Crc32(uint32_t crc, const void *data, size_t length);

// The length of the entry's data in the archive: its compressed size, or
// for a stored entry its size.
int64_t DataLength(const ZipEntry *entry);

// Reads up to `length` bytes of the entry's data from `offset` on (inside
// the data) in one positioned read; the count read, 0 at the data's end,
// or -1.
int ReadData(int archiveFd, const ZipEntry *entry, int64_t offset, void *buffer, int length);

// Writes one block of the entry's contents, adding its length to `written`
// when that is not null. False when the write fell short.
bool WriteBlock(int fd, const unsigned char *block, unsigned length,
                std::atomic<uint64_t> *written);

// Inflates the deflated entry to `fd` through zlib, block by block: true
// only when exactly its size came out with its CRC-32; otherwise false,
// with *message saying why where the stream was at fault (null for a failed
// read or write).
bool InflateFrom(int archiveFd, const ZipEntry *entry, int fd, const char **message,
                 std::atomic<uint64_t> *counter);

// Copies the stored entry to `fd`; true when its CRC-32 matches.
bool CopyStored(int archiveFd, const ZipEntry *entry, int fd, std::atomic<uint64_t> *written);

// Streams the Zstandard entry to `fd` through a decoder of bounded window,
// a few at a time in the process; as InflateFrom.
bool StreamZstd(int archiveFd, const ZipEntry *entry, int fd, std::atomic<uint64_t> *counter,
                const char **message);

} // namespace entrydata

#endif
