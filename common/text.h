// Text helpers shared by every file format of the suite: the Windows-1250
// CR LF form of text files, line reading that takes CR LF and LF, and field
// reading with the rules of the C "%d" and "%s" conversions the formats were
// defined with. Text inside the programs is UTF-8.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace dkq {

// UTF-8 text with "\n" line ends -> file bytes: Windows-1250, CR LF.
std::string encodeTextFile(std::string_view text);

// File bytes -> UTF-8 lines without their line ends. A line ends at LF, with
// or without a CR before it; a last line without a line end counts too.
std::vector<std::string> decodeTextLines(std::string_view bytes);

// Numbers written "%d,%d,...": as sscanf reads them, in order, until one
// does not parse (blanks before a number are skipped, the comma must follow
// the number directly). At most maxCount numbers; a number outside the int
// range ends the reading.
std::vector<int> scanIntList(std::string_view text, std::size_t maxCount);

// The first blank-delimited word, as "%s" reads it; empty when none.
std::string firstWord(std::string_view text);

// At most maxChars characters (not bytes) of UTF-8 text.
std::string limitChars(std::string_view text, std::size_t maxChars);

// Upper case of UTF-8 text: the Latin letters of ASCII, Latin-1 and Latin
// Extended-A, every letter of Windows-1250 among them. Other characters and
// malformed bytes stay as they are.
std::string toUpperText(std::string_view text);

// A program's command line split at blanks: at most 10 words of at most 255
// characters each.
inline constexpr std::size_t MaxCommandWords = 10;
inline constexpr std::size_t MaxCommandWordChars = 255;
std::vector<std::string> splitCommandLine(std::string_view line);

// Local date and time as the logs and records print it:
// "%d-%02d-%02d %d:%02d:%02d" (hour without a leading zero).
std::string formatDateTime(const std::tm& time);

}  // namespace dkq
