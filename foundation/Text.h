#pragma once
// The one conversion pair between the program's UTF-8 text and the single-byte
// Windows-1252 text that files and instruments carry.
//
// Every Windows-1252 byte has a character: the printable ones of the code page
// (0x80 is the euro sign, 0x9F is Y with diaeresis, ...) and, for the five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D), the C1
// control character of the same number, so any byte string survives a round
// trip unchanged. A character with no single-byte form becomes '?', and so
// does each malformed UTF-8 sequence (an invalid byte, a truncated or overlong
// sequence, a surrogate, a value above U+10FFFF).

#include <string>
#include <string_view>

// Windows-1252 bytes to UTF-8 text.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 text to Windows-1252 bytes.
std::string Utf8ToCp1252(std::string_view text);

// UTF-16 bytes (little-endian unless bigEndian; no byte-order mark) to UTF-8
// text, for the settings files some editors save in UTF-16. A lone surrogate
// becomes U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
