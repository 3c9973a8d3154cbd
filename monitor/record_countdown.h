// When the monitors record next, counted in handled ticks. A lost connection
// pushes the countdown back, to spare a dead link and to space out the
// reconnects; the period's own schedule runs on beneath it, so the first tick
// that reads a module again records at once when a record fell due meanwhile
// and otherwise keeps to the period.
#pragma once

namespace dkq {

class RecordCountdown {
  public:
    // Ticks until the next record (or, while backing off, the next attempt).
    int value() const { return countdown_; }
    bool due() const { return countdown_ <= 0; }

    // START: a record at the first tick.
    void restart();
    // One handled tick has passed.
    void countTick();
    // A record was written: the next one a period later.
    void recorded(int period);
    // The connection failed: nothing is due for the given ticks.
    void backOff(int ticks);
    // A module answered: a back-off ends, the period's schedule holds again.
    void moduleAnswered();

  private:
    int countdown_ = 0;
    int scheduled_ = 0;  // ticks to the next record by the period alone
    bool backingOff_ = false;
};

}  // namespace dkq
