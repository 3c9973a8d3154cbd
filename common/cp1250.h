// Windows-1250, the code page of every text file the suite writes or reads.
// Inside the programs text is UTF-8; conversion happens only where a file is
// written or read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dkq {

// Text-mode line ends, as every text file of the suite has them: each LF
// becomes CR LF, also inside peer data.
std::string withCrLf(std::string_view text);

// Every byte maps to one character. The five bytes the code page leaves
// undefined (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1 control of the same
// number, so any byte string survives a round trip.
std::string cp1250ToUtf8(std::string_view bytes);

// Characters outside the code page become '?'; malformed UTF-8 sequences too.
std::string utf8ToCp1250(std::string_view text);
// The characters that utf8ToCp1250 turns into '?', each once, in the order
// they first appear (UTF-8; U+FFFD for a malformed sequence).
std::string charsOutsideCp1250(std::string_view text);

// The UTF-8 steps both conversions are made of. nextCodePoint decodes the
// sequence at text[pos] and moves pos past what it took: U+FFFD for a
// malformed sequence. appendUtf8 writes any code point up to U+10FFFF.
char32_t nextCodePoint(std::string_view text, std::size_t& pos);
void appendUtf8(std::string& out, char32_t cp);

}  // namespace dkq
