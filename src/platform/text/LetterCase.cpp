// The letters whose case Access's General sort order ignores, and texts
// folded and varied by them.
#include "platform/text/LetterCase.h"

#include "platform/text/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tarvex {

namespace {

// Capitals first to last, every step-th one, whose small letter is delta
// code points on. Sorted, none overlapping.
struct CapitalRun {
    char32_t first;
    char32_t last;
    std::uint8_t step;
    std::int32_t delta;
};

constexpr CapitalRun kCapitals[] = {
    {0x0041, 0x005A, 1, 32},  {0x00C0, 0x00D6, 1, 32},  {0x00D8, 0x00DE, 1, 32},  {0x0100, 0x012E, 2, 1},
    {0x0132, 0x0136, 2, 1},   {0x0139, 0x0147, 2, 1},   {0x014A, 0x0176, 2, 1},   {0x0178, 0x0178, 1, -121},
    {0x0179, 0x017D, 2, 1},   {0x0181, 0x0181, 1, 210}, {0x0182, 0x0184, 2, 1},   {0x0187, 0x0187, 1, 1},
    {0x018A, 0x018A, 1, 205}, {0x018B, 0x018B, 1, 1},   {0x018E, 0x018E, 1, 79},  {0x018F, 0x018F, 1, 202},
    {0x0190, 0x0190, 1, 203}, {0x0193, 0x0193, 1, 205}, {0x0194, 0x0194, 1, 207}, {0x0196, 0x0196, 1, 211},
    {0x0197, 0x0197, 1, 209}, {0x0198, 0x0198, 1, 1},   {0x019C, 0x019C, 1, 211}, {0x019D, 0x019D, 1, 213},
    {0x019F, 0x019F, 1, 214}, {0x01A0, 0x01A4, 2, 1},   {0x01A7, 0x01A7, 1, 1},   {0x01AC, 0x01AC, 1, 1},
    {0x01AE, 0x01AE, 1, 218}, {0x01AF, 0x01AF, 1, 1},   {0x01B1, 0x01B2, 1, 217}, {0x01B3, 0x01B5, 2, 1},
    {0x01B7, 0x01B7, 1, 219}, {0x01B8, 0x01B8, 1, 1},   {0x01BC, 0x01BC, 1, 1},   {0x01C4, 0x01C4, 1, 2},
    {0x01C5, 0x01C5, 1, 1},   {0x01C7, 0x01C7, 1, 2},   {0x01C8, 0x01C8, 1, 1},   {0x01CA, 0x01CA, 1, 2},
    {0x01CB, 0x01DB, 2, 1},   {0x01DE, 0x01EE, 2, 1},   {0x01F1, 0x01F1, 1, 2},   {0x01F2, 0x01F4, 2, 1},
    {0x01FA, 0x0216, 2, 1},   {0x0386, 0x0386, 1, 38},  {0x0388, 0x038A, 1, 37},  {0x038C, 0x038C, 1, 64},
    {0x038E, 0x038F, 1, 63},  {0x0391, 0x03A1, 1, 32},  {0x03A3, 0x03AB, 1, 32},  {0x03DA, 0x03EE, 2, 1},
    {0x0401, 0x040C, 1, 80},  {0x040E, 0x040F, 1, 80},  {0x0410, 0x042F, 1, 32},  {0x0460, 0x0460, 1, 1},
    {0x0464, 0x0480, 2, 1},   {0x0490, 0x04B4, 2, 1},   {0x04B8, 0x04BE, 2, 1},   {0x04C1, 0x04CB, 2, 1},
    {0x0531, 0x0556, 1, 48},  {0x1E00, 0x1E94, 2, 1},   {0x1EA0, 0x1EF8, 2, 1},   {0x212B, 0x212B, 1, -8262},
    {0x2160, 0x216E, 1, 16},  {0x24B6, 0x24CF, 1, 26},  {0xFF21, 0xFF3A, 1, 32},
};

// A character of UTF-8 text: its code point and its bytes. A byte that does
// not start a well-formed character stands alone, and is no letter.
struct Character {
    char32_t code = 0;
    std::size_t size = 1;
    bool wellFormed = true;
};

Character characterAt(std::string_view text, std::size_t i)
{
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return {lead, 1, true};
    std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= text.size())
        return {lead, 1, false};
    char32_t code = lead & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return {lead, 1, false};
        code = code << 6 | (next & 0x3F);
    }
    return {code, extra + 1, true};
}

// c and every capital whose small letter is c's, the small letter first.
std::vector<char32_t> formsOf(char32_t c)
{
    char32_t small = smallLetter(c);
    std::vector<char32_t> forms = {small};
    for (const CapitalRun& run : kCapitals) {
        char32_t capital = static_cast<char32_t>(static_cast<std::int64_t>(small) - run.delta);
        if (capital >= run.first && capital <= run.last && (capital - run.first) % run.step == 0)
            forms.push_back(capital);
    }
    return forms;
}

} // namespace

char32_t smallLetter(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    auto after = std::upper_bound(std::begin(kCapitals), std::end(kCapitals), c,
                                  [](char32_t code, const CapitalRun& run) { return code < run.first; });
    if (after == std::begin(kCapitals))
        return c;
    const CapitalRun& run = *std::prev(after);
    if (c > run.last || (c - run.first) % run.step != 0)
        return c;
    return static_cast<char32_t>(static_cast<std::int64_t>(c) + run.delta);
}

std::string smallLetters(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        Character ch = characterAt(text, i);
        char32_t small = ch.wellFormed ? smallLetter(ch.code) : ch.code;
        if (small == ch.code)
            out.append(text.substr(i, ch.size));
        else
            appendUtf8(out, small);
        i += ch.size;
    }
    return out;
}

std::vector<std::string> caseFormsBeyondAscii(std::string_view text, std::size_t limit)
{
    // The text in pieces: the letters with more than one form, and the bytes
    // before, between and after them.
    std::vector<std::string> between(1);
    std::vector<std::vector<char32_t>> letters;
    std::size_t count = 1;
    for (std::size_t i = 0; i < text.size();) {
        Character ch = characterAt(text, i);
        std::vector<char32_t> forms;
        if (ch.wellFormed && ch.code >= 0x80)
            forms = formsOf(ch.code);
        if (forms.size() > 1) {
            count = count > limit ? count : count * forms.size();
            letters.push_back(std::move(forms));
            between.emplace_back();
        } else {
            between.back().append(text.substr(i, ch.size));
        }
        i += ch.size;
    }
    // The text with the chosen form of each letter (its index in forms).
    auto build = [&](auto formIndex) {
        std::string out = between[0];
        for (std::size_t k = 0; k < letters.size(); ++k) {
            appendUtf8(out, letters[k][formIndex(k)]);
            out += between[k + 1];
        }
        return out;
    };
    std::vector<std::string> texts = {std::string(text)};
    auto add = [&texts](std::string other) {
        if (std::find(texts.begin(), texts.end(), other) == texts.end())
            texts.push_back(std::move(other));
    };
    if (count > limit) {
        // Forms list the small letter first, then its capital.
        add(build([](std::size_t) { return 0; }));
        add(build([](std::size_t) { return 1; }));
        return texts;
    }
    // Every combination, counting through the letters' forms like an
    // odometer.
    std::vector<std::size_t> chosen(letters.size(), 0);
    for (;;) {
        add(build([&chosen](std::size_t k) { return chosen[k]; }));
        std::size_t place = 0;
        while (place < letters.size() && ++chosen[place] == letters[place].size())
            chosen[place++] = 0;
        if (place == letters.size())
            return texts;
    }
}

} // namespace tarvex
