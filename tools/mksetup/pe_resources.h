// The resources of a prebuilt launcher program, read and written by the
// packer itself on any host: no resource compiler, linker or Wine.
#ifndef MKSETUP_PE_RESOURCES_H
#define MKSETUP_PE_RESOURCES_H

#include <cstdint>
#include <string>
#include <vector>

// One level of a resource's identity: a number, or a name (UTF-16).
struct ResourceId {
    bool named = false;
    uint16_t number = 0;
    std::u16string name;

    static ResourceId Number(uint16_t number);
    bool operator==(const ResourceId &other) const;
};

// Well-known resource types.
constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceRawData = 10;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;
constexpr uint16_t kResourceManifest = 24;

// The most resources a program may carry: a directory that claims more is
// taken for damaged (or made to have the packer copy its data without end).
constexpr size_t kMostResources = 65536;

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::string data;
};

// The resources of the PE image `image` (a whole program file), in the
// order of its resource directory. An image without resources gives none.
// False with *error when the file is not a PE image or its resource
// directory is damaged.
bool ReadResources(const std::string &image, std::vector<Resource> *resources,
                   std::string *error);

// The first resource of `type` and `name` (any language, when `name` is
// null: the first of the type); null when there is none.
const Resource *FindResource(const std::vector<Resource> &resources, uint16_t type,
                             const ResourceId *name = nullptr);

// `image` with its resource section holding exactly `resources`. The new
// section takes the old one's place; the sections behind it (relocations
// and debugging information, nothing that code refers to) move along, and
// the headers say so: sizes, data directories, the symbol table's place.
// The checksum is left to SetImageChecksum, as it covers the whole file.
// False with *error when the image has no resource section or one that is
// followed by a section that cannot move.
bool WriteResources(const std::string &image, const std::vector<Resource> &resources,
                    std::string *out, std::string *error);

// Where the checksum field of the PE image `image` lies; -1 when it is not
// one.
int64_t ChecksumFieldOffset(const std::string &image);

// The PE checksum of a file whose bytes `read` hands out in order (sum of
// 16-bit words with the carries folded back, the checksum field counted as
// zero, plus the file's length). `read(buffer, size)` returns the number of
// bytes it put there, 0 at the end.
template <typename Read>
uint32_t ImageChecksum(Read read, int64_t checksumAt)
{
    uint64_t sum = 0;
    int64_t position = 0;
    char buffer[1 << 16];
    bool odd = false;
    unsigned char low = 0;
    for (;;) {
        const size_t got = read(buffer, sizeof buffer);
        if (got == 0) break;
        for (size_t i = 0; i < got; ++i, ++position) {
            unsigned char byte = static_cast<unsigned char>(buffer[i]);
            if (position >= checksumAt && position < checksumAt + 4) byte = 0;
            if (!odd) {
                low = byte;
            } else {
                sum += static_cast<uint32_t>(low) | (static_cast<uint32_t>(byte) << 8);
                sum = (sum & 0xFFFF) + (sum >> 16);
            }
            odd = !odd;
        }
    }
    if (odd) {
        sum += low;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + static_cast<uint64_t>(position));
}

#endif
