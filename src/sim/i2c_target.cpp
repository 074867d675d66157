#include "sim/i2c_target.h"

namespace lpt::sim {

// Bit timing as the target sees it. A byte is nine SCL clocks: eight data bits, MSB first, and
// the acknowledge bit. Bits are taken on the rising edge; whoever sends a bit puts it on SDA
// after the falling edge of the clock before. So the target
//   - samples a written bit on rise 1..8,
//   - decides on the acknowledge at fall 8 and holds SDA low until fall 9,
//   - when sending, puts bit 7 out at the fall that ends the previous ninth clock, bit 6 at
//     fall 1, ..., bit 0 at fall 7, lets go at fall 8 and reads the master's answer at rise 9.
// A stop always comes with SCL high, so the stop's own rising clock edge is counted in rises_
// but never completed by a fall: "at a byte boundary" means no complete clock since fall 9.

void I2CTarget::OnLines(bool scl, bool sda) {
    if (scl != scl_ && sda != sda_) {
        // Both lines moved between two reports (a device changed SDA out of turn). Targets only
        // change SDA while SCL is low, so take the SDA change at the low side of the clock edge.
        if (scl) {
            Step(scl_, sda);
            Step(scl, sda);
        } else {
            Step(scl, sda_);
            Step(scl, sda);
        }
        return;
    }
    Step(scl, sda);
}

bool I2CTarget::SdaOut() const {
    return !(drivingLow_ || forcedLow_);
}

void I2CTarget::Step(bool scl, bool sda) {
    const bool sclRose = scl && !scl_;
    const bool sclFell = !scl && scl_;
    const bool sdaRose = sda && !sda_;
    const bool sdaFell = !sda && sda_;
    scl_ = scl;
    sda_ = sda;
    if (sclRose) {
        SclRise(sda);
    } else if (sclFell) {
        SclFall();
    } else if (scl && sdaFell) {
        Start();
    } else if (scl && sdaRose) {
        Stop();
    }
    // SDA moving while SCL is low is just the next bit being set up.
}

void I2CTarget::Start() {
    const bool repeated = inTransaction_;
    inTransaction_ = true;
    state_ = State::Address;
    rises_ = 0;
    shift_ = 0;
    drivingLow_ = false;
    byteBoundary_ = false;
    OnStart(repeated);
}

void I2CTarget::Stop() {
    const bool wasInTransaction = inTransaction_;
    const bool afterAck = byteBoundary_ && rises_ <= 1 && state_ != State::Ignoring;
    state_ = State::Idle;
    inTransaction_ = false;
    rises_ = 0;
    drivingLow_ = false;
    byteBoundary_ = false;
    if (wasInTransaction) {
        OnStop(afterAck);
    }
}

void I2CTarget::SclRise(bool sda) {
    if (state_ == State::Idle || state_ == State::Ignoring) {
        return;
    }
    ++rises_;
    if (rises_ <= 8) {
        shift_ = static_cast<std::uint8_t>((shift_ << 1) | (sda ? 1 : 0));
    } else if (state_ == State::Reading) {
        masterAcked_ = !sda;
    }
}

void I2CTarget::SclFall() {
    if (state_ == State::Idle || state_ == State::Ignoring || rises_ == 0) {
        return;  // rises_ == 0: the fall that ends a start condition
    }
    if (rises_ < 8) {
        if (state_ == State::Reading) {
            drivingLow_ = ((outByte_ >> (7 - rises_)) & 1) == 0;
        }
        return;
    }
    if (rises_ == 8) {
        switch (state_) {
            case State::Address:
                readAddress_ = (shift_ & 1) != 0;
                drivingLow_ = OnAddress(shift_);
                if (!drivingLow_) {
                    state_ = State::Ignoring;  // not for us: wait for the next start or stop
                }
                break;
            case State::Writing:
                drivingLow_ = OnWrite(shift_);
                break;
            case State::Reading:
                drivingLow_ = false;  // the ninth bit is the master's
                break;
            default:
                break;
        }
        return;
    }
    // The ninth clock is over.
    rises_ = 0;
    shift_ = 0;
    drivingLow_ = false;
    byteBoundary_ = true;
    if (state_ == State::Address) {
        state_ = readAddress_ ? State::Reading : State::Writing;
        if (state_ == State::Reading) {
            LoadNextByte();
        }
    } else if (state_ == State::Reading) {
        if (masterAcked_) {
            LoadNextByte();
        } else {
            state_ = State::Ignoring;  // the master has had enough
        }
    }
}

void I2CTarget::LoadNextByte() {
    outByte_ = OnRead();
    drivingLow_ = (outByte_ & 0x80) == 0;
}

}  // namespace lpt::sim
