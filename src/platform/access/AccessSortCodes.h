// AccessSortCodes: how Jet 4 and ACE text indexes code printable ASCII text,
// so that a product code can be looked for among an index's own keys
// without reading every record's code.
//
// A text index key holds, after a flag byte (0x7F for a present value in
// ascending order), one code per character in the column's sort order, then
// 0x01, then codes for what the first codes leave out (accents, apostrophes
// and hyphens, case beyond the letters coded alike). The first part, here
// the key's lead, is the same for every text that differs only in letter
// case or in apostrophes and hyphens. Only the two General sort orders of
// locale 1033 are known here ("General - Legacy", Access 2000 to 2007, and
// "General", Access 2010 and later); only the printable ASCII characters
// (0x20-0x7E) are coded. Their codes never hold the bytes 0x00 or 0x01, so
// the lead of any key ends at its first 0x01. A key leaves out the blanks
// that end its text, and codes only a text's first 127 characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex {

enum class AccessSortOrder : std::uint8_t { Unknown, GeneralLegacy, General };

// The sort order a text column's definition names by its locale and version.
AccessSortOrder accessSortOrder(unsigned locale, unsigned version);

// The lead codes of text, but for its ending blanks, into out; false (out
// unspecified) when order is Unknown or text holds a character other than
// printable ASCII.
bool asciiSortCodes(AccessSortOrder order, std::string_view text, std::string& out);

// The hash by which leads are compared, taken a byte at a time (an index
// entry's key is read in two parts: the bytes it shares with the first
// entry of its page, then its own). Never kNoLead.
inline constexpr std::uint64_t kNoLead = ~std::uint64_t{0};
class LeadHasher {
public:
    // Eight bytes gathered into a word, then the word mixed in: a byte costs
    // a shift, not a multiplication.
    void add(unsigned char byte)
    {
        m_word = m_word << 8 | byte;
        if (++m_bytes % 8 == 0) {
            m_hash = (m_hash ^ m_word) * 0x9e3779b97f4a7c15u;
            m_word = 0;
        }
    }
    // The bytes from..to, as add() of each in turn gives them: whole words
    // of eight read at once.
    void add(const unsigned char* from, const unsigned char* to)
    {
        for (; from < to && m_bytes % 8 != 0; ++from)
            add(*from);
        for (; to - from >= 8; from += 8) {
            std::uint64_t word = 0;
            for (int k = 0; k < 8; ++k)
                word = word << 8 | from[k];
            m_hash = (m_hash ^ word) * 0x9e3779b97f4a7c15u;
            m_bytes += 8;
        }
        for (; from < to; ++from)
            add(*from);
    }
    std::uint64_t value() const
    {
        // The bytes left and the count mixed in, so that its low bits (a
        // table's slot) and its high bits (a slot's tag) both depend on every
        // byte.
        std::uint64_t h = (m_hash ^ m_word) * 0x9e3779b97f4a7c15u ^ m_bytes;
        h = (h ^ (h >> 33)) * 0xff51afd7ed558ccdu;
        h = (h ^ (h >> 33)) * 0xc4ceb9fe1a85ec53u;
        h ^= h >> 33;
        return h == kNoLead ? h - 1 : h;
    }

private:
    std::uint64_t m_hash = 0;
    std::uint64_t m_word = 0;
    std::uint64_t m_bytes = 0;
};
std::uint64_t leadHash(std::string_view codes);

} // namespace tarvex
