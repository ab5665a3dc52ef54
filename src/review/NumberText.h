// The text form of a number as the review shows it in list cells and labels:
// the shortest general form with at most 15 significant digits, no fixed
// number of decimals and no thousands separator (12.5, 10, 0.75), always with
// "." as the decimal separator whatever the user's locale.
#pragma once

#include <string>

namespace tarvex {

// value in its text form. Magnitudes of 1e15 and above, or below 0.0001, are
// written with an exponent (1e+16, 1e-05).
std::string numberText(double value);

// value written in its text form and read back: the nearest number with at
// most 15 significant digits. The listing compares a vendor cost against the
// host cost in this form, so that a stored 10.000000000000002 counts as 10.
double normalisedNumber(double value);

} // namespace tarvex
