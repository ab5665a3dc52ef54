// Locale-independent number text through std::to_chars and std::from_chars.
#include "review/NumberText.h"

#include <charconv>
#include <cmath>

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
    // Prices and costs are nearly always whole cents. The double nearest a
    // decimal of at most 15 significant digits comes back unchanged from its
    // 15-digit text, so such a value is its own answer; this spares the text
    // round trip once per product of a long list.
    double cents = std::round(value * 100.0);
    if (std::fabs(cents) < 1e13 && cents / 100.0 == value)
        return value;
    std::string text = numberText(value);
    double back = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return value;
    return back;
}

} // namespace tarvex
