// AccessText: the text stored in Access files, made into UTF-8, and the form
// of a text key that index seeks compare.
//
// Jet 4 and ACE store text as UTF-16, or compressed: after the marker FF FE,
// runs of one byte per character (for characters up to U+00FF) alternate
// with runs of UTF-16, each run ended by a zero byte. Jet 3 stores text in
// the database's Windows code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvex {

// UTF-8 of Jet 4 / ACE text bytes (compressed or not).
std::string unicodeTextToUtf8(const unsigned char* data, std::size_t size);

// UTF-8 of Jet 3 text bytes in the given Windows code page (1252 when the
// code page is unknown to the system).
std::string codePageTextToUtf8(const unsigned char* data, std::size_t size, unsigned codePage);

// text with letter case folded, so that two texts Access's indexes hold
// equal for their letters' case alone give the same key (see LetterCase.h
// for the letters whose case is ignored).
std::string foldedKey(const std::string& text);

// The folded key of Jet 4 / ACE text bytes straight from the bytes, into
// out, when they are all ASCII (the common product code), compressed or not:
// the same as foldedKey(unicodeTextToUtf8(data, size)) without building the
// UTF-8 first. False, with out left unspecified, for any other text.
bool asciiFoldedKey(const unsigned char* data, std::size_t size, std::string& out);

} // namespace tarvex
