// Demonstration contents of the simulated memory. Every block has its own recognisable pattern
// so that a dump, a compare or a partial read shows at a glance which bytes came from where.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/sim_eeprom.h"

namespace lpt::sim {

namespace {

constexpr int kBlock = 256;

// Plain text fills the rest of its block with spaces, so the text column stays readable.
constexpr std::uint8_t kPad = 0x20;

// UTF-8 Cyrillic (U+0401, U+0410..U+044F, U+0451) and ASCII to Windows-1251. The text below uses
// nothing else; anything else would come out as '?'.
void PutCp1251(SimEeprom& eeprom, int at, std::string_view utf8) {
    auto& mem = eeprom.Memory();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::uint8_t out = '?';
        if (lead < 0x80) {
            out = lead;
            i += 1;
        } else if ((lead & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            const unsigned code = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            if (code >= 0x410 && code <= 0x44F) {
                out = static_cast<std::uint8_t>(0xC0 + (code - 0x410));
            } else if (code == 0x401) {
                out = 0xA8;  // Ё
            } else if (code == 0x451) {
                out = 0xB8;  // ё
            }
            i += 2;
        } else {
            i += 1;
        }
        mem[at++] = out;
    }
}

void PutAscii(SimEeprom& eeprom, int at, std::string_view text) {
    for (char c : text) {
        eeprom.Memory()[at++] = static_cast<std::uint8_t>(c);
    }
}

void Fill(SimEeprom& eeprom, int block, std::uint8_t value) {
    for (int i = 0; i < kBlock; ++i) {
        eeprom.Memory()[block * kBlock + i] = value;
    }
}

}  // namespace

void LoadDemoContents(SimEeprom& eeprom) {
    auto& mem = eeprom.Memory();

    // Block 0: ascending ramp 00..FF, so every byte shows its own offset.
    for (int i = 0; i < kBlock; ++i) {
        mem[0 * kBlock + i] = static_cast<std::uint8_t>(i);
    }
    // Block 1: descending ramp FF..00.
    for (int i = 0; i < kBlock; ++i) {
        mem[1 * kBlock + i] = static_cast<std::uint8_t>(0xFF - i);
    }
    // Block 2: English text.
    Fill(eeprom, 2, kPad);
    PutAscii(eeprom, 2 * kBlock,
             "lpt-eeprom demonstration contents. Block 2 holds plain ASCII text, so the "
             "character column of the dump reads as a sentence. The memory is a 2 KB two-wire "
             "EEPROM on the parallel port: SDA out on D0, SDA in on ERROR, SCL on INIT.");
    // Block 3: Russian text in Windows-1251, one byte per letter.
    Fill(eeprom, 3, kPad);
    PutCp1251(eeprom, 3 * kBlock,
              "Привет! Это демонстрационное содержимое памяти. Микросхема на 2048 байт "
              "подключена прямо к параллельному порту компьютера. Программа сама переключает "
              "линии SDA и SCL, бит за битом. Ёлка, ёж и щука проверяют кодировку.");
    // Block 4: a one walking up, then a zero walking up: 01 02 04 .. 80 FE FD FB .. 7F, repeated.
    for (int i = 0; i < kBlock; ++i) {
        const int step = i % 16;
        mem[4 * kBlock + i] = step < 8 ? static_cast<std::uint8_t>(1u << step)
                                       : static_cast<std::uint8_t>(~(1u << (step - 8)));
    }
    // Block 5: 55 AA checkerboard, with a 00 at the end of every 64 bytes.
    for (int i = 0; i < kBlock; ++i) {
        mem[5 * kBlock + i] = (i % 64 == 63) ? 0x00 : (i % 2 == 0 ? 0x55 : 0xAA);
    }
    // Block 6: erased.
    Fill(eeprom, 6, 0xFF);
    // Block 7: control characters and boundary values, a text marker, then a fixed
    // pseudo-random tail (a linear sequence modulo 256, the same every time).
    static constexpr std::uint8_t kControls[16] = {0x00, 0x01, 0x02, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                                   0x0C, 0x0D, 0x1B, 0x1F, 0x7F, 0x80, 0xA0, 0xFF};
    for (int i = 0; i < 16; ++i) {
        mem[7 * kBlock + i] = kControls[i];
    }
    constexpr std::string_view kMarker = "<<LPT-EEPROM DEMO END>>";
    PutAscii(eeprom, 7 * kBlock + 16, kMarker);
    for (int i = 16 + static_cast<int>(kMarker.size()); i < kBlock; ++i) {
        mem[7 * kBlock + i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
}

}  // namespace lpt::sim
