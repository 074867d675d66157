// A device that stretches the clock: after each byte on the bus (the falling edge of the ninth
// clock since a start or since the last byte) it holds SCL low for a set time on its clock, the
// way a slow target makes the master wait. Or it holds SCL low for good (a line stuck low).
#pragma once

#include "bus/clock.h"
#include "sim/sim_port.h"

namespace lpt::sim {

class SclStretcher : public BusDevice {
public:
    SclStretcher(ClockFn clock, TimeNs hold) : clock_(std::move(clock)), hold_(hold) {}

    void OnLines(bool scl, bool sda) override;
    bool SdaOut() const override { return true; }
    bool SclOut() const override;

    // SCL held low from now on, whatever the bus does, or let go again.
    void HoldLow(bool on) { stuck_ = on; }
    // How many times it stretched the clock.
    int Stretches() const { return stretches_; }

private:
    ClockFn clock_;
    TimeNs hold_;
    bool stuck_ = false;
    bool scl_ = true;
    bool sda_ = true;
    int rises_ = 0;
    int stretches_ = 0;
    mutable bool holding_ = false;
    TimeNs until_{};
};

}  // namespace lpt::sim
