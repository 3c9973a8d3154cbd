// Splits received characters into lines at CR or LF, in bounded memory.
#pragma once

#include <optional>
#include <string>

namespace dkq::sim {

class LineSplitter {
  public:
    // Longer lines are dropped whole: their characters up to the next line end.
    static constexpr size_t MaxLineLength = 1024;

    // Takes one character; returns the line it completes, if any. Empty lines
    // are never returned.
    std::optional<std::string> take(char c);

  private:
    std::string line_;
    bool overlong_ = false;
};

}  // namespace dkq::sim
