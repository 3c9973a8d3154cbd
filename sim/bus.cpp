#include "sim/bus.h"

#include <array>

#include "link/modbus_ascii.h"
#include "link/result_codes.h"

namespace dkq::sim {
namespace {

constexpr char TextCommandStart = '*';
constexpr size_t MinRequestBytes = 2;  // address and function code

unsigned noiseSeed(unsigned seed, int address) {
    return seed ^ (static_cast<unsigned>(address) * 0x9E3779B9u);
}

}  // namespace

Bus::Bus(const BusSettings& settings, TextCommandPeer& recordMemory, TimePoint start)
    : muted_(settings.muted.begin(), settings.muted.end()),
      exceptionFunctions_(settings.exceptionFunctions.begin(), settings.exceptionFunctions.end()),
      faults_(settings.seed),
      recordMemory_(recordMemory) {
    for (int address : settings.addresses)
        modules_.try_emplace(address, address, settings.deterministic,
                             noiseSeed(settings.seed, address), start);
    for (const auto& fault : settings.faults) faults_.add(fault);
}

// A text command may itself contain ':' (the clock command does), so it is
// recognised first.
Reply Bus::takeLine(std::string_view line, TimePoint now) {
    if (!line.empty() && line.front() == TextCommandStart) return takeTextCommand(line);
    const auto colon = line.rfind(':');
    if (colon == std::string_view::npos) return {};
    std::array<std::uint8_t, modbus::MaxFrameBytes + 1> bytes{};
    const auto decoded = modbus::decodeFrame(line.substr(colon), 0, bytes);
    if (decoded.code != tx::Ok) return {};
    const auto requestBytes = static_cast<size_t>(decoded.byteCount - 1);  // LRC dropped
    if (requestBytes < MinRequestBytes) return {};
    return takeFrame(std::span(bytes).first(requestBytes), now);
}

Reply Bus::takeFrame(std::span<const std::uint8_t> request, TimePoint now) {
    const int address = request[0];
    const int function = request[1];
    if (address == BroadcastAddress) {
        if (function == fc::WakeUp)
            recordMemory_.wakeUp();
        else if (!exceptionFunctions_.contains(function))
            broadcast(request, now);
        return {};
    }
    Module* target = module(address);
    if (target == nullptr) return {};
    Frame answer;
    if (exceptionFunctions_.contains(function)) {
        answer = exceptionAnswer(request[0], request[1], exception::IllegalFunction);
    } else {
        target->advance(now);
        answer = target->answer(request);
    }
    if (muted_.contains(address)) return {};
    return faults_.deliver(address, answer);
}

// As a muted module still carries out a write, the command is carried out
// and only its answer is held back or damaged.
Reply Bus::takeTextCommand(std::string_view line) {
    std::string answer = recordMemory_.answerTextCommand(line);
    if (answer.empty() || modules_.empty()) return {std::move(answer)};
    const int owner = modules_.begin()->first;
    if (muted_.contains(owner)) return {};
    return faults_.deliverRecordAnswer(owner, std::move(answer));
}

void Bus::broadcast(std::span<const std::uint8_t> request, TimePoint now) {
    for (auto& [address, module] : modules_) {
        module.advance(now);
        module.answer(request);
    }
}

Module* Bus::module(int address) {
    const auto found = modules_.find(address);
    return found == modules_.end() ? nullptr : &found->second;
}

bool Bus::setMuted(int address, bool muted) {
    if (module(address) == nullptr) return false;
    if (muted)
        muted_.insert(address);
    else
        muted_.erase(address);
    return true;
}

bool Bus::takeConfigChanged() {
    bool changed = false;
    for (auto& [address, module] : modules_) changed |= module.takeConfigChanged();
    return changed;
}

}  // namespace dkq::sim
