#include "operations/kernel_memory_bus.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "operations/hex_text.h"

namespace lpt {

namespace {

// 7-bit addresses 0x00-0x07 and 0x78-0x7F are reserved (general call, CBUS, high-speed master
// codes, 10-bit addressing): nothing is sent to them.
bool Reserved(std::uint8_t address) { return address < 0x08 || address > 0x77; }

// Where a PC's memory modules keep their SPD EEPROMs.
constexpr std::uint8_t kSpdFirst = 0x50;
constexpr std::uint8_t kSpdLast = 0x57;

// The memory types byte 2 of an SPD gives.
const char* DramType(std::uint8_t code) {
    switch (code) {
        case 0x04: return "SDRAM";
        case 0x07: return "DDR";
        case 0x08: return "DDR2";
        case 0x0B: return "DDR3";
        case 0x0C: return "DDR4";
        case 0x0F: return "LPDDR3";
        case 0x10: return "LPDDR4";
        case 0x11: return "LPDDR4X";
        case 0x12: return "DDR5";
        case 0x13: return "LPDDR5";
        default: return nullptr;
    }
}

// Bytes 0-2 as an SPD begins. Up to DDR2, byte 0 is the bytes the maker used (never none) and
// byte 1 the SPD's size as a power of two (128 to 1024 bytes: 7 to 10); from DDR3 on, byte 0
// gives the bytes used and covered by the CRC (never none) and byte 1 the SPD revision, 1.x in
// its high nibble. Ordinary contents pass all three only rarely (about 1 in 500 for random
// bytes), so a memory that is no SPD is seldom refused.
bool SpdStart(const std::vector<std::uint8_t>& b) {
    if (b.size() < 3 || DramType(b[2]) == nullptr || b[0] == 0x00 || b[0] == 0xFF) return false;
    if (b[2] <= 0x08) return b[1] >= 7 && b[1] <= 10;
    return (b[1] & 0xF0) == 0x10;
}

// "0x50" or "0x50-0x57".
std::string AddressRange(std::uint8_t first, std::uint8_t last) {
    const std::string a = "0x" + ByteHex(first);
    return first == last ? a : a + "-0x" + ByteHex(last);
}

const Wording kNothingWritten{"Nothing was written", "Ничего не записано."};

UserError OnPcSmbus(const std::string& adapter, const std::string& range) {
    return UserError(
        ErrorKind::Usage,
        {"the adapter " + adapter + " is a PC's SMBus, where the memory modules keep their SPD "
         "EEPROMs at 0x50-0x57, and this memory would be written at " + range + ": an SPD "
         "written over can leave the PC unable to boot. " + kNothingWritten.en,
         "Адаптер " + adapter + " — шина SMBus компьютера, на ней по адресам 0x50-0x57 стоят "
         "микросхемы SPD модулей памяти, а эта память записывалась бы по адресам " + range +
             ". Записанная поверх SPD может оставить компьютер неспособным загрузиться. " +
             kNothingWritten.ru},
        {"write only a memory wired to this bus on purpose that is surely not a memory "
         "module's SPD, and then with --force",
         "Записывайте только память, подключённую к этой шине намеренно и точно не SPD модуля "
         "памяти, и тогда с параметром --force."});
}

UserError SpdLike(const std::string& adapter, std::uint8_t address,
                  const std::vector<std::uint8_t>& bytes) {
    const std::string start = ByteHex(bytes[0]) + " " + ByteHex(bytes[1]) + " " +
                              ByteHex(bytes[2]);
    const std::string type = DramType(bytes[2]);
    const std::string at = "0x" + ByteHex(address);
    return UserError(
        ErrorKind::Usage,
        {"the memory at " + at + " on " + adapter + " begins like a memory module's SPD (bytes "
         "0-2: " + start + ", " + type + "), and an SPD written over can leave a PC unable to "
         "boot. " + kNothingWritten.en,
         "Память по адресу " + at + " на " + adapter + " начинается как SPD модуля памяти "
         "(байты 0-2: " + start + ", " + type + "), а записанная поверх SPD может оставить "
         "компьютер неспособным загрузиться. " + kNothingWritten.ru},
        {"if this memory is surely not a memory module's SPD, write it with --force",
         "Если эта память точно не SPD модуля памяти, записывайте её с параметром --force."});
}

}  // namespace

KernelMemoryBus::KernelMemoryBus(I2cAdapter& adapter, ClockFn clock, const MemoryGeometry& memory,
                                 bool force)
    : MemoryBus(memory), adapter_(adapter), clock_(std::move(clock)), force_(force) {}

BusCheck KernelMemoryBus::CheckBus() {
    adapter_.Open();
    return {};
}

MemoryLines KernelMemoryBus::Lines() const {
    const std::string adapter = adapter_.Describe();
    return MemoryLines(
        Wording{"SDA and SCL to " + adapter, "линий SDA и SCL к адаптеру " + adapter});
}

std::vector<std::uint8_t> KernelMemoryBus::WordAddress(int address) const {
    std::vector<std::uint8_t> bytes;
    for (int n = Memory().addressBytes - 1; n >= 0; --n)
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * n)));
    return bytes;
}

KernelMemoryBus::Outcome KernelMemoryBus::Send(std::vector<I2cMessage>& messages) {
    for (const I2cMessage& m : messages) {
        if (free_[m.address]) continue;
        if (const auto driver = adapter_.Holder(m.address))
            throw AddressHeld(adapter_.Number(), m.address, *driver);
        free_[m.address] = true;
    }
    return adapter_.Transfer(messages);
}

KernelMemoryBus::Outcome KernelMemoryBus::Open(std::vector<I2cMessage>& messages,
                                               const Opening& opening) {
    if (opening.way == Opening::Way::Once || opening.way == Opening::Way::Opened)
        return Send(messages);
    // The kernel sends the device address again with the whole transaction: a memory still in
    // its write cycle refuses it, and nothing else of the transaction goes out.
    Outcome outcome = Outcome::NoAnswer;
    RetryForWriteCycle(clock_, opening.limit, [&] {
        outcome = Send(messages);
        return outcome != Outcome::NoAnswer;
    });
    return outcome;
}

bool KernelMemoryBus::Probe(std::uint8_t addressByte, const std::function<void()>& whileOpen) {
    const auto address = static_cast<std::uint8_t>(addressByte >> 1);
    if (Reserved(address)) return false;
    // A one-byte read: an address-only write is a write to some memories.
    std::vector<I2cMessage> read{{address, true, {0}}};
    if (adapter_.Transfer(read) != Outcome::Done) return false;
    if (whileOpen) whileOpen();  // the kernel has sent the stop already
    return true;
}

bool KernelMemoryBus::PollAcknowledge(int address, TimeNs limit) {
    std::vector<I2cMessage> poll{{Address7(address), true, {0}}};
    return RetryForWriteCycle(clock_, limit, [&] { return Send(poll) == Outcome::Done; });
}

Transfer KernelMemoryBus::SequentialRead(int address, int count, const ByteSink& sink,
                                         Opening opening, OnRefusal onRefusal, ReadEnding) {
    // The kernel ends every read with a no-acknowledge and a stop, whatever the ending asked.
    const int size = Memory().size;
    bool opened = false;
    for (int done = 0; done < count;) {
        // Each piece addresses the byte the memory's pointer would have reached.
        const int at = (address + done) % size;
        const int n = std::min(count - done, adapter_.MaxMessage());
        std::vector<I2cMessage> messages{{Address7(at), false, WordAddress(at)},
                                         {Address7(at), true, std::vector<std::uint8_t>(n)}};
        const Outcome outcome = opened ? Send(messages) : Open(messages, opening);
        if (outcome == Outcome::TooLong) continue;  // nothing was sent: again, shorter
        if (outcome == Outcome::NoAnswer) {
            // On the lines the bytes not read come in as FF: the caller's grid stays aligned.
            if (onRefusal == OnRefusal::SendOn && sink)
                for (int i = done; i < count; ++i) sink(i, 0xFF);
            return {Transfer::Byte::DeviceAddress, 0};  // which byte, the kernel does not say
        }
        opened = true;
        if (sink)
            for (int i = 0; i < n; ++i) sink(done + i, messages[1].data[static_cast<size_t>(i)]);
        done += n;
    }
    return {};
}

Transfer KernelMemoryBus::CurrentAddressRead(std::uint8_t deviceByte, int count,
                                             const ByteSink& sink, ReadEnding) {
    const auto address = static_cast<std::uint8_t>(deviceByte >> 1);
    for (int done = 0; done < count;) {
        const int n = std::min(count - done, adapter_.MaxMessage());
        std::vector<I2cMessage> read{{address, true, std::vector<std::uint8_t>(n)}};
        const Outcome outcome = Send(read);
        if (outcome == Outcome::TooLong) continue;
        if (outcome == Outcome::NoAnswer) return {Transfer::Byte::ReadAddress, 0};
        if (sink)
            for (int i = 0; i < n; ++i) sink(done + i, read[0].data[static_cast<size_t>(i)]);
        done += n;  // the memory's pointer goes on from there
    }
    return {};
}

Transfer KernelMemoryBus::PageWrite(int address, const std::uint8_t* data, int count,
                                    Opening opening, OnRefusal onRefusal) {
    const MemoryGeometry& memory = Memory();
    Transfer transfer;
    if (opening.way == Opening::Way::Polling) {
        if (!PollAcknowledge(address, opening.limit)) return {Transfer::Byte::DeviceAddress, 0};
        opening = Opening::Once();
    }
    // A write longer than the adapter takes goes in pieces, each a page write of its own at
    // the address of its first byte (within the page, as the memory wraps it), each after the
    // write cycle of the piece before.
    const int pageStart = address - address % memory.pageSize;
    bool first = true, cycle = false;
    int done = 0;
    do {
        const int at = pageStart + (address - pageStart + done) % memory.pageSize;
        if (cycle && !PollAcknowledge(at, memory.WriteCycleLimit())) {
            if (transfer.Answered()) transfer = {Transfer::Byte::DeviceAddress, 0};
            if (onRefusal == OnRefusal::StopThere) return transfer;
        }
        cycle = false;
        const int n = std::min(count - done, adapter_.MaxMessage() - memory.addressBytes);
        std::vector<I2cMessage> write{{Address7(at), false, WordAddress(at)}};
        write[0].data.insert(write[0].data.end(), data + done, data + done + n);
        const Outcome outcome = first ? Open(write, opening) : Send(write);
        if (outcome == Outcome::TooLong) continue;  // nothing was sent: again, shorter
        if (outcome == Outcome::NoAnswer) {
            if (transfer.Answered()) transfer = {Transfer::Byte::DeviceAddress, 0};
            if (onRefusal == OnRefusal::StopThere) return transfer;
        }
        first = false;
        cycle = true;
        done += n;
    } while (done < count);
    return transfer;
}

std::optional<std::vector<std::uint8_t>> KernelMemoryBus::SpdStartAt(std::uint8_t address) {
    // Bytes 0-2 with a one-byte word address, as every SPD takes it, twice: a memory that takes
    // two address bytes reads from wherever its pointer stood, gives other bytes the second
    // time, and is no SPD.
    std::vector<std::uint8_t> first;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<I2cMessage> read{{address, false, {0x00}},
                                     {address, true, std::vector<std::uint8_t>(3)}};
        if (Send(read) != Outcome::Done) return std::nullopt;
        if (pass == 1 && read[1].data != first) return std::nullopt;
        first = read[1].data;
    }
    if (!SpdStart(first)) return std::nullopt;
    return first;
}

void KernelMemoryBus::CheckWritable() {
    if (force_) return;
    const MemoryGeometry& memory = Memory();
    std::uint8_t low = 0xFF, high = 0;
    for (int block = 0; block < memory.Blocks(); ++block) {
        const std::uint8_t a = Address7(block * memory.BlockSize());
        if (a < kSpdFirst || a > kSpdLast) continue;
        low = std::min(low, a);
        high = std::max(high, a);
    }
    if (low > high) return;  // none of its addresses is an SPD's
    if (adapter_.PcSmbus()) throw OnPcSmbus(adapter_.Describe(), AddressRange(low, high));
    // Read at the memory's first address only, where the first module's SPD would answer: the
    // blocks after it hold whatever was written there, and some begin like an SPD (the
    // demonstration contents' fifth block of 2 KB: 01 02 04).
    const std::uint8_t first = Address7(0);
    if (first < kSpdFirst || first > kSpdLast) return;
    if (const auto start = SpdStartAt(first)) throw SpdLike(adapter_.Describe(), first, *start);
}

}  // namespace lpt
