// The texts of the splash: the window caption, the product and the company.
// The splash window and the terminal's opening line take them from here.
#pragma once

#include "platform/prompt/Prompter.h"

namespace tarvex::splash_text {

inline constexpr const char* kCaption = "Corvane Tarvex";
inline constexpr const char* kProductName = kProgramTitle;
inline constexpr const char* kCompany = "Norvale Systems";

} // namespace tarvex::splash_text
