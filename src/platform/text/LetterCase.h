// LetterCase: the letter case Access's text indexes ignore, so that product
// codes match the same way in an Access file and in an SQLite file.
//
// An Access text index holds each key as its codes in the General sort order
// (Access 97's, 2000 to 2007's "General - Legacy" and 2010's "General"
// alike), and there a capital letter and its small letter have the same code
// for these letters: A-Z; the Latin-1 letters À-Þ; Latin Extended-A but for
// İ; Latin Extended-B up to U+0217 but for Ɔ Ɖ Ƒ Ʀ Ʃ Ƕ Ƿ Ǹ; Latin Extended
// Additional but for ẞ Ỻ Ỽ Ỿ; the Greek letters Ά-Ϋ and Ϛ-Ϯ; the Cyrillic
// letters Ё-Я but for Ѝ, and Ѡ-Ӌ but for Ѣ Ҋ Ҍ Ҏ Ҷ Ӏ; Armenian Ա-Ֆ; the Roman
// numerals Ⅰ-Ⅾ; the circled letters Ⓐ-Ⓩ; fullwidth Ａ-Ｚ; and the Ångström
// sign, which is Å. Case is ignored for these letters alone: any other
// character matches only itself. The awkward one is capital İ (I with a dot
// above): Access codes it as I with an accent, so İ matches neither i nor I,
// though Unicode makes i its small letter. Nor does the Kelvin sign (K)
// match k, the Ohm sign (Ω) match ω, or capital ẞ match ß (ẞ has no code in
// the sort order). The letters were found by comparing, for every capital
// letter of Unicode's basic plane, its code with its small letter's in both
// General sort orders' tables.
//
// Access's index also makes some texts equal that differ in more than
// letter case (ß and ss, final ς and σ, characters it has no code for);
// those are not matched here: a code never matches a text Access would keep
// apart.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// The small letter of c when c is a capital letter of the list above; c
// otherwise.
char32_t smallLetter(char32_t c);

// UTF-8 text with each letter of the list made small. Bytes that are not
// UTF-8 are kept as they are.
std::string smallLetters(std::string_view text);

// The texts whose smallLetters() are those of text and that differ from text
// only in letters beyond ASCII, text first: an engine that ignores the case
// of ASCII letters alone finds every text Access would match by looking up
// each of these. When there would be more than limit of them (a code with
// many such letters), only text itself, text with those letters small and
// text with them capital are given.
std::vector<std::string> caseFormsBeyondAscii(std::string_view text, std::size_t limit);

} // namespace tarvex
