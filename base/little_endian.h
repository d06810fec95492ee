// Little-endian fields of the file formats the launcher and the packer read
// and write (ZIP records, PE headers and resources): from raw bytes, and
// into and out of byte strings.
#ifndef BASE_LITTLE_ENDIAN_H
#define BASE_LITTLE_ENDIAN_H

#include <cstddef>
#include <cstdint>
#include <string>

inline uint16_t GetLe16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetLe32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The field at `at` of `bytes`, which must hold it.
inline uint16_t GetLe16(const std::string &bytes, size_t at)
{
    return GetLe16(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
}

inline uint32_t GetLe32(const std::string &bytes, size_t at)
{
    return GetLe32(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
}

// Overwrites the field at `at` of `bytes`, which must hold it.
inline void SetLe16(std::string &bytes, size_t at, uint32_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

inline void SetLe32(std::string &bytes, size_t at, uint32_t value)
{
    SetLe16(bytes, at, value & 0xFFFF);
    SetLe16(bytes, at + 2, value >> 16);
}

// Appends the field to `bytes`.
inline void PutLe16(std::string &bytes, uint32_t value)
{
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
}

inline void PutLe32(std::string &bytes, uint32_t value)
{
    PutLe16(bytes, value & 0xFFFF);
    PutLe16(bytes, value >> 16);
}

#endif
