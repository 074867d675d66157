#include "bus/port_choice.h"

#include "bus/i2c_adapter.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace lpt {

namespace {

// The whole of `digits` as a positive number in that base; nothing for an empty text, a sign,
// any other character or a value that does not fit.
std::optional<long> WholeNumber(std::string_view digits, int base) {
    if (digits.empty()) return {};
    long value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc{} || end != digits.data() + digits.size() || value <= 0) return {};
    return value;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "parport3" -> 3 (the number written in decimal digits only, so "parport+3" is refused).
std::optional<long> ParportNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "parport";
    if (name.substr(0, kPrefix.size()) != kPrefix) return {};
    const std::string_view digits = name.substr(kPrefix.size());
    if (digits.empty()) return {};
    for (char c : digits) {
        if (!IsDigit(c)) return {};
    }
    long number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc{} || end != digits.data() + digits.size()) return {};
    return number;
}

}  // namespace

std::string PortChoice::Text() const {
    if (kind == Kind::Device) return device;
    if (kind == Kind::Adapter) return "/dev/i2c-" + std::to_string(adapter);
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, base, 16);
    (void)ec;
    return "0x" + std::string(buf, end);
}

std::optional<PortChoice> ParsePortChoice(const std::string& text) {
    const std::string_view t = text;
    if (t.empty()) return PortChoice{};
    if (const std::optional<int> number = AdapterNumber(text)) {
        return PortChoice{PortChoice::Kind::Adapter, {}, 0, *number};
    }

    constexpr std::string_view kDev = "/dev/";
    const std::string_view name = t.substr(0, kDev.size()) == kDev ? t.substr(kDev.size()) : t;
    if (const auto number = ParportNumber(name)) {
        return PortChoice{PortChoice::Kind::Device, "/dev/parport" + std::to_string(*number), 0x378};
    }

    std::optional<long> base;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = WholeNumber(t.substr(2), 16);
    } else if (IsDigit(t[0])) {
        base = WholeNumber(t, 10);
    }
    if (!base) return {};
    return PortChoice{PortChoice::Kind::Base, {}, *base};
}

}  // namespace lpt
