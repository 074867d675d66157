// The hexadecimal forms the tool shows, in one place: upper-case digits, no prefix unless an
// address of the memory is meant.
#pragma once

#include <string>

namespace lpt {

// No leading zeros, no prefix: 0 -> "0", 0x0A -> "A", 0xA0 -> "A0", 0x800 -> "800". The grid's
// cells, its labels and the scan's list use this form.
std::string HexForm(long value);

// A byte as two digits: 0x0A -> "0A", 0xFF -> "FF". Only the low eight bits are shown.
std::string ByteHex(int value);

// An address of the memory as messages and dumps show it, in `digits` digits or as many as it
// takes: 0x40 -> "0x040", 0x1F000 -> "0x1F000"; (0x40, 5) -> "0x00040".
std::string AddressText(int address, int digits = 3);

}  // namespace lpt
