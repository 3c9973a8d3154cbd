// SPDX-License-Identifier: GPL-3.0-or-later
// When the monitors read a module that has stopped answering. Every read of
// a silent module waits out the whole answer time-out, which one tick cannot
// afford for the modules that answer: after three failed reads in a row the
// module is read only at every tenth chance, until it answers again.
#pragma once

namespace dkq {

inline constexpr int SilentAfterFailures = 3;
inline constexpr int SilentReadEvery = 10;

class SilentModuleSchedule {
  public:
    // Whether to read at this chance; a chance passed over is counted.
    bool readNow();
    // The outcome of a read made. True when the module answered after it had
    // been silent.
    bool readAnswered(bool answered);
    bool silent() const { return failuresInRow_ >= SilentAfterFailures; }
    // START, or another module to read back: read at every chance again.
    void reset();

  private:
    int failuresInRow_ = 0;
    int chancesPassed_ = 0;
};

}  // namespace dkq
