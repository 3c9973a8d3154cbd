// Damage done to module answers on purpose, so every failure path of a
// client can be reached: KIND[:ADDR][@P].
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "sim/line_handler.h"

namespace dkq::sim {

enum class FaultKind { BadLrc, Garbage, Short, Silent, CloseMid, LowerHex };

struct FaultRule {
    FaultKind kind = FaultKind::Silent;
    int address = 0;           // 0 = every module
    double probability = 1.0;  // 0..1
};

std::optional<FaultRule> parseFaultRule(std::string_view text);

// Characters sent ahead of the ':' by the garbage fault.
inline constexpr std::string_view GarbagePrefix = "\x7F#?";

class FaultInjector {
  public:
    // One generator seeded once; it draws only for faults with a probability
    // strictly between 0 and 1 that concern the answering module.
    explicit FaultInjector(unsigned seed) : random_(seed) {}

    void add(const FaultRule& fault) { faults_.push_back(fault); }
    void clear() { faults_.clear(); }

    // The reply carrying the answer of module `address`, after the faults
    // that strike it this time.
    Reply deliver(int address, std::span<const std::uint8_t> answer);
    // The same for an answer of the record memory of module `address` (raw
    // bytes): bad-lrc changes its last byte (a frame's CRC), lower-hex leaves
    // it alone.
    Reply deliverRecordAnswer(int address, std::string answer);

  private:
    bool strikes(const FaultRule& fault, int address);
    Reply damage(int address, std::string text, bool modbusFrame);

    std::vector<FaultRule> faults_;
    std::mt19937 random_;
};

}  // namespace dkq::sim
