// Reading a record of port calls back as I2C traffic, and measuring its timing.
//
// Notation of a decoded trace: S start, Sr repeated start, P stop, and each byte as two upper-case
// hex digits followed by its ninth bit: '+' SDA low (acknowledge), '-' SDA high (no acknowledge),
// '.' no ninth clock of its own: the byte's eighth bit was followed straight by a stop (the stop's
// rising clock edge, taken with SDA low, is then the only clock after the byte).
// Example: "S A6+ 00+ Sr A7+ 3F+ 12. P".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bus/port.h"
#include "sim/sim_port.h"

namespace lpt::sim {

struct DecodedTrace {
    // One entry per transaction, from its start to its stop: "S A0+ 00+ Sr A1+ ... P".
    std::vector<std::string> transactions;
    // Protocol faults: SDA changing while SCL is high in the middle of a byte or of its
    // acknowledge clock (a start or stop where none belongs), bits clocked outside a transaction.
    std::vector<std::string> faults;
    // All transactions joined by single spaces.
    std::string Text() const;
};

DecodedTrace DecodeTrace(const std::vector<PortCall>& calls);

// The shortest time seen between the line changes that each I2C timing minimum governs.
// Only real changes of the wire levels count; an empty optional means the trace had no such pair.
struct TimingMinima {
    std::optional<TimeNs> clockPeriod;  // SCL rise to next SCL rise
    std::optional<TimeNs> sclLow;       // SCL fall to SCL rise
    std::optional<TimeNs> sclHigh;      // SCL rise to SCL fall
    std::optional<TimeNs> startHold;    // SDA fall with SCL high (start) to the next SCL fall
    std::optional<TimeNs> startSetup;   // SCL rise to SDA fall with SCL high, for a repeated start
    std::optional<TimeNs> stopSetup;    // SCL rise to SDA rise with SCL high (stop)
    std::optional<TimeNs> busFree;      // stop to the next start
    std::optional<TimeNs> dataSetup;    // SDA change with SCL low to the next SCL rise

    // One line per minimum that is below the given limit ("sclLow 4.2 us < 4.7 us").
    std::vector<std::string> Violations(const lpt::LineTiming& limits) const;
    // A readable table of the minima, one per line.
    std::string Report() const;
};

TimingMinima CheckTiming(const std::vector<PortCall>& calls);

}  // namespace lpt::sim
