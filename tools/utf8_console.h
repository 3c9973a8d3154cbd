// dkq speaks UTF-8 on every platform: its arguments are UTF-8 words and what
// it prints is UTF-8. On Windows the arguments come from the wide command line
// (the ANSI one would lose every letter outside the code page) and the
// console is switched to UTF-8 output.
#pragma once

#include <string>
#include <vector>

namespace dkq::tool {

// The arguments after the program name, as UTF-8.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Makes the console show UTF-8 output (Windows); nothing elsewhere.
void useUtf8Console();

}  // namespace dkq::tool
