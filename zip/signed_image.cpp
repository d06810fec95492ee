// Implementation notes.
//
// The PE header is found through e_lfanew at 0x3C; the "MZ" in bytes 0 and 1
// is deliberately not checked, because byte 0 of the running launcher is
// locked against reading (see zipSignedImageEnd). The "PE\0\0" signature and
// the optional header's magic are enough to know the layout: PE32 and PE32+
// differ only in where the data directories start. The security directory's
// first field is a file position, not a virtual address.
#include "zip/signed_image.h"

#include "base/little_endian.h"

#include <cstdio>

#include "zip/fileio.h"

namespace {

const int32_t kNewHeaderPointer = 0x3C;
const int kCoffHeader = 24;          // "PE\0\0" and the file header
const uint16_t kPe32Magic = 0x10B;
const uint16_t kPe32PlusMagic = 0x20B;
const uint32_t kSecurityDirectory = 4;
const int kDirectoryEntry = 8;

// Reads exactly `count` bytes at `pos`, all of them inside the first
// `length` bytes of the file.
bool ReadAt(int fd, int64_t pos, int64_t length, unsigned char *buffer, unsigned count)
{
    if (pos < 0 || pos + count > length) return false;
    if (fileSeek(fd, pos, SEEK_SET) != pos) return false;
    unsigned got = 0;
    while (got < count) {
        int n = fileRead(fd, buffer + got, count - got);
        if (n <= 0) return false;
        got += static_cast<unsigned>(n);
    }
    return true;
}

} // namespace

int64_t zipSignedImageEnd(int fd, int64_t length, int32_t *directoryAt)
{
    if (directoryAt != nullptr) *directoryAt = -1;
    unsigned char word[4];
    if (!ReadAt(fd, kNewHeaderPointer, length, word, sizeof word)) return -1;
    int64_t pe = GetLe32(word);

    unsigned char header[kCoffHeader + 2];
    if (!ReadAt(fd, pe, length, header, sizeof header)) return -1;
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return -1;
    uint16_t optionalSize = GetLe16(header + 20);
    uint16_t magic = GetLe16(header + kCoffHeader);
    int countAt;
    if (magic == kPe32Magic) {
        countAt = 92;
    } else if (magic == kPe32PlusMagic) {
        countAt = 108;
    } else {
        return -1;
    }
    int entryAt = countAt + 4 + static_cast<int>(kSecurityDirectory) * kDirectoryEntry;
    if (entryAt + kDirectoryEntry > optionalSize) return -1;

    int64_t optional = pe + kCoffHeader;
    if (!ReadAt(fd, optional + countAt, length, word, sizeof word)) return -1;
    if (GetLe32(word) <= kSecurityDirectory) return -1;

    unsigned char entry[kDirectoryEntry];
    if (!ReadAt(fd, optional + entryAt, length, entry, sizeof entry)) return -1;
    int64_t tableAt = GetLe32(entry);
    int64_t tableSize = GetLe32(entry + 4);
    if (tableAt < optional + optionalSize || tableSize <= 0 || tableAt + tableSize != length)
        return -1;
    if (directoryAt != nullptr) *directoryAt = static_cast<int32_t>(optional + entryAt);
    return tableAt;
}
