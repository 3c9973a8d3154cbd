// The record memory's side of the line: text commands ("*...") and the
// wake-up frame reach it through this seam; Modbus frames never do.
#pragma once

#include <string>
#include <string_view>

namespace dkq::sim {

class TextCommandPeer {
  public:
    virtual ~TextCommandPeer() = default;
    // One text command line without its line end, e.g. "*RD_0,0". Returns the
    // characters to send back (binary frames allowed), empty for no answer.
    virtual std::string answerTextCommand(std::string_view command) = 0;
    // The wake-up frame (broadcast, function 0x21) was received.
    virtual void wakeUp() = 0;
};

// A bus without record memory: text commands go unanswered.
class NoRecordMemory : public TextCommandPeer {
  public:
    std::string answerTextCommand(std::string_view) override { return {}; }
    void wakeUp() override {}
};

}  // namespace dkq::sim
