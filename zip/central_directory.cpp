// The end record and the central directory: where the archive is, what it
// holds, and the index built from it (zip/archive.cpp reads the entries).
//
// Implementation notes.
//
// The end record is searched backwards in 22-byte blocks through a 44-byte
// window that always holds the current block followed by the bytes that
// directly follow it in the file, so a signature or comment length that
// straddles two blocks is still seen.
//
// A signed program file ends with its certificate table; the search then
// starts where that table begins (zip/signed_image.h), so signing after
// packing leaves the payload readable. Signing tools start that table on an
// 8-byte boundary and fill the gap behind the archive with zero bytes, so
// in a signed file the end record may stop up to 7 zero bytes short of it.
// Bytes there that are not zero are not padding: the file is damaged.
//
// Archives appended to an executable are handled by shifting every local
// header offset by the distance between where the central directory really
// lies and where the end record says it lies.
//
// ZIP64. When a ZIP64 locator stands right in front of the end record, the
// ZIP64 end record gives the numbers (writers add it when a count, size or
// offset needs it, and saturate those fields of the end record; some add it
// before the fields overflow, and the record then stands between the
// directory and the end record all the same). Writers put that record directly
// in front of the locator; its recorded offset counts from the start of the
// archive, which for an appended archive is not the file's start, so the
// record is looked for in front of the locator first and at the recorded
// offset second. The central directory ends where the ZIP64 end record
// begins. A central header whose size or offset field is saturated takes the
// value from its ZIP64 extra field, in the order the format gives
// (uncompressed size, compressed size, local header offset); an extra field
// that lacks one, or whose records run past its end, makes the directory
// damaged.
#include "zip/archive.h"

#include "base/little_endian.h"
#include "zip/archive_internal.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zip/fileio.h"
#include "zip/signed_image.h"

namespace {

const uint32_t kCenSig = 0x02014B50;
const uint32_t kEndSig = 0x06054B50;
const uint32_t kZip64EndSig = 0x06064B50;
const uint32_t kZip64LocatorSig = 0x07064B50;
const int kEndHeader = 22;
const int kZip64EndHeader = 56;
const int kZip64Locator = 20;
const uint16_t kZip64ExtraTag = 0x0001;
const uint32_t kSaturated32 = 0xFFFFFFFF;
// Bounds that keep every sum in signed 64 bits: kZipMaxEntries (2^22)
// sizes of at most kZipMaxEntrySize (2^40) each add up to at most 2^62, and
// an offset below 2^62 plus a shift below the file's length stays below 2^63.
const uint64_t kMaxOffset = (uint64_t(1) << 62) - 1;
const int32_t kEndSearchLimit = 65535;
const int32_t kSigningAlignment = 8;

uint64_t GetLe64(const unsigned char *p)
{
    return static_cast<uint64_t>(GetLe32(p)) | static_cast<uint64_t>(GetLe32(p + 4)) << 32;
}

// Keeps a copy of a "META-INF/" name. False when memory runs out.
bool addMetaName(ZipArchive *zip, const char *name)
{
    char *copy = copyText(name, strlen(name));
    if (copy == nullptr) return false;
    if (zip->metaNames == nullptr) {
        zip->metaNames = static_cast<char **>(calloc(2, sizeof(char *)));
        if (zip->metaNames == nullptr) {
            free(copy);
            return false;
        }
        zip->metaSlots = 2;
    }
    for (int32_t i = 0; i < zip->metaSlots; ++i) {
        if (zip->metaNames[i] == nullptr) {
            zip->metaNames[i] = copy;
            return true;
        }
    }
    int32_t slots = zip->metaSlots * 2;
    char **grown = static_cast<char **>(calloc(static_cast<size_t>(slots), sizeof(char *)));
    if (grown == nullptr) {
        free(copy);
        return false;
    }
    memcpy(grown, zip->metaNames, static_cast<size_t>(zip->metaSlots) * sizeof(char *));
    grown[zip->metaSlots] = copy;
    free(zip->metaNames);
    zip->metaNames = grown;
    zip->metaSlots = slots;
    return true;
}

// Stores `comment` (ownership passes to the archive) as entry n's comment.
bool addEntryComment(ZipArchive *zip, int32_t n, char *comment)
{
    if (zip->entryComments == nullptr) {
        zip->entryComments =
            static_cast<char **>(calloc(static_cast<size_t>(zip->entryCount), sizeof(char *)));
        if (zip->entryComments == nullptr) {
            free(comment);
            return false;
        }
    }
    zip->entryComments[n] = comment;
    return true;
}

} // namespace

int64_t findEND(ZipArchive *zip, unsigned char *endbuf)
{
    int64_t len = fileSeek(zip->fd, 0, SEEK_END);
    if (len < 0) return -1;
    // A signed program's certificate table follows the archive: the archive
    // then ends where that table begins.
    int64_t signedEnd = zipSignedImageEnd(zip->fd, len, nullptr);
    const bool isSigned = signedEnd > 0;
    if (isSigned) len = signedEnd;

    unsigned char window[2 * kEndHeader] = {};
    int32_t covered = 0;
    int64_t blockPos = len;
    while (covered < kEndSearchLimit) {
        int32_t n = kEndSearchLimit - covered < kEndHeader ? kEndSearchLimit - covered : kEndHeader;
        blockPos -= n;
        // The search never shortens a block at the start of the file: a
        // short file whose blocks hold no end record is an error.
        if (blockPos < 0) return -1;
        memmove(window + n, window, sizeof window - static_cast<size_t>(n));
        if (fileSeek(zip->fd, blockPos, SEEK_SET) < 0) return -1;
        if (readFully(zip->fd, window, n) != 0) return -1;
        covered += n;

        for (int32_t i = 0; i < n; ++i) {
            if (GetLe32(window + i) != kEndSig) continue;
            int64_t pos = blockPos + i;
            int32_t commentLen = GetLe16(window + i + 20);
            const int64_t gap = static_cast<int64_t>(len) - pos - kEndHeader - commentLen;
            if (gap != 0 && !(isSigned && gap > 0 && gap < kSigningAlignment)) continue;
            if (gap != 0) {
                unsigned char padding[kSigningAlignment] = {};
                if (fileSeek(zip->fd, len - gap, SEEK_SET) < 0 ||
                    readFully(zip->fd, padding, static_cast<int32_t>(gap)) != 0)
                    return -1;
                bool zeros = true;
                for (int64_t k = 0; k < gap; ++k) zeros = zeros && padding[k] == 0;
                // A record followed by other bytes may still be a signature
                // inside a comment: the search goes on past it, and the
                // file counts as damaged unless it finds the real one.
                if (!zeros) {
                    zip->lastError = "invalid END header (data between the archive and the "
                                     "certificate table)";
                    continue;
                }
            }

            zip->lastError = nullptr;
            memcpy(endbuf, window + i, kEndHeader);
            if (fileSeek(zip->fd, pos + kEndHeader, SEEK_SET) < 0) return -1;
            if (commentLen > 0) {
                char *comment = static_cast<char *>(malloc(static_cast<size_t>(commentLen) + 1));
                if (comment == nullptr) return -1;
                if (readFully(zip->fd, comment, commentLen) != 0) {
                    free(comment);
                    return -1;
                }
                comment[commentLen] = '\0';
                free(zip->archiveComment);
                zip->archiveComment = comment;
            }
            return pos;
        }
    }
    return zip->lastError != nullptr ? -1 : 0;
}

namespace {

// Where the central directory lies, as the end record gives it.
struct CentralLayout {
    int64_t cenPos;  // file position of the central directory
    int64_t cenLen;  // its length in bytes
    int64_t shift;   // what to add to every recorded offset
    int64_t count;   // entries it holds
};

// Reads exactly `length` bytes at file position `pos` into `buffer`.
bool ReadAt(ZipArchive *zip, int64_t pos, unsigned char *buffer, int32_t length)
{
    return pos >= 0 && fileSeek(zip->fd, pos, SEEK_SET) == pos &&
           readFully(zip->fd, buffer, length) == 0;
}

// The ZIP64 end record of the archive whose end record lies at `endPos`,
// when a locator in front of the end record says there is one. *record
// receives the record's 56 fixed bytes and *recordPos where it lies; false
// when the archive has none. lastError is set when the locator's record is
// missing.
bool FindZip64End(ZipArchive *zip, int64_t endPos, unsigned char *record, int64_t *recordPos)
{
    unsigned char locator[kZip64Locator];
    const int64_t locatorPos = endPos - kZip64Locator;
    if (locatorPos < 0 || !ReadAt(zip, locatorPos, locator, kZip64Locator) ||
        GetLe32(locator) != kZip64LocatorSig)
        return false;
    // Right in front of the locator (no extensible data), else where the
    // locator says, as long as it lies in front of the locator.
    const int64_t latest = locatorPos - kZip64EndHeader;
    const uint64_t recorded = GetLe64(locator + 8);
    const int64_t candidates[] = {
        latest, latest >= 0 && recorded <= static_cast<uint64_t>(latest)
                    ? static_cast<int64_t>(recorded) : -1};
    for (int64_t pos : candidates) {
        if (pos < 0 || !ReadAt(zip, pos, record, kZip64EndHeader) ||
            GetLe32(record) != kZip64EndSig)
            continue;
        // The record's size (behind its first 12 bytes) must reach the locator
        // when it lies right in front of it.
        if (pos == candidates[0] && GetLe64(record + 4) != kZip64EndHeader - 12) continue;
        *recordPos = pos;
        return true;
    }
    zip->lastError = "invalid zip64 END header (not found where its locator says)";
    return false;
}

// Reads the layout from the end record at `endPos` (and the ZIP64 end record
// where it has one); null, or the error.
const char *EndRecordError(ZipArchive *zip, const unsigned char *endbuf, int64_t endPos,
                           CentralLayout *layout)
{
    uint64_t cenLen = GetLe32(endbuf + 12);
    uint64_t cenOff = GetLe32(endbuf + 16);
    uint64_t count = GetLe16(endbuf + 10);
    int64_t directoryEnd = endPos;
    unsigned char record[kZip64EndHeader];
    int64_t recordPos = 0;
    if (FindZip64End(zip, endPos, record, &recordPos)) {
        count = GetLe64(record + 32);
        cenLen = GetLe64(record + 40);
        cenOff = GetLe64(record + 48);
        directoryEnd = recordPos;
        if (GetLe64(record + 24) != count)
            return "invalid zip64 END header (entry counts disagree)";
    } else if (zip->lastError != nullptr) {
        return zip->lastError;
    }
    if (cenLen > static_cast<uint64_t>(directoryEnd))
        return "invalid END header (bad central directory size)";
    layout->cenLen = static_cast<int64_t>(cenLen);
    layout->cenPos = directoryEnd - layout->cenLen;
    if (cenOff > static_cast<uint64_t>(layout->cenPos))
        return "invalid END header (bad central directory offset)";
    layout->shift = layout->cenPos - static_cast<int64_t>(cenOff);
    if (count > static_cast<uint64_t>(layout->cenLen) / kCenHeader)
        return "invalid END header (bad entry count)";
    if (count > static_cast<uint64_t>(kZipMaxEntries)) return "too many entries in ZIP file";
    layout->count = static_cast<int64_t>(count);
    return nullptr;
}

// An entry's sizes and local header offset, with the ZIP64 extra field's
// values where the central header's fields are saturated.
struct EntryNumbers {
    uint64_t compressed;
    uint64_t uncompressed;
    uint64_t localOffset;
};

// Reads the numbers of the central header `h`; null, or the error.
const char *ReadEntryNumbers(const unsigned char *h, EntryNumbers *numbers)
{
    numbers->compressed = GetLe32(h + 20);
    numbers->uncompressed = GetLe32(h + 24);
    numbers->localOffset = GetLe32(h + 42);
    if (numbers->compressed != kSaturated32 && numbers->uncompressed != kSaturated32 &&
        numbers->localOffset != kSaturated32)
        return nullptr;
    const unsigned char *extra = h + kCenHeader + GetLe16(h + 28);
    const unsigned char *end = extra + GetLe16(h + 30);
    while (extra != end) {
        if (end - extra < 4) return "invalid CEN header (bad extra field)";
        const uint16_t tag = GetLe16(extra);
        const uint16_t size = GetLe16(extra + 2);
        const unsigned char *data = extra + 4;
        if (size > end - data) return "invalid CEN header (bad extra field)";
        extra = data + size;
        if (tag != kZip64ExtraTag) continue;
        // Only the saturated fields are there, in this order.
        uint64_t *fields[] = {&numbers->uncompressed, &numbers->compressed,
                              &numbers->localOffset};
        const unsigned char *at = data;
        for (uint64_t *field : fields) {
            if (*field != kSaturated32) continue;
            if (data + size - at < 8) return "invalid CEN header (bad zip64 extra field)";
            *field = GetLe64(at);
            at += 8;
        }
        return nullptr;
    }
    return "invalid CEN header (zip64 extra field missing)";
}
// The central header at offset `q` of the directory `cen`; null when its
// fixed part, signature, flags, method and lengths are acceptable, else the
// error.
const char *CentralHeaderError(const std::vector<unsigned char> &cen, int64_t q)
{
    const int64_t cenLen = static_cast<int64_t>(cen.size());
    if (q + kCenHeader > cenLen) return "invalid CEN header (bad header size)";
    const unsigned char *h = cen.data() + q;
    if (GetLe32(h) != kCenSig) return "invalid CEN header (bad signature)";
    if (GetLe16(h + 8) & 1) return "invalid CEN header (encrypted entry)";
    const uint16_t method = GetLe16(h + 10);
    if (method != kZipStored && method != kZipDeflated && method != kZipZstd)
        return "invalid CEN header (bad compression method)";
    if (q + kCenHeader + GetLe16(h + 28) + GetLe16(h + 30) + GetLe16(h + 32) > cenLen)
        return "invalid CEN header (bad header size)";
    EntryNumbers numbers;
    if (const char *error = ReadEntryNumbers(h, &numbers)) return error;
    // Sizes are summed (the free-space check) and offsets shifted in signed
    // 64 bits: bounded so, no sum of them can overflow.
    if (numbers.compressed > kZipMaxEntrySize || numbers.uncompressed > kZipMaxEntrySize)
        return "invalid CEN header (bad entry size)";
    if (numbers.localOffset > kMaxOffset) return "invalid CEN header (bad local header offset)";
    return nullptr;
}

// Reads the whole central directory into `cen`. False on an I/O or
// allocation failure.
bool ReadCentralDirectory(ZipArchive *zip, const CentralLayout &layout,
                          std::vector<unsigned char> *cen)
{
    // Read in one piece: a directory beyond 2 GiB is not read at all.
    if (layout.cenLen > INT32_MAX || fileSeek(zip->fd, layout.cenPos, SEEK_SET) < 0) return false;
    try {
        cen->resize(static_cast<size_t>(layout.cenLen));
    } catch (...) {
        return false;
    }
    return readFully(zip->fd, cen->data(), static_cast<int32_t>(layout.cenLen)) == 0;
}

// Fills index record `i` from the (checked) central header `h` at offset `q`
// and links it into its hash chain; keeps its "META-INF/" name and its
// comment. `scratch` holds the NUL-terminated name. False when memory runs
// out.
bool IndexEntry(ZipArchive *zip, int32_t i, const unsigned char *h, int64_t q,
                const CentralLayout &layout, std::vector<char> *scratch)
{
    const uint16_t method = GetLe16(h + 10);
    const int32_t nlen = GetLe16(h + 28);
    const int32_t elen = GetLe16(h + 30);
    const int32_t clen = GetLe16(h + 32);

    // Names are hashed NUL-terminated; the scratch buffer grows by doubling.
    const size_t need = static_cast<size_t>(nlen) + 1;
    if (need > scratch->size()) {
        size_t size = scratch->size();
        while (size < need) size *= 2;
        scratch->resize(size);
    }
    memcpy(scratch->data(), h + kCenHeader, static_cast<size_t>(nlen));
    (*scratch)[static_cast<size_t>(nlen)] = '\0';
    const char *name = scratch->data();

    EntryNumbers numbers;
    ReadEntryNumbers(h, &numbers);  // checked by CentralHeaderError
    ZipIndexEntry &ze = zip->entryIndex[i];
    ze.uncompressedSize = static_cast<int64_t>(numbers.uncompressed);
    ze.compressedSize = method == 0 ? 0 : static_cast<int64_t>(numbers.compressed);
    ze.crc = GetLe32(h + 16);
    // At most kZipMaxEntrySize each (CentralHeaderError): no sum overflows.
    ze.locPos = static_cast<int64_t>(numbers.localOffset) + layout.shift;
    ze.nameExtraLen = static_cast<uint16_t>(nlen + elen);
    ze.flags = GetLe16(h + 8);
    ze.method = method;
    ze.nameHash = hash(name);
    ze.cenPos = layout.cenPos + q;
    ze.extraLen = static_cast<uint16_t>(elen);

    if (isMetaName(name) && !addMetaName(zip, name)) return false;
    if (clen > 0) {
        char *comment = copyText(reinterpret_cast<const char *>(h) + kCenHeader + nlen + elen,
                                 static_cast<size_t>(clen));
        if (comment == nullptr || !addEntryComment(zip, i, comment)) return false;
    }

    const uint32_t bucket = ze.nameHash % static_cast<uint32_t>(zip->hashSize);
    ze.nextInChain = zip->hashHeads[bucket];
    zip->hashHeads[bucket] = static_cast<uint32_t>(i);
    return true;
}

// Builds the index and the hash chains from the central directory `cen`.
// On failure (lastError set for a bad header) no index is left behind.
bool BuildIndex(ZipArchive *zip, const CentralLayout &layout,
                const std::vector<unsigned char> &cen)
{
    const int32_t count = static_cast<int32_t>(layout.count);
    const int32_t hashSize = count / 2 > 0 ? count / 2 : 1;
    ZipIndexEntry *index = static_cast<ZipIndexEntry *>(
        calloc(count > 0 ? static_cast<size_t>(count) : 1, sizeof(ZipIndexEntry)));
    uint32_t *heads = static_cast<uint32_t *>(malloc(static_cast<size_t>(hashSize) * sizeof(uint32_t)));
    if (index == nullptr || heads == nullptr) {
        free(index);
        free(heads);
        return false;
    }
    for (int32_t i = 0; i < hashSize; ++i) heads[i] = kZipChainEnd;
    zip->entryIndex = index;
    zip->entryCount = count;
    zip->hashHeads = heads;
    zip->hashSize = hashSize;

    std::vector<char> scratch(513);
    bool ok = true;
    int64_t q = 0;
    for (int32_t i = 0; ok && i < count; ++i) {
        zip->lastError = CentralHeaderError(cen, q);
        const unsigned char *h = cen.data() + q;
        ok = zip->lastError == nullptr && IndexEntry(zip, i, h, q, layout, &scratch);
        if (ok) q += kCenHeader + GetLe16(h + 28) + GetLe16(h + 30) + GetLe16(h + 32);
    }
    if (!ok) {
        free(zip->entryIndex);
        free(zip->hashHeads);
        zip->entryIndex = nullptr;
        zip->hashHeads = nullptr;
    }
    return ok;
}

} // namespace

int64_t readCEN(ZipArchive *zip)
{
    zip->lastError = nullptr;
    unsigned char endbuf[kEndHeader];
    const int64_t endPos = findEND(zip, endbuf);
    if (endPos == 0) return 0;

    CentralLayout layout = {};
    std::vector<unsigned char> cen;
    if (endPos < 0) return -1;
    if ((zip->lastError = EndRecordError(zip, endbuf, endPos, &layout)) == nullptr &&
        ReadCentralDirectory(zip, layout, &cen) && BuildIndex(zip, layout, cen))
        return layout.cenPos;
    // An end record was found: the file carries an archive, and a damaged one.
    if (zip->lastError == nullptr) zip->lastError = "couldn't read central directory";
    return -1;
}

