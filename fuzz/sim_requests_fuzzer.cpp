// The simulator's request handling: characters received on a line (frames,
// text commands of the record memory, noise) go through the session, the bus
// of three modules and the record memory; whatever comes in, the answers stay
// within the session's queue and leave in order.
#include "fuzz/fuzz_check.h"
#include "sim/bus.h"
#include "sim/record_memory.h"
#include "sim/session.h"

using namespace dkq::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dkq::fuzz::Input input(data, size);
    const bool woken = input.take() & 1;
    const TimePoint start{};
    RecordMemorySettings memory;
    memory.recordCount = 300;
    RecordMemory recordMemory(memory, start);
    if (woken) recordMemory.wakeUp();
    BusSettings busSettings;
    busSettings.addresses = {1, 2, 3};
    busSettings.deterministic = true;
    // Damaged answers, the record memory's text command answers among them.
    busSettings.faults = {{FaultKind::BadLrc, 1, 0.5},
                          {FaultKind::Short, 0, 0.3},
                          {FaultKind::Garbage, 1, 0.3}};
    Bus bus(busSettings, recordMemory, start);
    Session session(bus, SessionSettings{});

    TimePoint now = start;
    const std::string_view chars = input.text();
    for (std::size_t at = 0; at < chars.size(); at += 64) {
        now += std::chrono::milliseconds(10);
        session.receive(chars.substr(at, 64), now);
        const auto due = session.due(now + std::chrono::hours(1));
        dkq::fuzz::check(due.chars.size() <= Session::MaxQueuedCharacters, "bounded answers");
        session.sent(due.chars.size());
    }
    return 0;
}
