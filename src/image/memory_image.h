// The contents of the 2 KB memory as a file gives them: 2048 bytes, addresses 0x000..0x7FF,
// and which of them the file actually said something about.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

namespace lpt {

namespace detail {
// What an erased memory holds: every bit set.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> Erased() {
    std::array<std::uint8_t, N> a{};
    a.fill(0xFF);
    return a;
}
}  // namespace detail

struct MemoryImage {
    static constexpr int kSize = 2048;
    // 0xFF (erased) where the file said nothing.
    std::array<std::uint8_t, kSize> bytes = detail::Erased<kSize>();
    std::bitset<kSize> covered;  // addresses the file actually gave

    // An image in which every address is given.
    static MemoryImage Full(const std::array<std::uint8_t, kSize>& bytes);
    bool Complete() const { return covered.all(); }
    int CoveredCount() const;
};

}  // namespace lpt
