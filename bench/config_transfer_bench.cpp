// Configuration transfer benchmark: "Odczytaj CFG z modułu" (14 blocks of 16
// registers) and "Wpisz CFG do modułu" (4 registers, then 29 blocks of 8)
// over a pseudo-terminal paced at 9600 baud by the simulator. Each time is
// divided by the wire time of its frames, request and answer characters at
// 10 bits each (goal: within 1.10).
// Usage: config_transfer_bench [DKQSIM]  (default: $DKQSIM)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "config/config_transfer.h"
#include "link/modbus_ascii.h"
#include "tests/support/sim_process.h"

namespace {

using dkq::modbus::frameTextLength;

constexpr int Baud = 9600;

struct NoProgress : dkq::TransferProgress {
    void setRange(int) override {}
    void setPosition(int) override {}
};

int readCharacters() {
    const int answer = 3 + 2 * dkq::ReadBlockRegisters;
    return dkq::ReadBlockCount * (frameTextLength(6) + frameTextLength(answer));
}

int writeCharacters() {
    const int first = frameTextLength(6 + 2 * dkq::FirstWriteRegisters) + frameTextLength(6);
    const int block = frameTextLength(6 + 2 * dkq::WriteBlockRegisters) + frameTextLength(6);
    return first + (dkq::WriteBlockCount - 1) * block;
}

void measure(const char* name, int characters, const std::function<dkq::TransferResult()>& run) {
    const auto start = std::chrono::steady_clock::now();
    const dkq::TransferResult result = run();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double wire = characters * 10.0 / Baud;
    std::printf(
        "%s at %d baud: %.3f s, wire time %.3f s (%d characters), ratio %.3f (goal <= 1.10)%s\n",
        name, Baud, seconds, wire, characters, seconds / wire, result.ok() ? "" : ", FAILED");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) setenv("DKQSIM", argv[1], 1);
    if (std::getenv("DKQSIM") == nullptr) {
        std::fprintf(stderr, "usage: config_transfer_bench [path of dkqsim]  (or set DKQSIM)\n");
        return 64;
    }
    const std::string linkPath = "/tmp/dkq-config-bench-" + std::to_string(getpid());
    dkq::test::SimProcess sim(
        {"--pty", linkPath, "--deterministic", "--baud", std::to_string(Baud)});
    dkq::ModuleLink link;
    link.ComDevice = [&](int) { return sim.ptyPath(); };
    if (link.open_com(1, Baud) != dkq::open::Ok) return 1;
    dkq::ConfigImage image{};
    NoProgress progress;
    measure("(a) config-read", readCharacters(),
            [&] { return dkq::ReadConfigFromModule(link, 1, image, progress); });
    measure("(b) config-write", writeCharacters(),
            [&] { return dkq::WriteConfigToModule(link, 1, image, progress); });
    link.close_com();
    return 0;
}
