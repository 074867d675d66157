#include "common/chips.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>

namespace lpt {

namespace {

using std::chrono::milliseconds;

// Device-byte bits: A0 rides in bit 1, A1 in bit 2, A2 in bit 3; address bits above the word
// address start at `highShift`. The last column is the fastest bus mode of the datasheets.
constexpr std::array kChips{
    Chip{"24c01", "", 128, 8, 1, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c02", "", 256, 8, 1, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c04", "", 512, 16, 1, 0x02, 1, 0x0C, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c08", "", 1024, 16, 1, 0x06, 1, 0x08, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c16", "", 2048, 16, 1, 0x0E, 1, 0x00, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c32", "", 4096, 32, 2, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c64", "", 8192, 32, 2, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c128", "", 16384, 64, 2, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c256", "", 32768, 64, 2, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c512", "", 65536, 128, 2, 0x00, 1, 0x0E, 0, milliseconds(5), BusSpeed::Fast},
    Chip{"24c1024", "24cm01 at24cm01", 131072, 256, 2, 0x02, 1, 0x0C, 0, milliseconds(5),
         BusSpeed::FastPlus},
    // The block bit B0 sits where the others have A2; the part needs its A2 pin tied high.
    Chip{"24xx1025", "24lc1025 24aa1025 24fc1025", 131072, 128, 2, 0x08, 3, 0x06, 4,
         milliseconds(5), BusSpeed::FastPlus},
    Chip{"24cm02", "at24cm02", 262144, 256, 2, 0x06, 1, 0x08, 0, milliseconds(10),
         BusSpeed::FastPlus},
};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "a10..a8 in bits 3..1" from the lowest address bit, the lowest device-byte bit and how many.
std::string BitsText(int low, int bit, int count, char letter) {
    auto range = [count](char c, int from) {
        const std::string first = c + std::to_string(from + count - 1);
        return count == 1 ? first : first + ".." + c + std::to_string(from);
    };
    std::string bits = count == 1 ? "bit " + std::to_string(bit)
                                  : "bits " + std::to_string(bit + count - 1) + ".." +
                                        std::to_string(bit);
    return range(letter, low) + (letter == 'a' ? " in " + bits : " (" + bits + ")");
}

}  // namespace

std::string Chip::HighBitsText() const {
    if (highBits == 0) return "none";
    return BitsText(8 * addressBytes, highShift, std::popcount(highBits), 'a');
}

std::string Chip::PinsText() const {
    if (pinBits == 0) return "none";
    const int lowBit = std::countr_zero(pinBits);
    return BitsText(lowBit - 1, lowBit, std::popcount(pinBits), 'A');
}

std::span<const Chip> Chips() { return kChips; }

const Chip* FindChip(std::string_view name) {
    for (const Chip& chip : kChips) {
        if (SameName(name, chip.name)) return &chip;
        std::string_view others = chip.otherNames;
        while (!others.empty()) {
            const auto space = others.find(' ');
            if (SameName(name, others.substr(0, space))) return &chip;
            others = space == std::string_view::npos ? "" : others.substr(space + 1);
        }
    }
    return nullptr;
}

const Chip& DefaultChip() { return *FindChip("24c16"); }

std::string ChipNames() {
    std::string names;
    for (const Chip& chip : kChips) names += (names.empty() ? "" : ", ") + std::string(chip.name);
    return names;
}

MemoryGeometry ChipChoice::Geometry() const {
    const auto pinLevels = static_cast<std::uint8_t>((Pins() << 1) & chip->pinBits);
    return {chip->size,     PageSize(),      chip->addressBytes,
            static_cast<std::uint8_t>(0xA0 | pinLevels),
            chip->highBits, chip->highShift, chip->writeCycle};
}

std::string ChipChoice::Describe() const {
    std::string more;
    if (pageSize > 0 && pageSize != chip->pageSize) more = "page " + std::to_string(pageSize);
    if (pins >= 0 && pins != chip->pinsTiedHigh)
        more += (more.empty() ? "" : ", ") + std::string("pins ") + std::to_string(pins);
    return std::string(chip->name) + (more.empty() ? "" : " (" + more + ")");
}

ChipChoiceError::ChipChoiceError(const Wording& cause, const Wording& remedy)
    : UserError(ErrorKind::Usage, cause, remedy, Layout::OneLine) {}

ChipChoice ChooseChip(std::string_view name, std::optional<int> pageSize,
                      std::optional<int> pins) {
    const Chip* chip = FindChip(name);
    const std::string quoted = "\"" + std::string(name) + "\"";
    if (!chip)
        throw ChipChoiceError(
            {"unknown chip " + quoted, "неизвестная микросхема «" + std::string(name) + "»"},
            {"the known chips are " + ChipNames(), "известны: " + ChipNames()});
    ChipChoice choice{chip};
    if (pageSize) {
        const int page = *pageSize;
        if (page < 1 || page > 256 || page > chip->size || !std::has_single_bit(
                                                               static_cast<unsigned>(page)))
            throw ChipChoiceError(
                {"page size " + std::to_string(page) + " is not a power of two up to 256 and " +
                     std::to_string(chip->size) + " (the size of the " + chip->name + ")",
                 "размер страницы " + std::to_string(page) +
                     " не степень двойки до 256 и до размера микросхемы"},
                {"give the page size the datasheet of the part gives (8, 16, 32, 64, ...)",
                 "укажите размер страницы из описания микросхемы (8, 16, 32, 64, ...)"});
        choice.pageSize = page;
    }
    if (pins) {
        const int levels = *pins;
        if (levels < 0 || levels > 7)
            throw ChipChoiceError(
                {"pins " + std::to_string(levels) + " is outside 0 to 7",
                 "выводы " + std::to_string(levels) + ": вне 0..7"},
                {"give the levels of pins A2 A1 A0 as one number (A2 high = 4, A1 = 2, A0 = 1)",
                 "укажите уровни выводов A2 A1 A0 одним числом (A2 = 4, A1 = 2, A0 = 1)"});
        if ((levels & chip->pinsTiedHigh) != chip->pinsTiedHigh)
            throw ChipChoiceError(
                {"pins " + std::to_string(levels) + " leave pin A2 low, and the " +
                     std::string(chip->name) + " answers only with A2 tied high",
                 "выводы " + std::to_string(levels) + ": A2 низкий, а " + chip->name +
                     " отвечает только при A2, соединённом с питанием"},
                {"tie A2 high and give pins 4 to 7", "соедините A2 с питанием и укажите 4..7"});
        choice.pins = levels;
    }
    return choice;
}

}  // namespace lpt
