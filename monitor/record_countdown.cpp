#include "monitor/record_countdown.h"

namespace dkq {

void RecordCountdown::restart() {
    countdown_ = 0;
    scheduled_ = 0;
    backingOff_ = false;
}

void RecordCountdown::countTick() {
    if (countdown_ != 0) --countdown_;
    if (scheduled_ > 0) --scheduled_;
}

void RecordCountdown::recorded(int period) {
    countdown_ = period;
    scheduled_ = period;
}

void RecordCountdown::backOff(int ticks) {
    countdown_ = ticks;
    backingOff_ = true;
}

void RecordCountdown::moduleAnswered() {
    if (!backingOff_) return;
    backingOff_ = false;
    countdown_ = scheduled_;
}

}  // namespace dkq
