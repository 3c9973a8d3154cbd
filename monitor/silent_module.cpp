// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/silent_module.h"

namespace dkq {

bool SilentModuleSchedule::readNow() {
    if (!silent()) return true;
    if (++chancesPassed_ < SilentReadEvery) return false;
    chancesPassed_ = 0;
    return true;
}

bool SilentModuleSchedule::readAnswered(bool answered) {
    const bool cameBack = answered && silent();
    failuresInRow_ = answered ? 0 : failuresInRow_ + 1;
    if (answered) chancesPassed_ = 0;
    return cameBack;
}

void SilentModuleSchedule::reset() {
    failuresInRow_ = 0;
    chancesPassed_ = 0;
}

}  // namespace dkq
