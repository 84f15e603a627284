#pragma once
// Pascal strings: one length byte (0..255) followed by that many bytes, Mac Roman text.
// The engine keeps file, marker and region names in this form.

#include <cstdint>
#include <string>

using PascalString = unsigned char[256];

// The text of a Pascal string, converted from Mac Roman to UTF-8.
std::string stringWithPascalString(const unsigned char* pstr);

// Converts UTF-8 `text` to Mac Roman into `pstr` (a 256-byte buffer). False, with `pstr`
// left as an empty string, when the text is not valid UTF-8, holds a character Mac Roman
// lacks, or needs more than 255 bytes.
bool getPascalString(const std::string& text, unsigned char* pstr);

// Appends `source` to `destination` in place, byte by byte, until the source is exhausted
// or the result reaches 254 bytes.
void pstrcat(unsigned char* destination, const unsigned char* source);

// True when both length bytes and all bytes are equal.
bool pstrcmp(const unsigned char* a, const unsigned char* b);

// 1-based position of the first occurrence of `pattern` in `string`; 0 when absent or when
// the pattern is longer than the string. An empty pattern is found at position 1.
std::int16_t GetStringPos(const unsigned char* pattern, const unsigned char* string);

// The same for the last occurrence.
std::int16_t GetStringPosBackwards(const unsigned char* pattern, const unsigned char* string);

// True when `pattern` occurs in `string`; its 1-based position goes to `*position`.
bool DoesPStr1ContainPStr2(const unsigned char* string, const unsigned char* pattern,
                           std::int16_t* position);

// Copies `n` bytes after the length byte of `source` and sets the length of `destination`
// to n.
void pstrncpy(const unsigned char* source, unsigned char* destination, std::uint8_t n);

// Mac Roman -> Unicode and back for one character; used by the conversions above and by
// name comparisons that ignore case and diacritical marks.
char32_t MacRomanToUnicode(unsigned char c);
bool UnicodeToMacRoman(char32_t u, unsigned char* c);

// The Mac Roman letter without its accent ("e" for e-acute); other bytes unchanged.
unsigned char MacRomanWithoutMark(unsigned char c);
// Lower case for the Mac Roman letters that have a case pair without accents.
unsigned char MacRomanLowerCase(unsigned char c);
// Pascal strings equal when accents are ignored (and case too, when asked).
bool EqualNamesIgnoringMarks(const unsigned char* a, const unsigned char* b, bool ignoreCase);
