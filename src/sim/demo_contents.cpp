// Demonstration contents of the simulated memory. The memory is laid out in stretches of eight
// segments, each with its own recognisable pattern, so that a dump, a compare or a partial read
// shows at a glance which bytes came from where. A segment is a block of 256 bytes; a memory
// smaller than 2 KB gets eight segments of an eighth of its size, a larger one repeats the 2 KB
// stretch with its block numbers and marker changed. The 2 KB part gets exactly one stretch.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/sim_eeprom.h"

namespace lpt::sim {

namespace {

constexpr int kBlock = 256;
constexpr int kSegments = 8;

// Plain text fills the rest of its segment with spaces, so the text column stays readable.
constexpr std::uint8_t kPad = 0x20;

// One segment of the memory: writes past its end are dropped.
class Segment {
public:
    Segment(std::uint8_t* at, int size) : at_(at), size_(size) {}
    int Size() const { return size_; }
    void Put(int offset, std::uint8_t value) {
        if (offset < size_) at_[offset] = value;
    }
    void Fill(std::uint8_t value) { std::fill(at_, at_ + size_, value); }
    // Returns the offset after the text.
    int PutAscii(int offset, std::string_view text) {
        for (char c : text) Put(offset++, static_cast<std::uint8_t>(c));
        return offset;
    }
    // UTF-8 Cyrillic (U+0401, U+0410..U+044F, U+0451) and ASCII to Windows-1251. The texts here
    // use nothing else; anything else would come out as '?'.
    void PutCp1251(int offset, std::string_view utf8) {
        std::size_t i = 0;
        while (i < utf8.size()) {
            const auto lead = static_cast<unsigned char>(utf8[i]);
            std::uint8_t out = '?';
            if (lead < 0x80) {
                out = lead;
                i += 1;
            } else if ((lead & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
                const unsigned code =
                    ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
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
            Put(offset++, out);
        }
    }

private:
    std::uint8_t* at_;
    int size_;
};

std::string SizeText(int bytes) {
    return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KB"
                             : std::to_string(bytes) + " bytes";
}

// Stretch `n` of `count`, in eight segments of `segmentSize` bytes.
void LoadStretch(SimEeprom& eeprom, int n, int count, int segmentSize) {
    const int memorySize = eeprom.Size();
    auto segment = [&](int s) {
        return Segment(eeprom.Memory().data() + (n * kSegments + s) * segmentSize, segmentSize);
    };
    const bool blocks = segmentSize == kBlock;
    const std::string textHere =
        blocks ? "Block " + std::to_string(n * kSegments + 2) : std::string("This stretch");

    // 0: ascending ramp 00..FF, so every byte shows its own offset.
    Segment ramp = segment(0);
    for (int i = 0; i < ramp.Size(); ++i) ramp.Put(i, static_cast<std::uint8_t>(i));
    // 1: descending ramp FF..00.
    Segment down = segment(1);
    for (int i = 0; i < down.Size(); ++i) down.Put(i, static_cast<std::uint8_t>(0xFF - i));
    // 2: English text.
    Segment english = segment(2);
    english.Fill(kPad);
    english.PutAscii(0, "lpt-eeprom demonstration contents. " + textHere +
                            " holds plain ASCII text, so the character column of the dump reads "
                            "as a sentence. The memory is a " +
                            SizeText(memorySize) +
                            " two-wire EEPROM on the parallel port: SDA out on D0, SDA in on "
                            "ERROR, SCL on INIT.");
    // 3: Russian text in Windows-1251, one byte per letter.
    Segment russian = segment(3);
    russian.Fill(kPad);
    russian.PutCp1251(0, "Привет! Это демонстрационное содержимое памяти. Микросхема на " +
                             std::to_string(memorySize) +
                             " байт подключена прямо к параллельному порту компьютера. Программа "
                             "сама переключает линии SDA и SCL, бит за битом. Ёлка, ёж и щука "
                             "проверяют кодировку.");
    // 4: a one walking up, then a zero walking up: 01 02 04 .. 80 FE FD FB .. 7F, repeated.
    Segment walking = segment(4);
    for (int i = 0; i < walking.Size(); ++i) {
        const int step = i % 16;
        walking.Put(i, step < 8 ? static_cast<std::uint8_t>(1u << step)
                                : static_cast<std::uint8_t>(~(1u << (step - 8))));
    }
    // 5: 55 AA checkerboard, with a 00 at the end of every 64 bytes.
    Segment checkers = segment(5);
    for (int i = 0; i < checkers.Size(); ++i) {
        checkers.Put(i, (i % 64 == 63) ? 0x00 : (i % 2 == 0 ? 0x55 : 0xAA));
    }
    // 6: erased.
    segment(6).Fill(0xFF);
    // 7: control characters and boundary values, a text marker (which stretch this is, or the
    // end), then a fixed pseudo-random tail (a linear sequence modulo 256, the same every time,
    // shifted from stretch to stretch).
    static constexpr std::uint8_t kControls[16] = {0x00, 0x01, 0x02, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                                   0x0C, 0x0D, 0x1B, 0x1F, 0x7F, 0x80, 0xA0, 0xFF};
    Segment last = segment(7);
    for (int i = 0; i < 16; ++i) last.Put(i, kControls[i]);
    const std::string marker =
        n + 1 == count ? std::string("<<LPT-EEPROM DEMO END>>")
                       : "<<LPT-EEPROM DEMO " + std::to_string(n + 1) + "/" +
                             std::to_string(count) + ">>";
    for (int i = last.PutAscii(16, marker); i < last.Size(); ++i) {
        last.Put(i, static_cast<std::uint8_t>(i * 37 + 11 + n * 29));
    }
}

}  // namespace

void LoadDemoContents(SimEeprom& eeprom) {
    const int segmentSize = std::min(kBlock, eeprom.Size() / kSegments);
    const int stretches = eeprom.Size() / (kSegments * segmentSize);
    for (int n = 0; n < stretches; ++n) LoadStretch(eeprom, n, stretches, segmentSize);
}

}  // namespace lpt::sim
