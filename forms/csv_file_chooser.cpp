#include "forms/csv_file_chooser.h"

#include "common/text_file.h"

namespace dkq {

std::optional<std::string> chooseCsvFileName(Prompter& prompter, const std::string& current) {
    const auto chosen = prompter.chooseSaveFile("Arkusze CSV (*.CSV)|*.csv||", "csv", current);
    if (!chosen) return std::nullopt;
    return fileNameOf(*chosen);
}

}  // namespace dkq
