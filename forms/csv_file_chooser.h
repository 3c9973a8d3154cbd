// The "..." button next to the CSV file name: a Save As dialog whose choice
// becomes the file name without its folder, so recording happens in the
// program's current folder.
#pragma once

#include <optional>
#include <string>

#include "common/prompter.h"

namespace dkq {

// The new file name field, or nothing when the dialog was cancelled.
std::optional<std::string> chooseCsvFileName(Prompter& prompter, const std::string& current);

}  // namespace dkq
