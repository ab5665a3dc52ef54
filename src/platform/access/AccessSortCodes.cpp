// The General sort orders' codes of printable ASCII, as Jet 4 and ACE write
// them into text index keys (the same codes as public readers of the format
// list, e.g. Jackcess's index_codes_genleg.txt and index_codes_gen.txt).
#include "platform/access/AccessSortCodes.h"

namespace tarvex {

namespace {

// The codes of 0x20 to 0x7E; an empty code for the apostrophe and the
// hyphen, which are coded only after the lead. Capital and small letters
// have the same codes.
constexpr std::string_view kLegacyCodes[95] = {
    "\x07",     "\x09", "\x0A", "\x0C",     "\x0E",     "\x10",     "\x12",     "",         // space ! " # $ % & '
    "\x14",     "\x16", "\x18", "\x2C",     "\x1A",     "",         "\x1C",     "\x1E",     // ( ) * + , - . /
    "\x36",     "\x38", "\x3A", "\x3C",     "\x3E",     "\x40",     "\x42",     "\x44",     // 0-7
    "\x46",     "\x48", "\x20", "\x22",     "\x2E",     "\x30",     "\x32",     "\x24",     // 8 9 : ; < = > ?
    "\x26",     "\x4A", "\x4C", "\x4D",     "\x4F",     "\x51",     "\x53",     "\x55",     // @ A-G
    "\x57",     "\x59", "\x5B", "\x5C",     "\x5E",     "\x60",     "\x62",     "\x64",     // H-O
    "\x66",     "\x68", "\x69", "\x6B",     "\x6D",     "\x6F",     "\x71",     "\x73",     // P-W
    "\x75",     "\x76", "\x78", "\x27",     "\x29",     "\x2A",     "\x2B\x02", "\x2B\x03", // X Y Z [ \ ] ^ _
    "\x2B\x07", "\x4A", "\x4C", "\x4D",     "\x4F",     "\x51",     "\x53",     "\x55",     // ` a-g
    "\x57",     "\x59", "\x5B", "\x5C",     "\x5E",     "\x60",     "\x62",     "\x64",     // h-o
    "\x66",     "\x68", "\x69", "\x6B",     "\x6D",     "\x6F",     "\x71",     "\x73",     // p-w
    "\x75",     "\x76", "\x78", "\x2B\x09", "\x2B\x0B", "\x2B\x0D", "\x2B\x0F",             // x y z { | } ~
};

constexpr std::string_view kGeneralCodes[95] = {
    "\x07\x02", "\x07\x1C", "\x07\x1D", "\x07\x1F", "\x07\x21", "\x07\x23", "\x07\x25", "", // space ! " # $ % & '
    "\x07\x27", "\x07\x2A", "\x07\x2D", "\x08\x03", "\x07\x2F", "",         "\x07\x33", "\x07\x35", // ( ) * + , - . /
    "\x0D\x17", "\x0D\x19", "\x0D\x1A", "\x0D\x1B", "\x0D\x1C", "\x0D\x1D", "\x0D\x1E", "\x0D\x1F", // 0-7
    "\x0D\x20", "\x0D\x21", "\x07\x37", "\x07\x3A", "\x08\x0E", "\x08\x12", "\x08\x14", "\x07\x3C", // 8 9 : ; < = > ?
    "\x07\x3E", "\x0E\x02", "\x0E\x09", "\x0E\x0A", "\x0E\x1A", "\x0E\x21", "\x0E\x23", "\x0E\x25", // @ A-G
    "\x0E\x2C", "\x0E\x32", "\x0E\x35", "\x0E\x36", "\x0E\x48", "\x0E\x51", "\x0E\x70", "\x0E\x7C", // H-O
    "\x0E\x7E", "\x0E\x89", "\x0E\x8A", "\x0E\x91", "\x0E\x99", "\x0E\x9F", "\x0E\xA2", "\x0E\xA4", // P-W
    "\x0E\xA6", "\x0E\xA7", "\x0E\xA9", "\x07\x3F", "\x07\x41", "\x07\x42", "\x07\x43", "\x07\x44", // X Y Z [ \ ] ^ _
    "\x07\x48", "\x0E\x02", "\x0E\x09", "\x0E\x0A", "\x0E\x1A", "\x0E\x21", "\x0E\x23", "\x0E\x25", // ` a-g
    "\x0E\x2C", "\x0E\x32", "\x0E\x35", "\x0E\x36", "\x0E\x48", "\x0E\x51", "\x0E\x70", "\x0E\x7C", // h-o
    "\x0E\x7E", "\x0E\x89", "\x0E\x8A", "\x0E\x91", "\x0E\x99", "\x0E\x9F", "\x0E\xA2", "\x0E\xA4", // p-w
    "\x0E\xA6", "\x0E\xA7", "\x0E\xA9", "\x07\x4A", "\x07\x4C", "\x07\x4E", "\x07\x50",             // x y z { | } ~
};

// The General sort orders' locale (English, United States).
constexpr unsigned kGeneralLocale = 1033;

} // namespace

AccessSortOrder accessSortOrder(unsigned locale, unsigned version)
{
    if (locale != kGeneralLocale)
        return AccessSortOrder::Unknown;
    if (version == 0)
        return AccessSortOrder::GeneralLegacy;
    if (version == 1)
        return AccessSortOrder::General;
    return AccessSortOrder::Unknown;
}

bool asciiSortCodes(AccessSortOrder order, std::string_view text, std::string& out)
{
    if (order == AccessSortOrder::Unknown)
        return false;
    const std::string_view* codes = order == AccessSortOrder::GeneralLegacy ? kLegacyCodes : kGeneralCodes;
    out.clear();
    // The key leaves out the blanks that end a text.
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E)
            return false;
        out.append(codes[byte - 0x20]);
    }
    return true;
}

std::uint64_t leadHash(std::string_view codes)
{
    LeadHasher hasher;
    for (char c : codes)
        hasher.add(static_cast<unsigned char>(c));
    return hasher.value();
}

} // namespace tarvex
