// Files by UTF-8 path with the standard library only, for the layers dkq uses
// (no Qt on Windows). Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dkq {

// The path named by UTF-8 text. On Windows the text becomes UTF-16 (malformed
// sequences as U+FFFD); elsewhere the bytes are the path as they stand.
std::filesystem::path pathFromUtf8(const std::string& utf8);

// The bound of a settings or configuration text file: far above what any of
// them holds, low enough that a wrong file cannot take the program's memory.
inline constexpr std::size_t MaxTextFileBytes = 1 << 20;

enum class FileRead {
    Ok,
    Unreadable,  // missing, not permitted, or a read failed
    NotRegular,  // a folder, a device, a FIFO ...
    TooLong,
};

// The whole file when it is a regular file of at most maxBytes bytes; both
// are checked on the opened file before a byte is read, so a huge file, a
// FIFO or /dev/zero neither takes the memory nor waits. bytes changes only on
// Ok; length, when given, receives the length of a regular file (also of one
// too long).
FileRead readWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes,
                       std::uintmax_t* length = nullptr);

// Replaces the file with bytes through a temporary file in the same folder,
// pushed to the disk and renamed over it (the folder pushed too): afterwards
// the file holds either all of bytes or what it held before, never a part.
// The temporary file is new, created under a name of its own (never through
// a file or link found there), and gets the replaced file's permissions. A
// symbolic link (on Windows a reparse point) at the name is replaced by the
// file, never followed.
bool writeWholeFile(const std::string& path, std::string_view bytes);

// The environment variable whose value, when set, is the tag of the first
// temporary name a save tries ("<name>.saving-<tag>") instead of a random
// one: tests plant a link there. A name found taken is never written
// through; the save goes on under a random name.
inline constexpr const char* SavingTagVariable = "DKQ_SAVING_TAG";

}  // namespace dkq
