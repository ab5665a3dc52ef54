// Locale-independent number text through std::to_chars and std::from_chars.
#include "review/NumberText.h"

#include <charconv>

namespace tarvex {

std::string numberText(double value)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (ec != std::errc())
        return "0";
    std::string text(buffer, end);
    // -0 reads as 0 to a person; the stored value is left alone.
    if (text == "-0")
        return "0";
    return text;
}

double normalisedNumber(double value)
{
    std::string text = numberText(value);
    double back = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return value;
    return back;
}

} // namespace tarvex
