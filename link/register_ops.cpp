// The module's functions, one operation each: build the request, run the
// exchange, check the answer's header or echo, unpack the data.
#include <algorithm>
#include <vector>

#include "link/function_codes.h"
#include "link/log_text.h"
#include "link/module_link.h"

namespace dkq {
namespace {

constexpr int kEchoHeaderBytes = 6;

std::uint8_t low(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t high(int value) {
    return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

// Address, function, then a 16-bit number pair, high bytes first.
std::vector<std::uint8_t> header(int addr, std::uint8_t function, int first, int second) {
    return {low(addr), function, high(first), low(first), high(second), low(second)};
}

}  // namespace

int ModuleLink::writeAndCompareEcho(std::span<const std::uint8_t> request, int expectedLen,
                                    int echoBytes) {
    AnswerFrame answer{};
    int length = expectedLen;
    const int code = Transact(request, answer, length);
    if (request[0] == 0) return tx::Ok;  // a broadcast has no answer to check
    if (code != tx::Ok) return code;
    const bool echoed = std::equal(request.begin(), request.begin() + echoBytes, answer.begin());
    return echoed ? tx::Ok : tx::BadLength;
}

int ModuleLink::WriteCoil(int addr, int coil, bool on) {
    const auto request = header(addr, fc::WriteCoil, coil, on ? 0xFF00 : 0x0000);
    return writeAndCompareEcho(request, 6, 6);
}

int ModuleLink::WriteRegister(int addr, int reg, int value) {
    const auto request = header(addr, fc::WriteRegister, reg, value);
    return writeAndCompareEcho(request, 6, 6);
}

int ModuleLink::ClearCounters(int addr, int mask) {
    const std::vector<std::uint8_t> request{low(addr), fc::ClearCounters, low(mask), low(mask)};
    return writeAndCompareEcho(request, 4, 4);
}

int ModuleLink::WriteRegisters(int addr, int start, int count,
                               std::span<const std::int32_t> values) {
    if (count < 0 || count > MaxRegistersPerWrite || values.size() < static_cast<size_t>(count))
        return tx::BadLength;
    auto request = header(addr, fc::WriteRegisters, start, count);
    for (int i = 0; i < count; ++i) {
        request.push_back(high(values[static_cast<size_t>(i)]));
        request.push_back(low(values[static_cast<size_t>(i)]));
    }
    return writeAndCompareEcho(request, kEchoHeaderBytes, kEchoHeaderBytes);
}

int ModuleLink::WriteText(int addr, int start, int length, std::string_view text) {
    if (length < 0 || length > MaxTextPerWrite) return tx::BadLength;
    auto request = header(addr, fc::WriteText, start, length);
    for (int i = 0; i < length; ++i) {
        const auto at = static_cast<size_t>(i);
        request.push_back(at < text.size() ? static_cast<std::uint8_t>(text[at]) : 0);
    }
    if (length % 2 != 0) request.push_back(0);  // the module takes whole registers
    return writeAndCompareEcho(request, kEchoHeaderBytes, kEchoHeaderBytes);
}

int ModuleLink::readRegisters(ReadKind kind, int addr, int start, int count,
                              std::span<std::int32_t> values) {
    if (count < 0 || values.size() < static_cast<size_t>(count)) return tx::BadLength;
    const std::uint8_t function = kind == ReadKind::Holding ? fc::ReadHolding
                                  : kind == ReadKind::Input ? fc::ReadInput
                                                            : fc::ReadSigned;
    const auto request = header(addr, function, start, count);
    AnswerFrame answer{};
    int length = 2 * count + 3;
    if (const int code = Transact(request, answer, length); code != tx::Ok) return code;
    if (answer[0] != low(addr) || answer[1] != function || answer[2] != 2 * count)
        return tx::BadLength;
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<size_t>(3 + 2 * i);
        const int word = answer[at] * 256 + answer[at + 1];
        values[static_cast<size_t>(i)] =
            kind == ReadKind::Signed ? static_cast<std::int16_t>(word) : word;
    }
    return tx::Ok;
}

int ModuleLink::ReadHoldingRegisters(int addr, int start, int count,
                                     std::span<std::int32_t> values) {
    return readRegisters(ReadKind::Holding, addr, start, count, values);
}

int ModuleLink::ReadInputRegisters(int addr, int start, int count, std::span<std::int32_t> values) {
    return readRegisters(ReadKind::Input, addr, start, count, values);
}

int ModuleLink::ReadSignedRegisters(int addr, int start, int count,
                                    std::span<std::int32_t> values) {
    return readRegisters(ReadKind::Signed, addr, start, count, values);
}

int ModuleLink::readDiagnostics(std::uint8_t function, int addr, int sub,
                                std::span<std::uint8_t> block) {
    const bool first = function == fc::Diagnostics1;
    const auto request = header(addr, function, sub, 0);
    const int blockSize = static_cast<int>(block.size());
    AnswerFrame answer{};
    int length = blockSize + 3;
    if (const int code = Transact(request, answer, length); code != tx::Ok) {
        CommLog(first ? logText("ReadDiagn1 ERROR %d", code) : std::string("ReadDiagn2 ERROR"));
        return code;
    }
    if (answer[0] != low(addr) || answer[1] != function || answer[2] != blockSize)
        return tx::BadLength;
    std::copy_n(answer.begin() + 3, block.size(), block.begin());
    CommLog(first ? "ReadDiagn1 OK" : "ReadDiagn2 OK");
    return tx::Ok;
}

int ModuleLink::ReadDiagn1(int addr, int sub, Diagn1Block& block) {
    return readDiagnostics(fc::Diagnostics1, addr, sub, block);
}

int ModuleLink::ReadDiagn2(int addr, int sub, Diagn2Block& block) {
    return readDiagnostics(fc::Diagnostics2, addr, sub, block);
}

}  // namespace dkq
