#include "operations/hex_text.h"

namespace lpt {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}  // namespace

std::string HexForm(long value) {
    if (value == 0) return "0";
    std::string s;
    unsigned long v = static_cast<unsigned long>(value);
    while (v != 0) {
        s.insert(s.begin(), kDigits[v & 0xF]);
        v >>= 4;
    }
    return s;
}

std::string ByteHex(int value) {
    return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

std::string AddressText(int address) {
    return {'0', 'x', kDigits[(address >> 8) & 0xF], kDigits[(address >> 4) & 0xF],
            kDigits[address & 0xF]};
}

}  // namespace lpt
