// The payload archive reader: opens a ZIP archive (possibly appended to an
// executable), indexes its central directory in a compact table, and hands out
// entry records by number or by name. Entry records are built from the local
// header on every request; names are not kept in memory between requests.
//
// Offsets and sizes are 64-bit. Where an archive's 32-bit fields cannot hold
// them (4 GiB and more, 65,535 entries and more) the ZIP64 records give
// them: the ZIP64 end record that a locator in front of the end record
// points to, and the ZIP64 extra field (tag 0x0001) of a central header.
#ifndef ZIP_ARCHIVE_H
#define ZIP_ARCHIVE_H

#include <cstdint>
#include <string>

// One entry of the in-memory index, in central-directory order.
struct ZipIndexEntry {
    int64_t locPos;            // file position of the local header (shift applied)
    int64_t uncompressedSize;
    int64_t compressedSize;    // 0 means stored
    int64_t cenPos;            // file position of the central header
    uint32_t nameHash;         // hash() of the central header's name
    uint32_t nextInChain;      // next entry of the hash chain, kZipChainEnd at the end
    uint32_t crc;              // CRC-32 from the central header
    uint16_t nameExtraLen;     // central name length + extra length (16 bits)
    uint16_t extraLen;         // central extra field length
    uint16_t flags;            // general purpose flags of the central header
    uint16_t method;           // compression method of the central header
};

// The compression methods an entry may have: stored, deflated (zlib's raw
// deflate), and Zstandard (one frame or several, no dictionary), as the ZIP
// format's note numbers them. Any other refuses the directory as damaged.
const uint16_t kZipStored = 0;
const uint16_t kZipDeflated = 8;
const uint16_t kZipZstd = 93;

// General purpose flag bit 11: the entry's name (and comment) is UTF-8.
const uint16_t kZipUtf8Flag = 0x0800;

// The end of a hash chain.
const uint32_t kZipChainEnd = 0xFFFFFFFF;

// The most entries an archive may have: its index costs memory per entry.
const int32_t kZipMaxEntries = 4 * 1024 * 1024;

// The largest entry size an archive may record (1 TiB): all of them added up
// stay far inside 64 bits.
const uint64_t kZipMaxEntrySize = uint64_t(1) << 40;

// An entry handed to callers; release with zipFreeEntry.
struct ZipEntry {
    char *entryName;           // owned, from the local header
    uint32_t dosTime;          // MS-DOS time (low half) and date (high half)
    uint16_t flags;            // general purpose flags (central header)
    uint16_t method;           // kZipStored, kZipDeflated or kZipZstd (central header)
    int64_t uncompressedSize;
    int64_t compressedSize;    // 0 means stored
    uint32_t crc;
    char *entryComment;        // borrowed from the archive, null when none
    unsigned char *extraField; // owned: 2-byte little-endian length, then bytes; or null
    int64_t dataPos;           // file position of the entry's data
};

// One open archive, shared by path and reference-counted.
struct ZipArchive {
    char *archivePath;         // in the file seam's form (fileSeamPath)
    int32_t refCount;
    int fd;
    char *archiveComment;      // null when the archive has no comment
    const char *lastError;     // static text of the last format error, or null
    ZipIndexEntry *entryIndex;
    int32_t entryCount;
    uint32_t *hashHeads;       // first entry of each chain, kZipChainEnd when empty
    int32_t hashSize;
    ZipArchive *nextOpen;
    ZipEntry *cachedEntry;     // the entry released last, kept for zipGetEntry
    char **metaNames;          // names under "META-INF/" (any case)
    int32_t metaSlots;
    char **entryComments;      // entryCount slots, or null when no entry has one
    int64_t lastModified;
    // The last blocks read around the headers, or null. Like cachedEntry,
    // they are why one archive's entries are asked for by one thread at a
    // time (an extraction's workers read entry data, never headers).
    struct ZipReadWindows *readWindows;
};

// Head of the process-wide list of open archives, newest first.
extern ZipArchive *zfiles;

// What zipOpen's `error` receives when it returns null.
enum : int {
    kZipNotOpened = -2,  // the file cannot be opened, or carries no archive
    kZipDamaged = -3,    // it carries an archive (its end record was found)
                         // whose central directory fails the checks
};

// Opens the archive at `path` (in the ANSI code page) read-only, or shares it when it is open
// already. `error` may be null; it receives 0, or kZipNotOpened or
// kZipDamaged. More than kZipMaxEntries entries, an entry of more than
// 1 TiB, a local header offset of 2^62 or more, and a ZIP64 record or field that is missing where the 32-bit
// fields say it is needed, or shorter than it must be, make the directory
// damaged. Returns the archive or null.
// Each successful call needs its own zipClose.
ZipArchive *zipOpen(const char *path, int *error);

// zipOpen on a descriptor the caller opened (`fd`, read-only binary; the
// archive takes it and closes it, also when it fails), listed as open at
// `path` (ANSI) from then on. A caller that must read the very file it
// examined before (the launcher its own program file) opens it so.
ZipArchive *zipOpenDescriptor(int fd, const char *path, int *error);

// zipOpen with the C runtime open flags `mode` (0x8000 = read-only binary)
// and a modification stamp: an open archive is shared when its path matches
// byte for byte, its stamp equals `lastModified` or is 0, and it has fewer
// than 65535 references.
ZipArchive *zipOpenGeneric(const char *path, int *error, int mode, int64_t lastModified);

// Drops one reference to `zip` (not null); the last one closes the file and
// frees the archive and every entry it still owns.
void zipClose(ZipArchive *zip);

// Entry number `n` (from 0) in central-directory order, or null when n is out
// of range or the entry's local header cannot be read (lastError says why).
ZipEntry *zipGetNextEntry(ZipArchive *zip, int n);

// The name of entry number `n` as its central header gives it, read from
// the central directory (in blocks, like the headers of a walk) without its
// local header: a walk that takes only some of the entries by name judges
// the rest by it. False when n is out of range or the name cannot be read.
// The entry zipGetNextEntry hands out carries the local header's name, which
// an archive may give otherwise; a caller that took an entry by this name
// judges that one again.
bool zipCentralName(ZipArchive *zip, int n, std::string *name);

// The entry named exactly `name` (case-sensitive; the later of duplicates),
// or null.
ZipEntry *zipGetEntry(ZipArchive *zip, const char *name);

// zipGetEntry; on success stores the entry's uncompressed size in `*size`
// (INT_MAX for 2 GiB and more) and the length of its name in `*nameLength`
// (both untouched otherwise).
ZipEntry *zipFindEntry(ZipArchive *zip, const char *name, int *size, int *nameLength);

// Releases `entry` (may be null). The archive keeps the last released entry
// for reuse by zipGetEntry; a released entry must not be used again.
void zipFreeEntry(ZipArchive *zip, ZipEntry *entry);

#endif
