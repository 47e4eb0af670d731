#pragma once

#include <string>
#include <string_view>

namespace plimbrook::code_page {

// The comment field holds Windows-1252, one byte per character. Text crosses into the
// rest of the program as UTF-8.

// The byte that stands for a character Windows-1252 cannot hold.
inline constexpr unsigned char kUnmappable = '?';

// Splits UTF-8 into code points. A malformed sequence (a byte that cannot start one, or a lead
// byte and as many continuation bytes as follow it, up to its length) counts as one U+FFFD, so an
// overlong form never turns into the character it spells, such as "/".
std::u32string decodeUtf8(std::string_view utf8);
std::string encodeUtf8(std::u32string_view text);

unsigned char toWindows1252(char32_t codePoint);
// Whether the code page holds the character, rather than standing kUnmappable in for it.
bool canHold(char32_t codePoint);
char32_t fromWindows1252(unsigned char byte);

}  // namespace plimbrook::code_page
