#include "operations/image_operations.h"

#include <algorithm>

#include "operations/bus_check.h"
#include "operations/dump_grid.h"

namespace lpt {

namespace {

constexpr int kBlockSize = 256;

std::uint8_t DeviceByte(int address) { return static_cast<std::uint8_t>(0xA0 | ((address >> 7) & 0x0E)); }
std::uint8_t WordAddress(int address) { return static_cast<std::uint8_t>(address & 0xFF); }

BusError NoAnswer(std::uint8_t device) {
    const std::string hex = HexForm(device);
    return BusError(
        "Память не отвечает по адресу " + hex + ": адрес устройства не подтверждён (в том числе "
        "за " + WriteCycleLimitMs() + " мс ожидания конца записи).\nПроверьте, что микросхема "
        "на месте и у неё есть питание, и подключение выводов 2, 15, 16 и общего провода.",
        "the memory does not answer at " + hex + " (device address not acknowledged, also after " +
            WriteCycleLimitMs() + " ms of polling): check that the chip is in place and powered, "
            "and the wiring of pins 2, 15, 16 and ground");
}

// The memory acknowledged the read of the last block, then stopped answering: the bytes it
// sent after it went silent read as FF, which nothing in a read can tell from data.
BusError StoppedAnswering(int block, std::uint8_t device) {
    const std::string range =
        AddressText(block * kBlockSize) + "–" + AddressText(block * kBlockSize + kBlockSize - 1);
    const std::string rangeEn =
        AddressText(block * kBlockSize) + "-" + AddressText(block * kBlockSize + kBlockSize - 1);
    const std::string hex = HexForm(device);
    return BusError(
        "Память перестала отвечать при чтении блока " + std::to_string(block) + " (" + range +
            "): после чтения адрес устройства " + hex + " не подтверждён, и часть байтов блока "
            "могла прочитаться как FF. Чтение не завершено, прочитанное не используется.\n"
            "Проверьте, что микросхема на месте и у неё есть питание, и подключение выводов 2, "
            "15, 16 и общего провода, затем повторите.",
        "the memory stopped answering during the read of block " + std::to_string(block) + " (" +
            rangeEn + "): its device address " + hex + " was not acknowledged after the read, so "
            "bytes of that block may have read as FF; the read is not complete and was not used; "
            "check that the chip is in place and powered, and the wiring of pins 2, 15, 16 and "
            "ground, then try again");
}

BusError Unacknowledged(std::uint8_t device, const std::string& what) {
    const std::string hex = HexForm(device);
    return BusError("Память по адресу " + hex + " не подтвердила " + what + ".\n" +
                        "Проверьте подключение выводов 2, 15, 16 и питание памяти.",
                    "the memory at " + hex + " did not acknowledge the " + what +
                        ": check the wiring of pins 2, 15, 16 and the memory's supply");
}

BusError PageRefused(int page, int byteIndex) {
    const std::string at = AddressText(page * kPageSize);
    return BusError(
        "Страница " + at + " не записана: память не подтвердила байт " +
            std::to_string(byteIndex) + " страничной записи.\nВозможно, запись запрещена (вывод "
            "WP подключён к питанию), или память неисправна.",
        "page " + at + " was not written: the memory did not acknowledge byte " +
            std::to_string(byteIndex) + " of the page write; it may be write-protected (WP pin "
            "high) or failing");
}

BusError PageUnfinished(int page) {
    const std::string at = AddressText(page * kPageSize);
    const std::string ms = WriteCycleLimitMs();
    return BusError("Страница " + at + ": память не закончила запись за " + ms + " мс (нет "
                        "подтверждения адреса после записи).\nПроверьте питание памяти и "
                        "подключение; у исправной памяти цикл записи не длиннее 5–10 мс.",
                    "page " + at + ": the memory did not finish its write cycle within " + ms +
                        " ms (no acknowledge after the write); check its supply and wiring");
}

// One sequential read of `count` bytes from `address` on, into `out` (rolls over at 0x7FF).
// The device address is polled, so a memory still finishing a write is waited for. Bus at rest
// on entry and exit.
void SequentialRead(I2CBus& bus, const ClockFn& clock, int address, int count,
                    std::uint8_t* out) {
    const std::uint8_t device = DeviceByte(address);
    if (!PollAcknowledge(bus, device, clock)) throw NoAnswer(device);
    bus.WriteByte(WordAddress(address));
    if (bus.Ack == 0) {
        bus.I2CStop();
        throw Unacknowledged(device, "word address");
    }
    bus.I2CStart();  // repeated start
    bus.WriteByte(static_cast<std::uint8_t>(device | 1));
    if (bus.Ack == 0) {
        bus.I2CStop();
        throw Unacknowledged(static_cast<std::uint8_t>(device | 1), "read address");
    }
    for (int i = 0; i < count; ++i) {
        bus.Ack = i + 1 < count ? 1 : 0;  // the last byte is not acknowledged
        out[i] = bus.ReadByte();
    }
    bus.I2CStop();
}

// The whole memory, one sequential read per block, into `bytes`; `tick` after each block. After
// the last block the memory must still acknowledge its device address (a start, the address, a
// stop): a memory that went silent inside a block is caught by the next block's address, but
// after the last one nothing else would see it.
void ReadAllBlocks(I2CBus& bus, const ClockFn& clock, MemoryBytes& bytes,
                   const std::function<void()>& tick) {
    constexpr int kBlocks = MemoryImage::kSize / kBlockSize;
    for (int block = 0; block < kBlocks; ++block) {
        SequentialRead(bus, clock, block * kBlockSize, kBlockSize, &bytes[block * kBlockSize]);
        if (tick) tick();
    }
    const int last = kBlocks - 1;
    const std::uint8_t device = DeviceByte(last * kBlockSize);
    bus.I2CStart();
    bus.WriteByte(device);
    const bool answered = bus.Ack != 0;
    bus.I2CStop();
    if (!answered) throw StoppedAnswering(last, device);
}

// Adds to a write's error how far the write got, in both languages, keeping its type.
std::string PagesDoneRu(int written, int total, bool verifying) {
    if (verifying)
        return "\nЗаписаны все страницы (" + std::to_string(total) + "), но проверить их чтением "
               "не удалось. Запишите файл ещё раз: страницы, уже совпадающие с файлом, будут "
               "пропущены, остальные записаны и проверены.";
    return "\nДо ошибки записано страниц: " + std::to_string(written) + " из " +
           std::to_string(total) + ". Теперь в памяти смесь старого и нового содержимого. "
           "Устраните причину и запишите файл ещё раз.";
}

std::string PagesDoneEn(int written, int total, bool verifying) {
    if (verifying)
        return "; all " + std::to_string(total) + " pages to write were written but not read "
               "back: run the same command again to check them (pages that already match are "
               "skipped)";
    return "; " + std::to_string(written) + " of " + std::to_string(total) + " pages to write "
           "were written before this, so the memory now holds a mix of old and new contents: "
           "mend the cause and run the same command again";
}

// Runs `body`, a part of a write after at least one page went out, and rethrows a bus or port
// error with how many pages were written.
template <typename Body>
void TellingPagesDone(const WriteReport& report, int total, bool verifying, Body body) {
    try {
        body();
    } catch (const BusError& e) {
        if (report.pagesWritten == 0) throw;
        throw BusError(e.what() + PagesDoneRu(report.pagesWritten, total, verifying),
                       e.English() + PagesDoneEn(report.pagesWritten, total, verifying));
    } catch (const PortError& e) {
        if (report.pagesWritten == 0) throw;
        throw PortError(e.what() + PagesDoneRu(report.pagesWritten, total, verifying),
                        e.English() + PagesDoneEn(report.pagesWritten, total, verifying));
    }
}

// Runs of consecutive pages: {first page, page count}.
std::vector<std::pair<int, int>> Runs(const std::vector<int>& pages) {
    std::vector<std::pair<int, int>> runs;
    for (int p : pages) {
        if (!runs.empty() && runs.back().first + runs.back().second == p)
            ++runs.back().second;
        else
            runs.push_back({p, 1});
    }
    return runs;
}

}  // namespace

ImageDiff Compare(const MemoryImage& expected, const MemoryBytes& found) {
    ImageDiff diff;
    for (int a = 0; a < MemoryImage::kSize; ++a) {
        if (!expected.covered[static_cast<size_t>(a)]) continue;
        ++diff.compared;
        const auto i = static_cast<size_t>(a);
        if (expected.bytes[i] == found[i]) continue;
        ++diff.differing;
        const Mismatch m{a, expected.bytes[i], found[i]};
        diff.all.push_back(m);
        if (static_cast<int>(diff.first.size()) < kShownMismatches) diff.first.push_back(m);
    }
    return diff;
}

std::vector<int> DifferingPages(const MemoryImage& image, const MemoryBytes& current) {
    std::vector<int> pages;
    for (int p = 0; p < kPages; ++p) {
        for (int a = p * kPageSize; a < (p + 1) * kPageSize; ++a) {
            const auto i = static_cast<size_t>(a);
            if (image.covered[i] && image.bytes[i] != current[i]) {
                pages.push_back(p);
                break;
            }
        }
    }
    return pages;
}

MemoryBytes ReadMemory(I2CBus& bus, const ClockFn& clock, const ProgressFn& progress) {
    CheckBus(bus);
    MemoryBytes bytes{};
    int done = 0;
    ReadAllBlocks(bus, clock, bytes, [&] {
        done += kBlockSize;
        if (progress) progress(done, MemoryImage::kSize);
    });
    return bytes;
}

WriteReport WriteImage(I2CBus& bus, const MemoryImage& image, const ClockFn& clock,
                       WriteOptions options, const ProgressFn& progress) {
    WriteReport report;
    CheckBus(bus);
    const bool readFirst = !(options.allPages && image.Complete());
    int done = 0;
    // Until the read tells how many pages differ, count on all of them.
    int total = (readFirst ? MemoryImage::kSize : 0) +
                (options.verify ? 2 : 1) * MemoryImage::kSize;
    auto tick = [&](int bytes) {
        done += bytes;
        if (progress) progress(done, total);
    };
    MemoryBytes current{};
    current.fill(0xFF);
    if (readFirst) ReadAllBlocks(bus, clock, current, [&] { tick(kBlockSize); });
    std::vector<int> pages;
    if (options.allPages) {
        for (int p = 0; p < kPages; ++p) pages.push_back(p);
    } else {
        pages = DifferingPages(image, current);
    }
    report.pagesSkipped = kPages - static_cast<int>(pages.size());
    total = done + static_cast<int>(pages.size()) * kPageSize * (options.verify ? 2 : 1);
    if (progress) progress(done, total);

    // What each page written must hold: the image where it speaks, the memory elsewhere.
    MemoryBytes target = current;
    for (int a = 0; a < MemoryImage::kSize; ++a) {
        const auto i = static_cast<size_t>(a);
        if (image.covered[i]) target[i] = image.bytes[i];
    }

    // From the first page written on, an error says how far the write got: the memory then
    // holds some pages of the image and the old contents elsewhere.
    const int toWrite = static_cast<int>(pages.size());
    TellingPagesDone(report, toWrite, false, [&] {
        bool open = false;  // a transaction whose device address the last poll had acknowledged
        for (size_t n = 0; n < pages.size(); ++n) {
            const int page = pages[n];
            const int address = page * kPageSize;
            if (!open && !PollAcknowledge(bus, DeviceByte(address), clock)) {
                if (n == 0) throw NoAnswer(DeviceByte(address));
                throw PageUnfinished(pages[n - 1]);
            }
            bus.WriteByte(WordAddress(address));
            if (bus.Ack == 0) {
                bus.I2CStop();
                throw PageRefused(page, 0);
            }
            for (int i = 0; i < kPageSize; ++i) {
                bus.WriteByte(target[static_cast<size_t>(address + i)]);
                if (bus.Ack == 0) {
                    bus.I2CStop();
                    throw PageRefused(page, i + 1);
                }
            }
            bus.I2CStop();  // the memory starts its write cycle here
            ++report.pagesWritten;
            tick(kPageSize);
            // Wait for the end of the write cycle by polling with the next page's device
            // address, and go straight on with that page's transaction once it is acknowledged.
            const int next = n + 1 < pages.size() ? pages[n + 1] * kPageSize : 0;
            if (!PollAcknowledge(bus, DeviceByte(next), clock))
                throw PageUnfinished(page);
            open = n + 1 < pages.size();
            if (!open) bus.I2CStop();
        }
    });
    for (int page : pages) {
        for (int i = 0; i < kPageSize; ++i) {
            const auto a = static_cast<size_t>(page * kPageSize + i);
            current[a] = target[a];
        }
    }

    if (options.verify && !pages.empty()) {
        MemoryBytes found = current;
        TellingPagesDone(report, toWrite, true, [&] {
            for (const auto& [first, count] : Runs(pages)) {
                SequentialRead(bus, clock, first * kPageSize, count * kPageSize,
                               &found[static_cast<size_t>(first * kPageSize)]);
                tick(count * kPageSize);
            }
        });
        MemoryImage written;  // the pages written, as they should read
        for (int page : pages) {
            for (int i = 0; i < kPageSize; ++i) {
                const auto a = static_cast<size_t>(page * kPageSize + i);
                written.bytes[a] = target[a];
                written.covered.set(a);
            }
        }
        report.verify = Compare(written, found);
        report.verified = true;
        current = found;
    }
    report.after = current;
    return report;
}

ImageDiff VerifyImage(I2CBus& bus, const MemoryImage& image, const ClockFn& clock,
                      const ProgressFn& progress) {
    return Compare(image, ReadMemory(bus, clock, progress));
}

WriteReport EraseMemory(I2CBus& bus, std::uint8_t value, const ClockFn& clock,
                        WriteOptions options, const ProgressFn& progress) {
    MemoryBytes bytes;
    bytes.fill(value);
    return WriteImage(bus, MemoryImage::Full(bytes), clock, options, progress);
}

}  // namespace lpt
