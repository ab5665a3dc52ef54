// Decoding Access text into UTF-8 and folding it for index seeks.
#include "platform/AccessText.h"

#include "platform/Utf8.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <vector>

namespace tarvex {

namespace {

// The next code point of UTF-8 text at i (advanced past it); bytes that are
// not UTF-8 stand for themselves.
char32_t nextCodePoint(const std::string& text, std::size_t& i)
{
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= text.size()) {
        ++i;
        return lead;
    }
    char32_t c = lead & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        c = c << 6 | (next & 0x3F);
    }
    i += extra + 1;
    return c;
}

} // namespace

std::string unicodeTextToUtf8(const unsigned char* data, std::size_t size)
{
    std::string out;
    out.reserve(size);
    if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) {
        out = utf16ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size), false);
        return out;
    }
    bool compressed = true;
    std::size_t runStart = 2;
    auto flush = [&](std::size_t end) {
        if (compressed) {
            for (std::size_t i = runStart; i < end; ++i)
                appendUtf8(out, data[i]);
        } else {
            out += utf16ToUtf8(std::string_view(reinterpret_cast<const char*>(data) + runStart, end - runStart), false);
        }
    };
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] == 0) {
            flush(i);
            compressed = !compressed;
            runStart = i + 1;
        }
    }
    flush(size);
    return out;
}

std::string codePageTextToUtf8(const unsigned char* data, std::size_t size, unsigned codePage)
{
    std::string name = "CP" + std::to_string(codePage);
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        converter = iconv_open("UTF-8", "CP1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // No converter at all: the ASCII part is the same in every code page.
        std::string out;
        for (std::size_t i = 0; i < size; ++i)
            out += data[i] < 0x80 ? static_cast<char>(data[i]) : '?';
        return out;
    }
    std::string out;
    std::vector<char> buffer(size * 4 + 4);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
    std::size_t inLeft = size;
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t rc = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte the code page does not define.
            appendUtf8(out, 0xFFFD);
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    return out;
}

std::string foldedKey(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80 && !(text[i] >= 'A' && text[i] <= 'Z'))
        ++i;
    if (i == text.size())
        return text;
    // Lower case by the Unicode tables of the C.UTF-8 locale, the same on
    // every system whatever the user's own locale.
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::string out = text.substr(0, i);
    while (i < text.size()) {
        char32_t c = nextCodePoint(text, i);
        if (c < 0x80)
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        else
            appendUtf8(out, unicode ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), unicode)) : c);
    }
    return out;
}

bool asciiFoldedKey(const unsigned char* data, std::size_t size, std::string& out)
{
    auto fold = [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
    if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) {
        // UTF-16: two bytes per character, the second zero for ASCII.
        if (size % 2 != 0)
            return false;
        out.resize(size / 2);
        for (std::size_t i = 0; i < size; i += 2) {
            if (data[i] == 0 || data[i] >= 0x80 || data[i + 1] != 0)
                return false;
            out[i / 2] = fold(data[i]);
        }
        return true;
    }
    out.resize(size - 2);
    for (std::size_t i = 2; i < size; ++i) {
        // A zero byte switches to UTF-16, and bytes from 0x80 are not ASCII.
        if (data[i] == 0 || data[i] >= 0x80)
            return false;
        out[i - 2] = fold(data[i]);
    }
    return true;
}

} // namespace tarvex
