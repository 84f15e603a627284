#include "shell/PascalString.h"

#include <cstring>

namespace {

// Unicode of the Mac Roman characters 0x80..0xFF; 0x00..0x7F are ASCII.
constexpr char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// The letter without its accent for the accented letters of Mac Roman; 0 for the others.
constexpr char kMacRomanBaseLetter[128] = {
    'A', 'A', 'C', 'E', 'N', 'O', 'U', 'a', 'a', 'a', 'a', 'a', 'a', 'c', 'e', 'e', // 80
    'e', 'e', 'i', 'i', 'i', 'i', 'n', 'o', 'o', 'o', 'o', 'o', 'u', 'u', 'u', 'u', // 90
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   // A0
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   // B0
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   'A', 'A', 'O', 0,   0,   // C0
    0,   0,   0,   0,   0,   0,   0,   0,   'y', 'Y', 0,   0,   0,   0,   0,   0,   // D0
    0,   0,   0,   0,   0,   'A', 'E', 'A', 'E', 'E', 'I', 'I', 'I', 'I', 'O', 'O', // E0
    0,   'O', 'U', 'U', 'U', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   // F0
};

void AppendUtf8(std::string& out, char32_t u) {
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xF0 | (u >> 18));
        out += char(0x80 | ((u >> 12) & 0x3F));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

// Decodes one UTF-8 character at text[i], advancing i. False on a malformed sequence.
bool NextUtf8(const std::string& text, std::size_t& i, char32_t* u) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        value = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return false;
    }
    if (i + extra >= text.size() && extra > 0) return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) return false;
        value = (value << 6) | (c & 0x3F);
    }
    static constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    i += extra + 1;
    *u = value;
    return true;
}

int Find(const unsigned char* pattern, const unsigned char* string, bool backwards) {
    const int patternLength = pattern[0];
    const int stringLength = string[0];
    if (patternLength > stringLength) return 0;
    if (patternLength == 0) return 1;
    const int last = stringLength - patternLength + 1; // last possible 1-based position
    for (int n = 0; n < last; ++n) {
        const int position = backwards ? last - n : n + 1;
        if (std::memcmp(string + position, pattern + 1, patternLength) == 0) return position;
    }
    return 0;
}

} // namespace

char32_t MacRomanToUnicode(unsigned char c) {
    return c < 0x80 ? char32_t(c) : char32_t(kMacRomanHigh[c - 0x80]);
}

bool UnicodeToMacRoman(char32_t u, unsigned char* c) {
    if (u < 0x80) {
        *c = static_cast<unsigned char>(u);
        return true;
    }
    for (int k = 0; k < 128; ++k) {
        if (kMacRomanHigh[k] == u) {
            *c = static_cast<unsigned char>(0x80 + k);
            return true;
        }
    }
    return false;
}

unsigned char MacRomanWithoutMark(unsigned char c) {
    if (c < 0x80 || kMacRomanBaseLetter[c - 0x80] == 0) return c;
    return static_cast<unsigned char>(kMacRomanBaseLetter[c - 0x80]);
}

unsigned char MacRomanLowerCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    switch (c) {
    case 0xAE:
        return 0xBE; // AE ligature
    case 0xAF:
        return 0xBF; // O with stroke
    case 0xCE:
        return 0xCF; // OE ligature
    default:
        return c;
    }
}

bool EqualNamesIgnoringMarks(const unsigned char* a, const unsigned char* b, bool ignoreCase) {
    if (a[0] != b[0]) return false;
    for (int k = 1; k <= a[0]; ++k) {
        unsigned char x = MacRomanWithoutMark(a[k]);
        unsigned char y = MacRomanWithoutMark(b[k]);
        if (ignoreCase) {
            x = MacRomanLowerCase(x);
            y = MacRomanLowerCase(y);
        }
        if (x != y) return false;
    }
    return true;
}

std::string stringWithPascalString(const unsigned char* pstr) {
    std::string text;
    for (int k = 1; k <= pstr[0]; ++k)
        AppendUtf8(text, MacRomanToUnicode(pstr[k]));
    return text;
}

bool getPascalString(const std::string& text, unsigned char* pstr) {
    pstr[0] = 0;
    unsigned char converted[256];
    int length = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t u = 0;
        unsigned char c = 0;
        if (!NextUtf8(text, i, &u) || !UnicodeToMacRoman(u, &c) || length == 255) return false;
        converted[++length] = c;
    }
    std::memcpy(pstr + 1, converted + 1, length);
    pstr[0] = static_cast<unsigned char>(length);
    return true;
}

void pstrcat(unsigned char* destination, const unsigned char* source) {
    int length = destination[0];
    for (int k = 1; k <= source[0] && length < 254; ++k)
        destination[++length] = source[k];
    destination[0] = static_cast<unsigned char>(length);
}

bool pstrcmp(const unsigned char* a, const unsigned char* b) {
    return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0;
}

std::int16_t GetStringPos(const unsigned char* pattern, const unsigned char* string) {
    return static_cast<std::int16_t>(Find(pattern, string, false));
}

std::int16_t GetStringPosBackwards(const unsigned char* pattern, const unsigned char* string) {
    return static_cast<std::int16_t>(Find(pattern, string, true));
}

bool DoesPStr1ContainPStr2(const unsigned char* string, const unsigned char* pattern,
                           std::int16_t* position) {
    *position = GetStringPos(pattern, string);
    return *position != 0;
}

void pstrncpy(const unsigned char* source, unsigned char* destination, std::uint8_t n) {
    std::memmove(destination + 1, source + 1, n);
    destination[0] = n;
}
