#include "sim/scl_stretcher.h"

namespace lpt::sim {

void SclStretcher::OnLines(bool scl, bool sda) {
    if (scl && scl_ && sda != sda_ && !sda) rises_ = 0;  // a start: the first byte begins
    if (scl && !scl_) ++rises_;
    if (!scl && scl_ && rises_ == 9) {
        rises_ = 0;
        holding_ = true;
        until_ = clock_() + hold_;
        ++stretches_;
    }
    scl_ = scl;
    sda_ = sda;
}

bool SclStretcher::SclOut() const {
    if (stuck_) return false;
    if (!holding_) return true;
    if (clock_() < until_) return false;
    holding_ = false;
    return true;
}

}  // namespace lpt::sim
