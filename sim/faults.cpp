#include "sim/faults.h"

#include <array>
#include <bitset>
#include <cctype>
#include <charconv>
#include <string>
#include <utility>

#include "link/modbus_ascii.h"
#include "sim/module.h"
#include "sim/numbers.h"

namespace dkq::sim {
namespace {

constexpr std::array<std::pair<std::string_view, FaultKind>, 6> KindNames{{
    {"bad-lrc", FaultKind::BadLrc},
    {"garbage", FaultKind::Garbage},
    {"short", FaultKind::Short},
    {"silent", FaultKind::Silent},
    {"close-mid", FaultKind::CloseMid},
    {"lower-hex", FaultKind::LowerHex},
}};

std::optional<FaultKind> kindNamed(std::string_view name) {
    for (const auto& [text, kind] : KindNames)
        if (text == name) return kind;
    return std::nullopt;
}

std::optional<double> parseProbability(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= 0 && value <= 1))
        return std::nullopt;
    return value;
}

// Changes the last LRC digit to another hex digit: the 8-bit sum is then off
// by 1..15, so no reader can accept the frame.
void spoilLrc(std::string& text) {
    char& digit = text[text.size() - 3];  // before CR LF
    digit = digit == '0' ? '1' : '0';
}

void lowerCase(std::string& text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

size_t bit(FaultKind kind) {
    return static_cast<size_t>(kind);
}

}  // namespace

std::optional<FaultRule> parseFaultRule(std::string_view text) {
    FaultRule fault;
    if (const auto at = text.find('@'); at != std::string_view::npos) {
        const auto probability = parseProbability(text.substr(at + 1));
        if (!probability) return std::nullopt;
        fault.probability = *probability;
        text = text.substr(0, at);
    }
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        const auto address =
            parseNumberIn(text.substr(colon + 1), FirstModuleAddress, LastModuleAddress);
        if (!address) return std::nullopt;
        fault.address = *address;
        text = text.substr(0, colon);
    }
    const auto kind = kindNamed(text);
    if (!kind) return std::nullopt;
    fault.kind = *kind;
    return fault;
}

bool FaultInjector::strikes(const FaultRule& fault, int address) {
    if (fault.address != 0 && fault.address != address) return false;
    if (fault.probability <= 0) return false;
    if (fault.probability >= 1) return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < fault.probability;
}

Reply FaultInjector::deliver(int address, std::span<const std::uint8_t> answer) {
    return damage(address, modbus::encodeFrame(answer), true);
}

Reply FaultInjector::deliverRecordAnswer(int address, std::string answer) {
    return damage(address, std::move(answer), false);
}

Reply FaultInjector::damage(int address, std::string text, bool modbusFrame) {
    std::bitset<KindNames.size()> struck;
    for (const auto& fault : faults_)
        if (strikes(fault, address)) struck.set(bit(fault.kind));

    if (struck[bit(FaultKind::Silent)]) return {};
    Reply reply{std::move(text)};
    if (struck[bit(FaultKind::BadLrc)]) {
        if (modbusFrame)
            spoilLrc(reply.text);
        else
            reply.text.back() = static_cast<char>(~reply.text.back());
    }
    if (struck[bit(FaultKind::LowerHex)] && modbusFrame) lowerCase(reply.text);
    if (struck[bit(FaultKind::Short)] || struck[bit(FaultKind::CloseMid)])
        reply.text.resize(reply.text.size() / 2);
    reply.closeAfter = struck[bit(FaultKind::CloseMid)];
    if (struck[bit(FaultKind::Garbage)]) reply.text.insert(0, GarbagePrefix);
    return reply;
}

}  // namespace dkq::sim
