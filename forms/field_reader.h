// Taking a dialog's edit fields into values on OK, with the range checks and
// prompts of the platform's standard dialog validation. The first field that
// fails stops the taking: its problem names the field to focus and the
// prompt to show, and the dialog copies nothing back.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dkq {

struct FieldProblem {
    int field = 0;  // the dialog's own number of the offending field
    std::string prompt;
};

class FieldReader {
  public:
    // An integer in min..max ("Please enter an integer." for text that is no
    // 32-bit integer, "Please enter an integer between %1 and %2." out of
    // range).
    int integer(int field, std::string_view text, int min, int max);
    // A decimal number, with a decimal comma or point ("Please enter a
    // number." for text that is none).
    float number(int field, std::string_view text);
    // Text of at most maxChars characters ("Please enter no more than %1
    // characters.").
    std::string text(int field, std::string_view text, std::size_t maxChars);

    bool ok() const { return !problem_; }
    const std::optional<FieldProblem>& problem() const { return problem_; }

  private:
    void fail(int field, std::string prompt);

    std::optional<FieldProblem> problem_;
};

// A float as the dialogs show it: up to six significant digits ("%g").
std::string displayNumber(float value);

}  // namespace dkq
