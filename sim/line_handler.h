// What a received line turns into: the characters that go back on the line.
#pragma once

#include <string>
#include <string_view>

#include "sim/sim_time.h"

namespace dkq::sim {

struct Reply {
    std::string text;         // characters to send; empty = stay silent
    bool closeAfter = false;  // close the connection once text is out (TCP only)
};

class LineHandler {
  public:
    virtual ~LineHandler() = default;
    // One line without its line end; `now` is when it ended on the line.
    virtual Reply takeLine(std::string_view line, TimePoint now) = 0;
};

}  // namespace dkq::sim
