// Decoding Access text into UTF-8 and folding it for index seeks.
#include "platform/access/AccessText.h"

#include "platform/text/LetterCase.h"
#include "platform/text/Utf8.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace tarvex {

std::string unicodeTextToUtf8(const unsigned char* data, std::size_t size)
{
    std::string out;
    if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) {
        // Mostly ASCII, each character its UTF-16 unit's low byte; anything
        // else is converted unit by unit.
        out.resize(size / 2);
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            if (data[i] >= 0x80 || data[i + 1] != 0)
                return utf16ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size), false);
            out[i / 2] = static_cast<char>(data[i]);
        }
        return out;
    }
    out.reserve(size);
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
    // Mostly a code of ASCII alone: its capitals made small in place.
    std::string folded = text;
    for (; i < folded.size(); ++i) {
        auto byte = static_cast<unsigned char>(folded[i]);
        if (byte >= 0x80)
            return smallLetters(text);
        if (byte >= 'A' && byte <= 'Z')
            folded[i] = static_cast<char>(byte + ('a' - 'A'));
    }
    return folded;
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
