// A small ZIP writer for the tests: builds archives in memory with every
// field open to tampering, so that each format check of the reader can be
// provoked on purpose.
#ifndef TESTS_UNIT_ZIP_WRITER_H
#define TESTS_UNIT_ZIP_WRITER_H

#include "base/little_endian.h"
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace ziptest {

// One entry as the writer lays it down. Unset overrides take the value a
// correct archive would hold.
struct Entry {
    std::string name;
    std::string data;                   // the uncompressed contents
    uint16_t method = 0;                // 0 stored, 8 deflated, 93 Zstandard, anything else as is
    uint16_t flags = 0;
    std::string localExtra;
    std::string centralExtra;
    std::string comment;
    std::optional<std::string> localName;   // a different name in the local header
    std::optional<std::string> stored;      // the bytes written as the entry's data
    std::optional<uint32_t> crc;
    std::optional<uint32_t> compressedSize;
    std::optional<uint32_t> uncompressedSize;
    std::optional<uint32_t> localOffset;    // recorded local-header offset
    std::optional<uint16_t> commentLength;  // recorded central comment length
    uint32_t localSignature = 0x04034B50;
    uint32_t centralSignature = 0x02014B50;
    bool dataDescriptor = false;        // zero sizes locally, descriptor after data
    std::string afterData;              // bytes between the data and the next header
};

// The archive around the entries.
struct Layout {
    std::string front;                  // bytes in front of the archive (a program image)
    bool absoluteOffsets = false;       // offsets rewritten to count the front bytes
    std::string comment;
    std::optional<uint16_t> entryCount;
    std::optional<uint32_t> centralSize;
    std::optional<uint32_t> centralOffset;
    std::optional<uint16_t> commentLength;
    std::string trailing;               // bytes after the comment
    // ZIP64: a ZIP64 end record and its locator in front of the end record,
    // whose count, size and offset are then saturated.
    bool zip64 = false;
    std::optional<uint64_t> zip64EntryCount;    // the total (the disk's stays right)
    std::optional<uint64_t> zip64CentralSize;
    std::optional<uint64_t> zip64CentralOffset;
    std::optional<uint64_t> zip64RecordOffset;  // where the locator says the record is
    uint32_t zip64Signature = 0x06064B50;
    std::string zip64Gap;               // bytes between the record and its locator
};

inline void Put64(std::string &out, uint64_t value)
{
    PutLe32(out, static_cast<uint32_t>(value));
    PutLe32(out, static_cast<uint32_t>(value >> 32));
}

// A ZIP64 extra field (tag 1) holding `values` in the order given.
inline std::string Zip64Extra(const std::vector<uint64_t> &values)
{
    std::string out;
    PutLe16(out, 1);
    PutLe16(out, static_cast<uint32_t>(8 * values.size()));
    for (uint64_t value : values) Put64(out, value);
    return out;
}

// The fields as the formats store them (base/little_endian.h).
inline void Put16(std::string &out, uint32_t value)
{
    PutLe16(out, value);
}

inline void Put32(std::string &out, uint32_t value)
{
    PutLe32(out, value);
}

inline uint32_t Crc(const std::string &data)
{
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                       reinterpret_cast<const Bytef *>(data.data()),
                                       static_cast<uInt>(data.size())));
}

// Raw deflate data (no zlib header) of `data`. With `finish` false the
// stream is only flushed, never ended.
inline std::string Deflate(const std::string &data, bool finish = true, int level = 6)
{
    z_stream stream = {};
    deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, finish ? Z_FINISH : Z_SYNC_FLUSH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// One Zstandard frame of `data`: with its checksum, and with the content
// size in its header unless `contentSize` is false (the frame then names
// its window in a descriptor byte of its own, the sixth).
inline std::string Zstd(const std::string &data, bool contentSize = true, int level = 3)
{
    ZSTD_CCtx *cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, contentSize ? 1 : 0);
    std::string out(ZSTD_compressBound(data.size()), '\0');
    const size_t size = ZSTD_compress2(cctx, &out[0], out.size(), data.data(), data.size());
    ZSTD_freeCCtx(cctx);
    out.resize(ZSTD_isError(size) ? 0 : size);
    return out;
}

// The archive's bytes.
inline std::string Build(const std::vector<Entry> &entries, const Layout &layout = {})
{
    std::string out = layout.front;
    const uint32_t base = layout.absoluteOffsets ? static_cast<uint32_t>(layout.front.size()) : 0;
    const size_t start = layout.front.size();
    std::vector<uint32_t> offsets;
    std::vector<std::string> payloads;
    for (const Entry &e : entries) {
        std::string payload = e.stored        ? *e.stored
                              : e.method == 8  ? Deflate(e.data)
                              : e.method == 93 ? Zstd(e.data)
                                               : e.data;
        payloads.push_back(payload);
        offsets.push_back(static_cast<uint32_t>(out.size() - start) + base);
        const std::string &name = e.localName ? *e.localName : e.name;
        uint32_t crc = e.crc ? *e.crc : Crc(e.data);
        uint32_t csize = e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(payload.size());
        uint32_t usize = e.uncompressedSize ? *e.uncompressedSize : static_cast<uint32_t>(e.data.size());
        Put32(out, e.localSignature);
        Put16(out, 20);
        Put16(out, static_cast<uint16_t>(e.flags | (e.dataDescriptor ? 8 : 0)));
        Put16(out, e.method);
        Put32(out, 0x5A2E6B00);  // a fixed time and date
        Put32(out, e.dataDescriptor ? 0 : crc);
        Put32(out, e.dataDescriptor ? 0 : csize);
        Put32(out, e.dataDescriptor ? 0 : usize);
        Put16(out, static_cast<uint32_t>(name.size()));
        Put16(out, static_cast<uint32_t>(e.localExtra.size()));
        out += name;
        out += e.localExtra;
        out += payload;
        if (e.dataDescriptor) {
            Put32(out, 0x08074B50);
            Put32(out, crc);
            Put32(out, csize);
            Put32(out, usize);
        }
        out += e.afterData;
    }

    const size_t cenStart = out.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        Put32(out, e.centralSignature);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, static_cast<uint16_t>(e.flags | (e.dataDescriptor ? 8 : 0)));
        Put16(out, e.method);
        Put32(out, 0x5A2E6B00);
        Put32(out, e.crc ? *e.crc : Crc(e.data));
        Put32(out, e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(payloads[i].size()));
        Put32(out, e.uncompressedSize ? *e.uncompressedSize : static_cast<uint32_t>(e.data.size()));
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, static_cast<uint32_t>(e.centralExtra.size()));
        Put16(out, e.commentLength ? *e.commentLength : static_cast<uint32_t>(e.comment.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, e.localOffset ? *e.localOffset : offsets[i]);
        out += e.name;
        out += e.centralExtra;
        out += e.comment;
    }
    const uint32_t cenSize = static_cast<uint32_t>(out.size() - cenStart);
    const uint64_t cenOffset = static_cast<uint64_t>(cenStart - start) + base;
    if (layout.zip64) {
        const uint64_t recordAt = out.size() - start + base;
        Put32(out, layout.zip64Signature);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, entries.size());
        Put64(out, layout.zip64EntryCount ? *layout.zip64EntryCount : entries.size());
        Put64(out, layout.zip64CentralSize ? *layout.zip64CentralSize : cenSize);
        Put64(out, layout.zip64CentralOffset ? *layout.zip64CentralOffset : cenOffset);
        out += layout.zip64Gap;
        Put32(out, 0x07064B50);
        Put32(out, 0);
        Put64(out, layout.zip64RecordOffset ? *layout.zip64RecordOffset : recordAt);
        Put32(out, 1);
    }
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    uint16_t count = layout.entryCount ? *layout.entryCount
                     : layout.zip64 ? 0xFFFF : static_cast<uint16_t>(entries.size());
    Put16(out, count);
    Put16(out, count);
    Put32(out, layout.centralSize ? *layout.centralSize : layout.zip64 ? 0xFFFFFFFF : cenSize);
    Put32(out, layout.centralOffset ? *layout.centralOffset
                                    : layout.zip64 ? 0xFFFFFFFF
                                                   : static_cast<uint32_t>(cenOffset));
    Put16(out, layout.commentLength ? *layout.commentLength : static_cast<uint32_t>(layout.comment.size()));
    out += layout.comment;
    out += layout.trailing;
    return out;
}

} // namespace ziptest

#endif
