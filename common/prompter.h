// How a program core talks to the user without knowing about windows: the Qt
// layer implements this with message boxes and file dialogs, tests with a
// scripted fake.
#pragma once

#include <optional>
#include <string>

namespace dkq {

enum class MessageIcon { None, Information, Exclamation, Error };

class Prompter {
  public:
    virtual ~Prompter() = default;
    // A modal message with an OK button.
    virtual void message(const std::string& text, MessageIcon icon) = 0;
    // A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // A Save As dialog that asks before overwriting. filter is in the
    // "Description (*.EXT)|*.ext||" form; defaultExtension without the dot.
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::string> chooseSaveFile(const std::string& filter,
                                                      const std::string& defaultExtension,
                                                      const std::string& initialName) = 0;
};

}  // namespace dkq
