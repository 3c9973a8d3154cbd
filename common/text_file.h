// Reading and writing files by path, with UTF-8 paths on every platform.
// None of these throws; each reports success.
#pragma once

#include <string>
#include <string_view>

#include "common/plain_file.h"  // readWholeFile, writeWholeFile

namespace dkq {

// These open the file at the name itself, never through a symbolic link (on
// Windows a reparse point): a link there is a file that cannot be opened,
// and standard error says so once, naming it.

// Creates the file, or empties it, and writes bytes: the start of a file that
// grows by appends afterwards. False when any of it fails; the file is then
// left empty.
bool startFile(const std::string& path, std::string_view bytes);

// Appends bytes to the file, creating it, unbuffered: when a write fails part
// way (a full disk, a size limit) the file is cut back through its handle to
// its former length, so it holds either all of bytes or what it held before,
// and a retry cannot double or tear a row.
bool appendToFile(const std::string& path, std::string_view bytes);

// Opens the file for reading and writing anywhere in it (as a file
// descriptor), creating it, by the same rule: a link at the name is refused
// (errno ELOOP) and told. -1 with errno when it cannot be opened.
int openForUpdate(const std::string& path);

// The path with only its file name (the part after the last separator) in
// upper case: folders of a case-sensitive file system keep their spelling.
std::string withUpperCaseFileName(const std::string& path);

// The file name without its folder.
std::string fileNameOf(const std::string& path);

}  // namespace dkq
