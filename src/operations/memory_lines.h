// What a memory's lines run through, in the words the memory errors use: "check the wiring of
// pins 2, 15, 16" on a parallel port, the adapter's SDA and SCL on a kernel adapter.
#pragma once

#include <string>

#include "bus/cable.h"
#include "common/user_error.h"

namespace lpt {

struct MemoryLines {
    // What "the wiring of ..." names, in both languages; the Russian in the genitive:
    // {"pins 2, 15, 16", "выводов 2, 15, 16"}.
    Wording lines;

    // The cable's SDA and SCL pins.
    MemoryLines(const Cable& cable)  // NOLINT: a cable names its wiring
        : lines{"pins " + CablePins(cable), "выводов " + CablePins(cable)} {}
    explicit MemoryLines(Wording text) : lines(std::move(text)) {}
};

}  // namespace lpt
