// LittleEndian: the byte order of every number in an Access file and in a
// Windows shortcut, read from and written to bytes. One reader for every room
// of platform that reads such files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvex {

// The size-byte little-endian number at p (size at most 8).
inline std::uint64_t readLittleEndian(const unsigned char* p, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | p[i];
    return value;
}

inline unsigned get16(const unsigned char* p)
{
    return static_cast<unsigned>(readLittleEndian(p, 2));
}

inline std::uint32_t get32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(readLittleEndian(p, 4));
}

// value as size little-endian bytes (size at most 8).
inline std::string littleEndianBytes(std::uint64_t value, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i) & 0xFF);
    return bytes;
}

} // namespace tarvex
