#include "support/LnkWriter.h"

#include <cstdint>
#include <fstream>

namespace tarvex::test {

namespace {

void put16(std::string& out, std::uint16_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void put32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putZeros(std::string& out, std::size_t n)
{
    out.append(n, '\0');
}

constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasRelativePath = 0x08;
constexpr std::uint32_t kIsUnicode = 0x80;

std::string header(std::uint32_t flags)
{
    std::string h;
    put32(h, 0x4C);
    // CLSID 00021401-0000-0000-C000-000000000046 in its stored byte order.
    h += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    put32(h, flags);
    put32(h, 0x20);  // FILE_ATTRIBUTE_ARCHIVE
    putZeros(h, 24); // creation, access and write times
    put32(h, 0);     // file size
    put32(h, 0);     // icon index
    put32(h, 1);     // SW_SHOWNORMAL
    put16(h, 0);     // hot key
    putZeros(h, 10); // reserved
    return h;
}

std::string linkInfo(const LnkTarget& target)
{
    constexpr std::uint32_t headerSize = 0x1C;
    std::string volume;
    std::string local;
    std::string network;
    std::uint32_t flags = 0;
    if (target.localPath) {
        flags |= 0x1;
        std::string label = "HOST";
        put32(volume, static_cast<std::uint32_t>(16 + label.size() + 1));
        put32(volume, 3);          // DRIVE_FIXED
        put32(volume, 0x12345678); // serial number
        put32(volume, 16);         // label offset
        volume += label + '\0';
        local = *target.localPath + '\0';
    }
    if (target.networkShare) {
        flags |= 0x2;
        std::string name = *target.networkShare + '\0';
        put32(network, static_cast<std::uint32_t>(20 + name.size()));
        put32(network, 0);  // no device name, no provider type
        put32(network, 20); // net name offset
        put32(network, 0);  // device name offset
        put32(network, 0);  // provider type
        network += name;
    }
    std::string suffix = target.pathSuffix + '\0';

    std::uint32_t volumeOffset = volume.empty() ? 0 : headerSize;
    std::uint32_t localOffset = local.empty() ? 0 : headerSize + static_cast<std::uint32_t>(volume.size());
    std::uint32_t networkOffset =
        network.empty() ? 0 : headerSize + static_cast<std::uint32_t>(volume.size() + local.size());
    std::uint32_t suffixOffset = headerSize + static_cast<std::uint32_t>(volume.size() + local.size() + network.size());
    std::uint32_t size = suffixOffset + static_cast<std::uint32_t>(suffix.size());

    std::string info;
    put32(info, size);
    put32(info, headerSize);
    put32(info, flags);
    put32(info, volumeOffset);
    put32(info, localOffset);
    put32(info, networkOffset);
    put32(info, suffixOffset);
    return info + volume + local + network + suffix;
}

} // namespace

std::string lnkBytes(const LnkTarget& target)
{
    bool hasInfo = target.localPath || target.networkShare;
    std::uint32_t flags = kIsUnicode | (hasInfo ? kHasLinkInfo : 0) | (target.relativePath ? kHasRelativePath : 0);
    std::string out = header(flags) + (hasInfo ? linkInfo(target) : std::string());
    if (target.relativePath) {
        put16(out, static_cast<std::uint16_t>(target.relativePath->size()));
        for (char c : *target.relativePath)
            put16(out, static_cast<std::uint8_t>(c));
    }
    put32(out, 0); // terminal block
    return out;
}

std::string writeLnk(const std::string& file, const LnkTarget& target)
{
    std::ofstream out(file, std::ios::binary);
    out << lnkBytes(target);
    return file;
}

} // namespace tarvex::test
