// How a program core talks to the user without knowing about windows: the Qt
// layer implements this with message boxes and file dialogs, tests with a
// scripted fake.
#pragma once

#include <optional>
#include <string>

#include "common/text_file.h"

namespace dkq {

enum class MessageIcon { None, Information, Exclamation, Error };
// The answer Enter gives to a question: No where Yes destroys data.
enum class DefaultAnswer { Yes, No };

class Prompter {
  public:
    virtual ~Prompter() = default;
    // A modal message with an OK button.
    virtual void message(const std::string& text, MessageIcon icon) = 0;
    // A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text, DefaultAnswer byDefault) = 0;
    // A Save As dialog that asks before overwriting. filter is in the
    // "Description (*.EXT)|*.ext||" form; defaultExtension without the dot.
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::string> chooseSaveFile(const std::string& filter,
                                                      const std::string& defaultExtension,
                                                      const std::string& initialName) = 0;
    // A Save As dialog for a file that is written under its name in capitals
    // (kopia.sm3 becomes KOPIA.SM3): the path to write, or nothing when
    // cancelled. A window asks before replacing that file, not the one typed.
    virtual std::optional<std::string> chooseSaveFileInCapitals(
        const std::string& filter, const std::string& defaultExtension) {
        const auto chosen = chooseSaveFile(filter, defaultExtension, std::string());
        if (!chosen) return std::nullopt;
        return withUpperCaseFileName(*chosen);
    }
};

}  // namespace dkq
