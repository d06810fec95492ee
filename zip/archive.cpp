// Implementation notes.
//
// The index keeps one fixed-size record per entry and a table of 16-bit chain
// heads, so a payload of tens of thousands of files costs little memory; the
// names themselves are re-read from the local headers on every request. The
// central directory is read, and the index built, by
// zip/central_directory.cpp.
//
// Local headers may carry longer extra fields than their central headers
// (common archivers record extra time stamps only locally). The local header
// is first read with the central lengths; whatever of the local name and
// extra field lies beyond that is read in a second step, so no byte is ever
// taken from beyond what was read.
//
// A walk through the entries reads every local header, and the central
// extra field of most entries, and both lie a few hundred bytes apart where
// the files are small. Each read is a call to the system (under Wine a
// costly one), so the headers are read through two windows, one moving
// through the local headers and one through the central directory: a block
// read once serves the headers of dozens of entries, and the 3,000 entries
// of a payload take about a hundred reads instead of 6,000. A window holds
// only what was read (short at the file's end), and a failed read leaves it
// empty.
#include "zip/archive.h"

#include "base/little_endian.h"
#include "zip/archive_internal.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "zip/fileio.h"
#include "zip/signed_image.h"

ZipArchive *zfiles = nullptr;

namespace {

const uint32_t kLocSig = 0x04034B50;
const int kLocHeader = 30;
const int kReadOnlyBinary = FILEIO_RDONLY | FILEIO_BINARY;
// The bytes a header window reads at once.
const int32_t kReadWindowBytes = 64 * 1024;

} // namespace

struct ZipReadWindows {
    struct Window {
        int64_t start = 0;
        int32_t length = 0;  // what the last read gave, 0 when it failed
        unsigned char bytes[kReadWindowBytes];
    };
    Window local, central;
};

char *copyText(const char *text, size_t length)
{
    char *copy = static_cast<char *>(malloc(length + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

ZipArchive *allocZip(const char *path)
{
    ZipArchive *zip = static_cast<ZipArchive *>(calloc(1, sizeof(ZipArchive)));
    if (zip == nullptr) return nullptr;
    zip->archivePath = copyText(path, strlen(path));
    if (zip->archivePath == nullptr) {
        free(zip);
        return nullptr;
    }
    zip->fd = -1;
    return zip;
}

namespace {

void destroyEntry(ZipEntry *entry)
{
    if (entry == nullptr) return;
    free(entry->extraField);
    free(entry->entryName);
    free(entry);
}

} // namespace

void freeZip(ZipArchive *zip)
{
    destroyEntry(zip->cachedEntry);
    free(zip->archivePath);
    free(zip->archiveComment);
    free(zip->entryIndex);
    free(zip->hashHeads);
    if (zip->metaNames != nullptr) {
        for (int32_t i = 0; i < zip->metaSlots; ++i) free(zip->metaNames[i]);
        free(zip->metaNames);
    }
    if (zip->entryComments != nullptr) {
        for (int32_t i = 0; i < zip->entryCount; ++i) free(zip->entryComments[i]);
        free(zip->entryComments);
    }
    delete zip->readWindows;
    free(zip);
}

uint32_t hash(const char *name)
{
    uint32_t h = 0;
    for (const char *p = name; *p != '\0'; ++p)
        h = 31 * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return h;
}

bool isMetaName(const char *name)
{
    static const char kMeta[] = "META-INF/";
    for (size_t i = 0; i + 1 < sizeof kMeta; ++i) {
        if (name[i] == '\0') return false;
        if (toupper(static_cast<unsigned char>(name[i])) != kMeta[i]) return false;
    }
    return true;
}

int readFully(int fd, void *buffer, int32_t len)
{
    char *p = static_cast<char *>(buffer);
    while (len > 0) {
        int n = fileRead(fd, p, static_cast<unsigned>(len));
        if (n <= 0) return -1;
        p += n;
        len -= n;
    }
    return 0;
}

// readFully at `position`. Reads of an open archive name their position: an
// extraction's workers read entry data through the same descriptor.
int readFullyAt(int fd, void *buffer, int32_t len, int64_t position)
{
    char *p = static_cast<char *>(buffer);
    while (len > 0) {
        int n = fileReadAt(fd, p, static_cast<unsigned>(len), position);
        if (n <= 0) return -1;
        p += n;
        len -= n;
        position += n;
    }
    return 0;
}

namespace {

// readFullyAt through `window` of the archive's header windows: served from
// the window's last block when that holds the bytes, else from a block read
// anew at `position`. Without memory for the windows it reads directly.
int readHeaderAt(ZipArchive *zip, ZipReadWindows::Window ZipReadWindows::*window, void *buffer,
                 int32_t len, int64_t position)
{
    if (zip->readWindows == nullptr) zip->readWindows = new (std::nothrow) ZipReadWindows;
    if (zip->readWindows == nullptr || len > kReadWindowBytes)
        return readFullyAt(zip->fd, buffer, len, position);
    ZipReadWindows::Window &w = zip->readWindows->*window;
    if (position < w.start || position - w.start > w.length - len) {
        // One read: a file gives less only at its end, where the bytes asked
        // for are read by themselves again (and found missing).
        const int n = fileReadAt(zip->fd, w.bytes, static_cast<unsigned>(kReadWindowBytes), position);
        w.start = position;
        w.length = n > 0 ? n : 0;
        if (n < 0) return -1;
        if (w.length < len) {
            w.length = 0;
            return readFullyAt(zip->fd, buffer, len, position);
        }
    }
    memcpy(buffer, w.bytes + (position - w.start), static_cast<size_t>(len));
    return 0;
}

// The archive on the open descriptor `fd` (taken, closed on failure),
// listed under `path` (the seam's form).
ZipArchive *AdoptDescriptor(int fd, const char *path, int64_t lastModified, int *error)
{
    ZipArchive *zip = fd >= 0 ? allocZip(path) : nullptr;
    if (zip == nullptr) {
        if (fd >= 0) fileClose(fd);
        if (error != nullptr) *error = kZipNotOpened;
        return nullptr;
    }
    zip->refCount = 1;
    zip->lastModified = lastModified;
    zip->fd = fd;
    if (fileSeek(zip->fd, 0, SEEK_END) < 0 || readCEN(zip) <= 0) {
        if (error != nullptr) *error = zip->lastError != nullptr ? kZipDamaged : kZipNotOpened;
        fileClose(zip->fd);
        freeZip(zip);
        return nullptr;
    }
    zip->nextOpen = zfiles;
    zfiles = zip;
    return zip;
}

} // namespace

ZipArchive *zipOpenGeneric(const char *ansiPath, int *error, int mode, int64_t lastModified)
{
    if (error != nullptr) *error = 0;
    const std::string seamPath = fileSeamPath(ansiPath);
    const char *path = seamPath.c_str();
    for (ZipArchive *zip = zfiles; zip != nullptr; zip = zip->nextOpen) {
        if (strcmp(zip->archivePath, path) == 0 &&
            (zip->lastModified == lastModified || zip->lastModified == 0) &&
            zip->refCount < 65535) {
            zip->refCount++;
            return zip;
        }
    }

    return AdoptDescriptor(fileOpen(path, mode, 0), path, lastModified, error);
}

ZipArchive *zipOpenDescriptor(int fd, const char *ansiPath, int *error)
{
    if (error != nullptr) *error = 0;
    return AdoptDescriptor(fd, fileSeamPath(ansiPath).c_str(), 0, error);
}

ZipArchive *zipOpen(const char *path, int *error)
{
    return zipOpenGeneric(path, error, kReadOnlyBinary, 0);
}

void zipClose(ZipArchive *zip)
{
    if (--zip->refCount > 0) return;
    for (ZipArchive **link = &zfiles; *link != nullptr; link = &(*link)->nextOpen) {
        if (*link == zip) {
            *link = zip->nextOpen;
            break;
        }
    }
    fileClose(zip->fd);
    freeZip(zip);
}

namespace {

// What the local header of an entry holds.
struct LocalHeader {
    std::vector<unsigned char> bytes;  // fixed part, name, local extra field when taken
    int32_t nlen = 0;
    int32_t elen = 0;
    int64_t dataPos = 0;
};

// Reads the local header of `ze`. The local extra field is taken only when
// the central header has none; otherwise only its length matters. Null, or
// the error.
const char *ReadLocalHeader(ZipArchive *zip, const ZipIndexEntry *ze, LocalHeader *local)
{
    const int32_t got = kLocHeader + ze->nameExtraLen;
    std::vector<unsigned char> &loc = local->bytes;
    loc.resize(static_cast<size_t>(got));
    if (readHeaderAt(zip, &ZipReadWindows::local, loc.data(), got, ze->locPos) != 0)
        return "couldn't read LOC header";
    if (GetLe32(loc.data()) != kLocSig) return "invalid LOC header (bad signature)";
    local->nlen = GetLe16(loc.data() + 26);
    local->elen = GetLe16(loc.data() + 28);
    const int32_t needed = kLocHeader + local->nlen + (ze->extraLen == 0 ? local->elen : 0);
    if (needed > got) {
        loc.resize(static_cast<size_t>(needed));
        if (readHeaderAt(zip, &ZipReadWindows::local, loc.data() + got, needed - got,
                         ze->locPos + got) != 0)
            return "couldn't read LOC header";
    }
    local->dataPos = ze->locPos + kLocHeader + local->nlen + local->elen;
    return nullptr;
}

// A fresh extra field of `length` bytes behind its 2-byte little-endian
// length, or null when memory runs out.
unsigned char *NewExtraField(int32_t length)
{
    unsigned char *field = static_cast<unsigned char *>(malloc(2 + static_cast<size_t>(length)));
    if (field == nullptr) return nullptr;
    field[0] = static_cast<unsigned char>(length & 0xFF);
    field[1] = static_cast<unsigned char>(length >> 8);
    return field;
}

// The length of the entry's name in its central header: nameExtraLen holds
// 16 bits only, but the difference is the name's length exactly in 16-bit
// arithmetic.
uint16_t CentralNameLength(const ZipIndexEntry &ze)
{
    return static_cast<uint16_t>(ze.nameExtraLen - ze.extraLen);
}

// Gives `entry` its extra field: the central header's when it has one (read
// from the central directory), else the local one. False when memory runs
// out or the central one cannot be read (then with lastError set).
bool AttachExtraField(ZipArchive *zip, const ZipIndexEntry *ze, const LocalHeader &local,
                      ZipEntry *entry)
{
    if (ze->extraLen > 0) {
        entry->extraField = NewExtraField(ze->extraLen);
        if (entry->extraField == nullptr) return false;
        if (readHeaderAt(zip, &ZipReadWindows::central, entry->extraField + 2, ze->extraLen,
                         ze->cenPos + kCenHeader + CentralNameLength(*ze)) != 0) {
            zip->lastError = "couldn't read CEN extra";
            return false;
        }
    } else if (local.elen > 0) {
        entry->extraField = NewExtraField(local.elen);
        if (entry->extraField == nullptr) return false;
        memcpy(entry->extraField + 2, local.bytes.data() + kLocHeader + local.nlen,
               static_cast<size_t>(local.elen));
    }
    return true;
}

} // namespace

ZipEntry *readLOC(ZipArchive *zip, ZipIndexEntry *ze)
{
    LocalHeader local;
    const char *error = ReadLocalHeader(zip, ze, &local);
    ZipEntry *entry =
        error == nullptr ? static_cast<ZipEntry *>(calloc(1, sizeof(ZipEntry))) : nullptr;
    if (entry != nullptr) {
        entry->entryName = copyText(reinterpret_cast<const char *>(local.bytes.data()) + kLocHeader,
                                    static_cast<size_t>(local.nlen));
    }
    if (entry == nullptr || entry->entryName == nullptr || !AttachExtraField(zip, ze, local, entry)) {
        if (error != nullptr) zip->lastError = error;
        destroyEntry(entry);
        return nullptr;
    }

    if (zip->entryComments != nullptr) entry->entryComment = zip->entryComments[ze - zip->entryIndex];
    entry->uncompressedSize = ze->uncompressedSize;
    entry->compressedSize = ze->compressedSize;
    entry->crc = ze->crc;
    entry->dosTime = GetLe32(local.bytes.data() + 10);
    entry->flags = ze->flags;
    entry->method = ze->method;
    entry->dataPos = local.dataPos;
    return entry;
}

ZipEntry *zipGetNextEntry(ZipArchive *zip, int n)
{
    if (n < 0 || n >= zip->entryCount) return nullptr;
    return readLOC(zip, &zip->entryIndex[n]);
}

bool zipCentralName(ZipArchive *zip, int n, std::string *name)
{
    if (n < 0 || n >= zip->entryCount) return false;
    const ZipIndexEntry &ze = zip->entryIndex[n];
    const uint16_t length = CentralNameLength(ze);
    name->resize(length);
    return length == 0 ||
           readHeaderAt(zip, &ZipReadWindows::central, &(*name)[0], length, ze.cenPos + kCenHeader) == 0;
}

ZipEntry *zipGetEntry(ZipArchive *zip, const char *name)
{
    uint32_t h = hash(name);
    uint32_t i = zip->hashHeads[h % static_cast<uint32_t>(zip->hashSize)];

    if (zip->cachedEntry != nullptr && strcmp(zip->cachedEntry->entryName, name) == 0) {
        ZipEntry *entry = zip->cachedEntry;
        zip->cachedEntry = nullptr;
        return entry;
    }
    while (i != kZipChainEnd) {
        ZipIndexEntry *ze = &zip->entryIndex[i];
        if (ze->nameHash == h) {
            ZipEntry *entry = readLOC(zip, ze);
            if (entry != nullptr) {
                if (strcmp(entry->entryName, name) == 0) return entry;
                zipFreeEntry(zip, entry);
            }
        }
        i = ze->nextInChain;
    }
    return nullptr;
}

ZipEntry *zipFindEntry(ZipArchive *zip, const char *name, int *size, int *nameLength)
{
    ZipEntry *entry = zipGetEntry(zip, name);
    if (entry != nullptr) {
        *size = entry->uncompressedSize > INT_MAX ? INT_MAX
                                                  : static_cast<int>(entry->uncompressedSize);
        *nameLength = static_cast<int>(strlen(entry->entryName));
    }
    return entry;
}

void zipFreeEntry(ZipArchive *zip, ZipEntry *entry)
{
    // Releasing the cached entry again must not destroy it under the cache.
    if (entry != nullptr && entry == zip->cachedEntry) return;
    destroyEntry(zip->cachedEntry);
    zip->cachedEntry = entry;
}
