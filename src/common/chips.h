// The two-wire serial EEPROMs of the 24Cxx family, as data: how big each is, how it is
// addressed, how long it takes to write. The tool and its simulated memory read the same table,
// and the rest of the program sees a part only through a MemoryGeometry made from a ChipChoice.
//
// The device byte of all of them is 1010 x x x R/W. The three x bits carry, depending on the
// part, the levels of its address pins A2 A1 A0 (compared with the byte: several parts on one
// bus), the address bits above its word address (a 24c16's block number), or a mix of both.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/bus_speed.h"
#include "common/user_error.h"

namespace lpt {

// One part as the transactions need it.
struct MemoryGeometry {
    int size;                 // bytes
    int pageSize;             // bytes one page write takes (a page wraps onto itself)
    int addressBytes;         // word address bytes after the device byte, most significant first
    std::uint8_t deviceType;  // the device byte with every address bit 0, R/W 0 (write), the
                              // compared pins' levels in place
    std::uint8_t highBits;    // the bits of the device byte that carry the address bits above
                              // the word address
    int highShift = 1;        // the device-byte bit that carries the lowest of them
    // The longest write cycle of the datasheet: after the stop that ends a write the memory
    // acknowledges nothing for up to this long.
    std::chrono::nanoseconds writeCycle = std::chrono::milliseconds(5);

    // Bytes one device byte reaches through its word address (the whole memory when smaller).
    constexpr int BlockSize() const {
        const int reach = 1 << (8 * addressBytes);
        return size < reach ? size : reach;
    }
    constexpr int Blocks() const { return size / BlockSize(); }
    constexpr int Pages() const { return size / pageSize; }
    // The device byte (R/W 0) of the block that holds `address`.
    constexpr std::uint8_t DeviceByte(int address) const {
        return static_cast<std::uint8_t>(
            deviceType | (((address >> (8 * addressBytes)) << highShift) & highBits));
    }
    // How long a memory may refuse its address after a write before the page is given up:
    // twenty times its write cycle. Old and worn parts run well past the datasheet; a healthy
    // memory is not slowed by the margin, since polling ends at its acknowledge.
    constexpr std::chrono::nanoseconds WriteCycleLimit() const { return 20 * writeCycle; }
    // Digits an address of this memory takes in hexadecimal: 3 for 2 KB, 5 for 128 KB.
    constexpr int AddressDigits() const {
        int digits = 1;
        for (int top = size - 1; top > 0xF; top >>= 4) ++digits;
        return digits;
    }

    bool operator==(const MemoryGeometry&) const = default;
};

// The 2 KB memory the buttons are written for: eight blocks of 256 bytes, device bytes 1010 b2
// b1 b0 R/W, a one-byte word address, 16-byte pages.
inline constexpr MemoryGeometry k24c16{2048, 16, 1, 0xA0, 0x0E, 1};

// One entry of the table.
struct Chip {
    const char* name;        // "24c16", as the user types it (any case)
    const char* otherNames;  // further names the same part goes by, space-separated
    int size;
    int pageSize;
    int addressBytes;
    std::uint8_t highBits;   // see MemoryGeometry
    int highShift;
    std::uint8_t pinBits;    // the device-byte bits compared with the pins: A0 in bit 1, A1 in
                             // bit 2, A2 in bit 3, where the part compares them
    int pinsTiedHigh;        // pins (A2 = 4, A1 = 2, A0 = 1) the part needs high to answer at all
    std::chrono::nanoseconds writeCycle;  // the datasheet's longest write cycle
    BusSpeed fastest;                     // the fastest bus mode the datasheet gives

    // Whether the part compares any address pin with the device byte.
    bool ComparesPins() const { return pinBits != 0; }
    // "a10..a8 in bits 3..1", "a16 in bit 3", or "none".
    std::string HighBitsText() const;
    // "A2..A0 (bits 3..1)", "A1..A0 (bits 2..1)", or "none".
    std::string PinsText() const;
};

// The whole table, smallest part first.
std::span<const Chip> Chips();
// By name or other name, in any case; null when there is none.
const Chip* FindChip(std::string_view name);
// The 24c16.
const Chip& DefaultChip();
// "24c01, 24c02, ..., 24cm02": every name, for messages.
std::string ChipNames();

// The part the user chose, with what the datasheets leave to the board: the page size (makers
// differ) and the levels of the address pins.
struct ChipChoice {
    const Chip* chip = &DefaultChip();
    int pageSize = 0;  // 0: the chip's own
    int pins = -1;     // the A2 A1 A0 levels (A2 = 4); -1: all low, or A2 high where the part
                       // needs it

    const Chip& Part() const { return *chip; }
    int PageSize() const { return pageSize > 0 ? pageSize : chip->pageSize; }
    int Pins() const { return pins >= 0 ? pins : chip->pinsTiedHigh; }
    MemoryGeometry Geometry() const;
    // The part's name, with the page size and the pins where they were chosen:
    // "24c02", "24c02 (page 16, pins 3)".
    std::string Describe() const;

    bool operator==(const ChipChoice&) const = default;
};

// A choice that cannot be made: an unknown name, pins outside 0-7, a page size that is not a
// power of two up to 256 and the part's size, the A2 pin low on a part that needs it high.
class ChipChoiceError : public UserError {
public:
    ChipChoiceError(const Wording& cause, const Wording& remedy);
};

// Checks and makes the choice. Throws ChipChoiceError.
ChipChoice ChooseChip(std::string_view name, std::optional<int> pageSize = {},
                      std::optional<int> pins = {});

}  // namespace lpt
