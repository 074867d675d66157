#include "operations/detect.h"

#include <algorithm>
#include <optional>
#include <string>

#include "operations/bus_check.h"
#include "operations/hex_text.h"
#include "operations/memory_bus.h"

namespace lpt {

namespace {

using Label = DetectFinding::Label;
using Bytes = std::vector<std::uint8_t>;

// The addressing test: a read of kSample bytes from 0, then one of kProbe bytes from kProbeAt,
// inside the first. A part that takes the addressing gives the same bytes twice. One that does
// not (a two-byte part sent one address byte keeps its pointer where the first read left it)
// gives bytes from elsewhere, which match only for contents that repeat every 29 bytes.
constexpr int kSample = 48;
constexpr int kProbeAt = 0x13;
constexpr int kProbe = 16;

// A read-only view of the memory at `device` with `addressBytes` word address bytes.
MemoryGeometry Addressing(std::uint8_t device, int addressBytes) {
    return {addressBytes == 1 ? 256 : 65536, 8, addressBytes, device, 0, 1};
}

// `count` bytes from `address`, or nothing when the memory refused a byte.
std::optional<Bytes> Read(MemoryBus& memory, int address, int count) {
    Bytes out(static_cast<size_t>(count));
    const Transfer read = memory.SequentialRead(
        address, count, [&out](int i, std::uint8_t v) { out[static_cast<size_t>(i)] = v; },
        Opening::Once(), OnRefusal::StopThere, ReadEnding::NackAndStop);
    if (!read.Answered()) return std::nullopt;
    return out;
}

bool Uniform(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == bytes[0]; });
}

enum class Fit { Takes, Refuses, CannotTell };

Fit TakesAddressing(MemoryBus& memory) {
    const auto whole = Read(memory, 0, kSample);
    const auto part = Read(memory, kProbeAt, kProbe);
    if (!whole || !part || Uniform(*whole)) return Fit::CannotTell;
    return std::equal(part->begin(), part->end(), whole->begin() + kProbeAt) ? Fit::Takes
                                                                            : Fit::Refuses;
}

std::string Join(const std::vector<std::uint8_t>& devices) {
    std::string text;
    for (std::uint8_t d : devices) text += (text.empty() ? "0x" : ", 0x") + ByteHex(d);
    return text;
}

const Chip* Part(const char* name) { return FindChip(name); }

// The parts whose device addresses make the answering set, for a word address width (0: either).
// The set is given as the three x bits of 1010 x x x R/W.
struct Pattern {
    std::vector<const Chip*> parts;
    Wording text;
};

Pattern Interpret(const std::vector<int>& x, int width) {
    const size_t n = x.size();
    const bool one = width != 2, two = width != 1;
    Pattern p;
    auto add = [&](bool fits, const char* name) {
        if (fits) p.parts.push_back(Part(name));
    };
    if (n == 1) {
        add(one, "24c02");
        add(one, "24c01");
        for (const char* name : {"24c256", "24c512", "24c128", "24c64", "24c32"}) add(two, name);
        p.text = {"one device address answers: a part that compares all three pins (24c01, "
                  "24c02, or one with two address bytes, 24c32 to 24c512)",
                  "отвечает один адрес: микросхема, сравнивающая все три вывода (24c01, 24c02 "
                  "или с двумя байтами адреса, 24c32-24c512)"};
    } else if (n == 2 && x[0] % 2 == 0 && x[1] == x[0] + 1) {
        add(one, "24c04");
        add(two, "24c1024");
        p.text = {"two device addresses answer as a pair (bit 1): a 24c04 or a 24c1024 (the "
                  "address bit above the word address in bit 1), or two smaller parts",
                  "отвечают два адреса парой (бит 1): 24c04 или 24c1024 (старший бит адреса в "
                  "бите 1) либо две микросхемы меньше"};
    } else if (n == 2 && x[1] == x[0] + 4) {
        add(two, "24xx1025");
        p.text = {"two device addresses answer as a pair (bit 3): a 24xx1025 (its block bit in "
                  "bit 3), or two smaller parts",
                  "отвечают два адреса парой (бит 3): 24xx1025 (бит блока в бите 3) либо две "
                  "микросхемы меньше"};
    } else if (n == 4 && x[0] % 4 == 0 && x[3] == x[0] + 3) {
        add(one, "24c08");
        add(two, "24cm02");
        p.text = {"four consecutive device addresses answer: a 24c08 or a 24cm02, or smaller "
                  "parts",
                  "отвечают четыре адреса подряд: 24c08 или 24cm02 либо микросхемы меньше"};
    } else if (n == 8) {
        add(one, "24c16");
        p.text = {"all eight device addresses answer: a 24c16, or several parts",
                  "отвечают все восемь адресов: 24c16 или несколько микросхем"};
    } else {
        p.text = {std::to_string(n) + " device addresses answer in no single part's pattern: "
                                      "several memories on the bus",
                  "отвечают адреса (" + std::to_string(n) +
                      ") не по образцу одной микросхемы: на шине несколько микросхем"};
    }
    return p;
}

// The size of a two-byte part with one device address, from where its contents repeat: such a
// part ignores the address bits above its size, so address 0x1000 of a 24c32 reads as 0. Two
// stretches are compared, at the start and at the end of the first 4 KB, so that contents that
// merely begin alike (a ramp in every block) are not taken for a repeat.
std::optional<Bytes> Sample(MemoryBus& memory, int base) {
    auto start = Read(memory, base, 32);
    const auto end = Read(memory, base + 0xFE0, 32);
    if (!start || !end) return std::nullopt;
    start->insert(start->end(), end->begin(), end->end());
    return start;
}

void GuessTwoByteSize(MemoryBus& memory, DetectReport& report) {
    const auto start = Sample(memory, 0);
    if (!start || Uniform(*start)) {
        report.findings.push_back({Label::CannotTell,
                                   {"cannot tell the size: the first bytes are all the same",
                                    "размер не определить: первые байты одинаковы"}});
        return;
    }
    const char* names[] = {"24c32", "24c64", "24c128", "24c256"};
    for (int k = 0; k < 4; ++k) {
        const int at = 0x1000 << k;
        const auto there = Sample(memory, at);
        if (there && *there == *start) {
            report.candidates = {Part(names[k])};
            report.findings.push_back(
                {Label::Guess,
                 {"the contents at " + AddressText(at) + " repeat those at 0: likely a " +
                      names[k],
                  "содержимое с " + AddressText(at) + " повторяет начало: вероятно, " +
                      names[k]}});
            return;
        }
    }
    report.candidates = {Part("24c512")};
    report.findings.push_back({Label::Guess,
                               {"the contents do not repeat below 64 KB: likely a 24c512",
                                "содержимое не повторяется до 64 КБ: вероятно, 24c512"}});
}

// The size of a one-byte part with one device address: a 24c01 repeats every 128 bytes.
void GuessOneByteSize(MemoryBus& memory, DetectReport& report) {
    const auto all = Read(memory, 0, 256);
    const Bytes low = all ? Bytes(all->begin(), all->begin() + 128) : Bytes{};
    if (!all || Uniform(low)) {
        report.findings.push_back({Label::CannotTell,
                                   {"cannot tell a 24c01 from a 24c02: the contents are uniform",
                                    "24c01 от 24c02 не отличить: содержимое однородно"}});
        return;
    }
    const bool repeats = std::equal(low.begin(), low.end(), all->begin() + 128);
    report.candidates = {Part(repeats ? "24c01" : "24c02")};
    report.findings.push_back(
        {Label::Guess,
         repeats ? Wording{"the contents repeat every 128 bytes: likely a 24c01",
                           "содержимое повторяется через 128 байт: вероятно, 24c01"}
                 : Wording{"the contents do not repeat at 128 bytes: likely a 24c02",
                           "содержимое не повторяется через 128 байт: вероятно, 24c02"}});
}

}  // namespace

DetectReport Detect(MemoryBus& memory) {
    memory.CheckBus();
    // The reads below address the memory as each test needs; the chosen part comes back after.
    struct Restore {
        MemoryBus& memory;
        MemoryGeometry chosen;
        ~Restore() { memory.SetMemory(chosen); }
    } restore{memory, memory.Memory()};
    DetectReport report;
    std::vector<int> x;
    for (int device = 0xA0; device <= 0xAE; device += 2) {
        const auto byte = static_cast<std::uint8_t>(device);
        if (memory.CurrentAddressRead(byte, 1, {}).Answered()) {
            report.answering.push_back(byte);
            x.push_back((device >> 1) & 7);
        }
    }
    if (report.answering.empty()) {
        report.findings.push_back(
            {Label::Certain,
             {"no device address of 0xA0 to 0xAE answers a read: no memory found",
              "ни один адрес 0xA0-0xAE не отвечает на чтение: память не найдена"}});
        return report;
    }
    report.findings.push_back({Label::Certain,
                               {"device addresses that answer a read: " + Join(report.answering),
                                "отвечают на чтение адреса: " + Join(report.answering)}});

    const std::uint8_t first = report.answering.front();
    // The one-byte test first: on a two-byte part it sends only a high address byte and a
    // repeated start. Two address bytes go to the part only once it has not taken one.
    memory.SetMemory(Addressing(first, 1));
    const Fit one = TakesAddressing(memory);
    Fit two = Fit::CannotTell;
    if (one == Fit::Refuses) {
        memory.SetMemory(Addressing(first, 2));
        two = TakesAddressing(memory);
    }
    const std::string at = AddressText(kProbeAt);
    if (one == Fit::Takes) {
        report.addressBytes = 1;
        report.findings.push_back(
            {Label::Certain,
             {"one word address byte: a read at " + at + " gave the bytes a read from 0 gave there",
              "один байт адреса: чтение с " + at + " дало те же байты, что чтение с 0"}});
    } else if (two == Fit::Takes) {
        report.addressBytes = 2;
        report.findings.push_back(
            {Label::Certain,
             {"two word address bytes: with one the reads disagree, with two a read at " + at +
                  " gave the bytes a read from 0 gave there",
              "два байта адреса: с одним чтения расходятся, с двумя чтение с " + at +
                  " дало те же байты, что чтение с 0"}});
    } else {
        report.findings.push_back(
            {Label::CannotTell,
             {"cannot tell one word address byte from two: the first bytes are all the same "
              "(an erased memory?)",
              "один или два байта адреса, не определить: первые байты одинаковы (память "
              "стёрта?)"}});
    }

    const Pattern pattern = Interpret(x, report.addressBytes);
    report.candidates = pattern.parts;
    report.findings.push_back({Label::Certain, pattern.text});
    if (report.answering.size() == 1 && report.addressBytes == 1) {
        memory.SetMemory(Addressing(first, 1));
        GuessOneByteSize(memory, report);
    } else if (report.answering.size() == 1 && report.addressBytes == 2) {
        memory.SetMemory(Addressing(first, 2));
        GuessTwoByteSize(memory, report);
    }
    return report;
}

DetectReport Detect(I2CBus& bus, const ClockFn& clock) {
    LineMemoryBus memory(bus, clock);
    return Detect(memory);
}

}  // namespace lpt
