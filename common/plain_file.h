// Files by UTF-8 path with the standard library only, for the layers dkq uses
// (no Qt on Windows). Nothing here throws.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dkq {

// The path named by UTF-8 text. On Windows the text becomes UTF-16 (malformed
// sequences as U+FFFD); elsewhere the bytes are the path as they stand.
std::filesystem::path pathFromUtf8(const std::string& utf8);

// The whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

// Replaces the file with bytes through a temporary file in the same folder,
// pushed to the disk and renamed over it: afterwards the file holds either
// all of bytes or what it held before, never a part.
bool writeWholeFile(const std::string& path, std::string_view bytes);

}  // namespace dkq
