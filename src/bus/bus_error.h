// The bus or the memory on it failed: SDA or SCL stuck low, a memory that does not answer or
// refuses a byte. The cause and the remedy in both languages name the fault and what to look at.
#pragma once

#include "bus/cable.h"
#include "common/user_error.h"

namespace lpt {

class BusError : public UserError {
public:
    BusError(const Wording& cause, const Wording& remedy)
        : UserError(ErrorKind::Bus, cause, remedy) {}
    // `error` with `more` said after it.
    BusError(const BusError& error, const Wording& more) : UserError(error, more) {}
};

// SCL reads low with the bus at rest and SCL released: nothing was sent.
BusError SclStuckLow(const Cable& cable);
// After the driver raised SCL in a transaction, SCL stayed low for more than the limit.
BusError SclHeldLow(const Cable& cable);

}  // namespace lpt
