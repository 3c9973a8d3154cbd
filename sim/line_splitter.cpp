#include "sim/line_splitter.h"

#include <utility>

namespace dkq::sim {

std::optional<std::string> LineSplitter::take(char c) {
    if (c == '\r' || c == '\n') {
        const bool dropped = std::exchange(overlong_, false);
        std::string line = std::exchange(line_, {});
        if (dropped || line.empty()) return std::nullopt;
        return line;
    }
    if (overlong_) return std::nullopt;
    if (line_.size() == MaxLineLength) {
        overlong_ = true;
        line_.clear();
        return std::nullopt;
    }
    line_.push_back(c);
    return std::nullopt;
}

}  // namespace dkq::sim
