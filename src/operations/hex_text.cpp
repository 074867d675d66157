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

std::string AddressText(int address, int digits) {
    std::string text = HexForm(address);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
    return "0x" + text;
}

}  // namespace lpt
