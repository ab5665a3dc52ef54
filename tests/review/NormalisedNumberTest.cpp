// The normalised current cost: whatever shortcut it takes for whole cents,
// it must give exactly what the 15-digit text round trip gives.
#include "review/NumberText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

namespace tarvex {
namespace {

// The rule as stated: the number written in its text form and read back;
// a text that reads back out of range (the largest doubles round up past
// the largest) leaves the number as it was.
double throughText(double value)
{
    std::string text = numberText(value);
    double back = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    return ec == std::errc() && end == text.data() + text.size() ? back : value;
}

void expectSameAsText(double value)
{
    EXPECT_EQ(normalisedNumber(value), throughText(value)) << "value " << value;
}

TEST(NormalisedNumberTest, WholeCentsComeBackUnchanged)
{
    for (int cents = -100000; cents <= 100000; ++cents) {
        double value = cents / 100.0;
        EXPECT_EQ(normalisedNumber(value), value);
        expectSameAsText(value);
    }
    // Cents sums that are not the nearest double to their decimal.
    for (double value : {0.1 + 0.2, 19.99 * 3, 1.15 * 100, 0.07 * 3})
        expectSameAsText(value);
    // At and beyond the size where whole cents stop being checked directly.
    for (double value : {99999999999.99, 123456789012.34, 1e13 - 0.01, 1e13, 1e13 + 0.02, 4503599627370495.5, 1e16})
        expectSameAsText(value);
}

TEST(NormalisedNumberTest, ValuesWithMoreDigitsAreCutToFifteen)
{
    EXPECT_EQ(normalisedNumber(10.000000000000002), 10.0);
    EXPECT_EQ(normalisedNumber(2.2800000000000002), 2.28);
    EXPECT_EQ(normalisedNumber(0.123456789012345678), 0.123456789012346);
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> amounts(-1e6, 1e6);
    std::uniform_int_distribution<int> exponents(-12, 20);
    for (int i = 0; i < 20000; ++i) {
        expectSameAsText(amounts(engine));
        expectSameAsText(std::ldexp(amounts(engine), exponents(engine)));
    }
}

TEST(NormalisedNumberTest, ZeroAndOddValuesCompareAsTheTextGives)
{
    EXPECT_EQ(normalisedNumber(0.0), 0.0);
    EXPECT_EQ(normalisedNumber(-0.0), 0.0);
    EXPECT_EQ(normalisedNumber(5e-324), throughText(5e-324));
    EXPECT_EQ(normalisedNumber(1.7976931348623157e308), throughText(1.7976931348623157e308));
}

} // namespace
} // namespace tarvex
