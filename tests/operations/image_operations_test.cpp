#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "operations/bus_check.h"
#include "operations/image_operations.h"
#include "operations/memory_bus.h"
#include "operations/memory_errors.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

// The bus rig with `chip` on it and chosen.
struct ImageRig : BusRig {
    explicit ImageRig(bool memoryPresent = true, const ChipChoice& chip = {})
        : BusRig(memoryPresent, chip), memory(bus, clock, chip.Geometry()) {}
    ClockFn clock = BusRig::clock.Fn();
    LineMemoryBus memory;
    MemoryImage Current() const { return MemoryImage::Full(testing::Contents(eeprom)); }
    // Decoded transactions from `from` on.
    std::vector<std::string> Transactions(size_t from = 0) const {
        const auto all = Decode().transactions;
        return {all.begin() + static_cast<long>(std::min(from, all.size())), all.end()};
    }
};

std::string PageWrite(int device, int word, std::uint8_t value) {
    std::string t = "S " + Hex2(device) + "+ " + Hex2(word) + "+";
    for (int i = 0; i < 16; ++i) t += " " + Hex2(value) + "+";
    return t + " P";
}

TEST(ImageReadTest, ReadsTheWholeMemoryAndRefusesAMemoryThatDoesNotAnswer) {
    ImageRig rig;
    int lastDone = 0;
    EXPECT_EQ(ReadMemory(rig.memory, [&](int done, int total) {
                  EXPECT_EQ(total, 2048);
                  lastDone = done;
              }),
              testing::Contents(rig.eeprom));
    EXPECT_EQ(lastDone, 2048);
    ASSERT_EQ(rig.Transactions().size(), 9u) << "eight block reads, then the memory is asked";
    EXPECT_EQ(rig.Transactions()[8], "S AE+ P") << "whether it still answers";

    ImageRig absent;
    absent.eeprom.SetPresent(false);
    try {
        ReadMemory(absent.memory);
        FAIL() << "read FF from an absent memory";
    } catch (const BusError& e) {
        EXPECT_NE(e.English().find("does not answer at A0"), std::string::npos) << e.English();
    }
}

TEST(ImageReadTest, AMemoryThatDiesDuringTheLastBlockEndsTheReadWithAnError) {
    for (const bool write : {false, true}) {
        SCOPED_TRACE(write ? "the read before a write" : "a read");
        ImageRig rig;
        const auto before = rig.eeprom.Memory();
        rig.eeprom.StopAnsweringAfterReading(1900);  // inside block 7: the rest reads as FF
        try {
            if (write) {
                // The first and the last page, which the memory already holds: nothing would be
                // written, and the read before the write spans the whole memory.
                MemoryImage image;
                for (int a = 0; a < 16; ++a) image.bytes[a] = before[a], image.covered.set(a);
                for (int a = 0x7F0; a < 0x800; ++a)
                    image.bytes[a] = before[a], image.covered.set(a);
                WriteImage(rig.memory, image);
            } else {
                ReadMemory(rig.memory);
            }
            FAIL() << "148 bytes of FF passed as the end of the memory";
        } catch (const BusError& e) {
            EXPECT_NE(e.English().find("stopped answering during the read of block 7 "
                                       "(0x700-0x7FF)"),
                      std::string::npos)
                << e.English();
            EXPECT_NE(e.Russian().find("блока 7"), std::string::npos);
        }
        EXPECT_EQ(rig.Transactions().back(), "S AE- P");
        EXPECT_EQ(rig.eeprom.CommittedWrites(), 0);
    }
}

TEST(ImageWriteTest, WritesOnlyTheChangedPagesPollsForTheWriteCycleAndReadsThemBack) {
    ImageRig rig;
    const MemoryBytes before = rig.eeprom.Memory();
    MemoryImage image = rig.Current();  // pages 0x000, 0x050 and 0x7f0 differ
    for (int i = 0; i < 16; ++i) image.bytes[i] = image.bytes[0x50 + i] = image.bytes[0x7F0 + i] = 0x5A;
    const WriteReport report = WriteImage(rig.memory, image);
    EXPECT_EQ(report.pagesWritten, 3);
    EXPECT_EQ(report.pagesSkipped, 125);
    EXPECT_TRUE(report.verified);
    EXPECT_EQ(report.verify.differing, 0);
    EXPECT_EQ(report.verify.compared, 48);
    EXPECT_EQ(testing::Contents(rig.eeprom), image.bytes);

    const auto t = rig.Transactions(9);  // after the read of the eight blocks and its check
    // Before the first page write, one random read checks that the memory takes a one-byte word
    // address: it gives the byte the block read gave there.
    std::smatch check;
    ASSERT_FALSE(t.empty());
    ASSERT_TRUE(std::regex_match(t[0], check, std::regex("S (A[02468ACE])\\+ ([0-9A-F]{2})\\+ "
                                                         "Sr A[13579BDF]\\+ ([0-9A-F]{2})\\. P")))
        << t[0];
    const int checked = (std::stoi(check[1], nullptr, 16) - 0xA0) / 2 * 256 +
                        std::stoi(check[2], nullptr, 16);
    EXPECT_EQ(std::stoi(check[3], nullptr, 16), before[static_cast<size_t>(checked)]);
    size_t i = 1;
    auto expect = [&](const std::string& tx) {
        if (i < t.size()) EXPECT_EQ(t[i++], tx);
        else ADD_FAILURE() << "missing: " << tx;
    };
    auto polls = [&](const std::string& refused) {
        int n = 0;
        while (i < t.size() && t[i] == refused) ++i, ++n;
        EXPECT_GT(n, 0) << "the memory was busy after the stop, and was polled";
    };
    expect(PageWrite(0xA0, 0x00, 0x5A));
    polls("S A0- P");
    expect(PageWrite(0xA0, 0x50, 0x5A));  // the acknowledged poll goes straight on
    polls("S AE- P");
    expect(PageWrite(0xAE, 0xF0, 0x5A));
    polls("S A0- P");
    expect("S A0+ P");  // the last poll only waits for the end of the write cycle
    ASSERT_EQ(t.size(), i + 3) << "then one read-back per run of pages";
    EXPECT_EQ(t[i].substr(0, 16), "S A0+ 00+ Sr A1+");
    EXPECT_EQ(t[i + 2].substr(0, 16), "S AE+ F0+ Sr AF+");
    EXPECT_TRUE(rig.Decode().faults.empty());
}

TEST(ImageWriteTest, AnIdenticalImageWritesNothingAndAPartialOneKeepsTheRest) {
    ImageRig rig;
    const auto before = rig.eeprom.Memory();
    const WriteReport same = WriteImage(rig.memory, rig.Current());
    EXPECT_EQ(same.pagesWritten, 0);
    EXPECT_EQ(rig.Transactions().size(), 9u) << "one read and its check, no page write";

    MemoryImage partial;  // covers 0x105..0x107 only
    for (int a = 0x105; a <= 0x107; ++a) partial.bytes[a] = 0x11, partial.covered.set(a);
    const WriteReport r = WriteImage(rig.memory, partial);
    EXPECT_EQ(r.pagesWritten, 1);
    for (int a = 0; a < 2048; ++a)
        ASSERT_EQ(rig.eeprom.Memory()[a], a >= 0x105 && a <= 0x107 ? 0x11 : before[a]) << a;
}

TEST(ImageWriteTest, AWriteProtectedMemoryFailsItsReadBackAndASlowOneNamesThePage) {
    ImageRig rig;
    rig.eeprom.SetWriteProtected(true);
    const WriteReport r = EraseMemory(rig.memory, 0x00, {true, true});
    EXPECT_EQ(r.pagesWritten, 128);
    EXPECT_GT(r.verify.differing, 1000);
    ASSERT_EQ(r.verify.first.size(), size_t(kShownMismatches));
    EXPECT_EQ(r.verify.first[0].expected, 0x00);

    ImageRig slow;
    slow.eeprom.SetWriteCycle(std::chrono::seconds(1));
    try {
        EraseMemory(slow.memory, 0x00, {true, true});
        FAIL() << "a 1 s write cycle passed";
    } catch (const BusError& e) {
        EXPECT_NE(e.English().find("page 0x000"), std::string::npos) << e.English();
        EXPECT_NE(e.English().find("100 ms"), std::string::npos);
        // The page went out: the memory may hold it, and the user hears so.
        EXPECT_NE(e.English().find("; 1 of 128 pages to write were written before this, so the "
                                   "memory now holds a mix of old and new contents: mend the "
                                   "cause and run the same command again"),
                  std::string::npos)
            << e.English();
        EXPECT_NE(e.Russian().find("записано страниц: 1 из 128"), std::string::npos);
    }
}

TEST(ImageWriteTest, AnErrorOnceAPageIsWrittenSaysHowManyAndWhatToRun) {
    // The port fails after three pages of an erase...
    ImageRig rig;
    const ProgressFn failAfterThreePages = [&](int done, int) {
        if (done == 3 * kPageSize) rig.port.FailAfter(10, "порт пропал");
    };
    try {
        EraseMemory(rig.memory, 0x00, {true, true}, failAfterThreePages);
        FAIL() << "no port failure";
    } catch (const PortError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Port);
        EXPECT_EQ(e.what(), e.English());
        EXPECT_EQ(e.English(), "порт пропал; 3 of 128 pages to write were written before this, so "
                               "the memory now holds a mix of old and new contents: mend the cause "
                               "and run the same command again");
        EXPECT_NE(e.Russian().find("порт пропал\nДо ошибки записано страниц: 3 из 128. "
                                             "Теперь в памяти смесь старого и нового содержимого. "
                                             "Устраните причину и запишите файл ещё раз."),
                  std::string::npos)
            << e.Russian();
    }
    EXPECT_EQ(rig.eeprom.CommittedWrites(), 3);

    // ... or in the read-back of the pages written (two runs: 0x000 and 0x020).
    ImageRig late;
    MemoryImage image;
    for (int a : {0x00, 0x20}) image.bytes[a] = 0x42, image.covered.set(a);
    const ProgressFn failInTheReadBack = [&](int done, int) {
        // The read of the three pages the image touches, two pages written, one read back.
        if (done == 3 * kPageSize + 3 * kPageSize) late.port.FailAfter(10, "port gone");
    };
    try {
        WriteImage(late.memory, image, {}, failInTheReadBack);
        FAIL() << "no port failure";
    } catch (const PortError& e) {
        EXPECT_NE(e.English().find("port gone; all 2 pages to write were written but not read "
                                   "back: run the same command again"),
                  std::string::npos)
            << e.English();
        EXPECT_NE(e.Russian().find("Записаны все страницы (2)"), std::string::npos);
    }

    // Before the first page nothing is added: the memory is as it was.
    ImageRig none(false);
    try {
        EraseMemory(none.memory, 0x00, {true, true});
        FAIL() << "no memory, no error";
    } catch (const BusError& e) {
        EXPECT_EQ(e.English().find("pages"), std::string::npos) << e.English();
    }
}

TEST(ImageWriteTest, ASlowMemoryIsWaitedForAndAStallNeverEndsTheWaitWithoutAPoll) {
    // A worn memory whose write cycle lasts 25 ms: every page is waited out and written.
    ImageRig worn;
    worn.eeprom.SetWriteCycle(std::chrono::milliseconds(25));
    const WriteReport r = EraseMemory(worn.memory, 0x00, {true, true});
    EXPECT_EQ(r.pagesWritten, 128);
    EXPECT_EQ(r.verify.differing, 0);
    EXPECT_GT(worn.eeprom.RefusedAddresses(), 128) << "it was polled";

    // A slower one, polled more than the minimum number of times, when the program stalls (a
    // busy desktop) right after a refused poll until well past the deadline. The memory has
    // finished meanwhile and answers the poll that still comes after the deadline.
    ImageRig rig;
    rig.BusRig::clock.SetStep(std::chrono::microseconds(10));  // 20 us a poll
    rig.eeprom.SetWriteCycle(std::chrono::milliseconds(50));
    bool stalled = false;
    const ClockFn stalling = [&] {
        if (!stalled && rig.eeprom.RefusedAddresses() == 2000) {
            stalled = true;
            rig.BusRig::clock.Advance(kWriteCycleLimit);
        }
        return rig.BusRig::clock();
    };
    MemoryImage image;  // one page to write
    for (int a = 0x40; a < 0x50; ++a) image.bytes[a] = 0x77, image.covered.set(a);
    LineMemoryBus stallingMemory(rig.bus, stalling);
    const WriteReport r2 = WriteImage(stallingMemory, image);
    EXPECT_TRUE(stalled);
    EXPECT_EQ(rig.eeprom.RefusedAddresses(), 2000) << "no poll refused after the stall";
    EXPECT_EQ(r2.pagesWritten, 1);
    EXPECT_EQ(r2.verify.differing, 0);
}

// What a long read put on the wire, without a record of every port call: the byte after each
// start (repeated ones too), which is the device byte, and the stops.
class WireWatch : public sim::BusDevice {
public:
    void OnLines(bool scl, bool sda) override {
        if (scl && scl_ && sda_ && !sda) {  // a start
            bits_ = byte_ = 0;
            counting_ = true;
        } else if (scl && scl_ && !sda_ && sda) {
            ++stops;
        } else if (scl && !scl_ && counting_) {
            byte_ = byte_ << 1 | (sda ? 1 : 0);
            if (++bits_ == 8) devices.push_back(byte_), counting_ = false;
        }
        scl_ = scl;
        sda_ = sda;
    }
    bool SdaOut() const override { return true; }

    std::vector<int> devices;
    int stops = 0;

private:
    bool scl_ = true, sda_ = true, counting_ = false;
    int bits_ = 0, byte_ = 0;
};

// Words of a decoded transaction: "S", "A0+", ..., "P".
size_t Words(const std::string& transaction) {
    std::istringstream in(transaction);
    return static_cast<size_t>(std::distance(std::istream_iterator<std::string>(in), {}));
}

// Two-byte word addresses, one block: a 24c64 is read in one transaction with progress while the
// bytes come, a write and a verify of part of it read only the span of the image.
TEST(ImageChipTest, A24c64IsReadInOneTransactionAndAPartOfItWrittenAndVerifiedAlone) {
    ImageRig rig(true, ChooseChip("24c64"));
    std::vector<std::pair<int, int>> told;
    std::vector<bool> inRead;  // whether the bus was inside a transaction at each report
    EXPECT_EQ(ReadMemory(rig.memory,
                         [&](int done, int total) {
                             told.push_back({done, total});
                             inRead.push_back(rig.bus.Interrupted());
                         }),
              rig.eeprom.Memory());
    auto t = rig.Transactions();
    ASSERT_EQ(t.size(), 2u) << "one sequential read of 8 KB, then the memory is asked";
    EXPECT_EQ(t[0].substr(0, 20), "S A0+ 00+ 00+ Sr A1+");
    EXPECT_EQ(Words(t[0]), 6u + 8192 + 1);
    EXPECT_EQ(t[1], "S A0+ P");
    ASSERT_EQ(told.size(), 32u) << "every 256 bytes";
    EXPECT_EQ(told.front(), std::make_pair(256, 8192));
    EXPECT_EQ(told.back(), std::make_pair(8192, 8192));
    EXPECT_EQ(std::count(inRead.begin(), inRead.end(), true), 31) << "while the bytes come";

    // 35 bytes over two of its 32-byte pages: the two pages are read, checked, written.
    const MemoryBytes before = rig.eeprom.Memory();
    MemoryImage image(8192);
    for (int a = 0x1234; a <= 0x1256; ++a)
        image.bytes[a] = static_cast<std::uint8_t>(~before[a]), image.covered.set(a);
    size_t from = rig.Transactions().size();
    const WriteReport r = WriteImage(rig.memory, image);
    EXPECT_EQ(r.pagesWritten, 2);
    EXPECT_EQ(r.pagesSkipped, 254);
    EXPECT_EQ(r.verify.differing, 0);
    EXPECT_EQ(r.after.CoveredCount(), 64);
    for (int a = 0; a < 8192; ++a)
        ASSERT_EQ(rig.eeprom.Memory()[a], image.covered[a] ? image.bytes[a] : before[a]) << a;
    t = rig.Transactions(from);
    ASSERT_GE(t.size(), 5u);
    EXPECT_EQ(t[0].substr(0, 20), "S A0+ 12+ 20+ Sr A1+");
    EXPECT_EQ(Words(t[0]), 6u + 64 + 1);
    EXPECT_EQ(t[1], "S A0+ P");
    EXPECT_TRUE(std::regex_match(t[2], std::regex("S A0\\+ 12\\+ [234][0-9A-F]\\+ Sr A1\\+ "
                                                  "[0-9A-F]{2}\\. P")))
        << t[2];
    EXPECT_EQ(t[3].substr(0, 14), "S A0+ 12+ 20+ ");
    EXPECT_EQ(Words(t[3]), 4u + 32 + 1) << "a whole page of 32 bytes";

    from = rig.Transactions().size();
    const ImageDiff diff = VerifyImage(rig.memory, image);
    EXPECT_EQ(diff.compared, 35);
    EXPECT_EQ(diff.differing, 0);
    t = rig.Transactions(from);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].substr(0, 20), "S A0+ 12+ 34+ Sr A1+");
    EXPECT_EQ(Words(t[0]), 6u + 35 + 1) << "exactly the span the image covers";
}

// A 64 KB part is one block: one transaction for the whole of it, and port calls for the bytes
// alone. The 128 KB parts have two, one read each; their block bit rides in bit 1 (24c1024) or
// bit 3 (24xx1025).
TEST(ImageChipTest, A24c512IsOneReadAndEachBlockOfThe128KPartsOneRead) {
    {
        ImageRig rig(true, ChooseChip("24c512"));
        rig.port.SetRecording(false);
        WireWatch watch;
        rig.port.Attach(watch);
        EXPECT_TRUE(ReadMemory(rig.memory) == rig.eeprom.Memory());
        rig.port.Detach(watch);
        EXPECT_EQ(watch.devices, (std::vector<int>{0xA0, 0xA1, 0xA0}));
        EXPECT_EQ(watch.stops, 2);
        // Each byte: eight bits of four port calls and the acknowledge.
        EXPECT_LT(rig.port.Writes() + rig.port.Reads(), 65536L * 36 + 200);
    }
    for (const auto& [chip, second, pageSize] :
         {std::tuple{"24c1024", 0xA2, 256}, std::tuple{"24xx1025", 0xA8, 128}}) {
        SCOPED_TRACE(chip);
        ImageRig rig(true, ChooseChip(chip));
        rig.port.SetRecording(false);
        WireWatch watch;
        rig.port.Attach(watch);
        const auto& m = rig.eeprom.Memory();
        EXPECT_TRUE(ReadRange(rig.memory, 0xFF00, 0x200) ==
                    MemoryBytes(m.begin() + 0xFF00, m.begin() + 0x10100));
        EXPECT_EQ(watch.devices, (std::vector<int>{0xA0, 0xA1, second, second | 1, second}));

        // A write and a verify of 16 bytes across the boundary of the blocks.
        const MemoryBytes before = rig.eeprom.Memory();
        MemoryImage image(131072);
        for (int a = 0xFFF8; a < 0x10008; ++a)
            image.bytes[a] = static_cast<std::uint8_t>(~before[a]), image.covered.set(a);
        const WriteReport r = WriteImage(rig.memory, image);
        EXPECT_EQ(r.pagesWritten, 2);
        EXPECT_EQ(r.verify.compared, 2 * pageSize);
        EXPECT_EQ(r.verify.differing, 0);
        const auto& after = rig.eeprom.Memory();
        EXPECT_TRUE(std::equal(after.begin() + 0xFFF8, after.begin() + 0x10008,
                               image.bytes.begin() + 0xFFF8));
        watch.devices.clear();
        const ImageDiff diff = VerifyImage(rig.memory, image);
        EXPECT_EQ(diff.compared, 16);
        EXPECT_EQ(diff.differing, 0);
        EXPECT_EQ(watch.devices, (std::vector<int>{0xA0, 0xA1, second, second | 1, second}));

        // The block is named by number and its addresses in five digits.
        rig.eeprom.StopAnsweringAfterReading(0x180);
        try {
            ReadRange(rig.memory, 0xFF00, 0x200);
            FAIL() << "FF passed as the end of the memory";
        } catch (const BusError& e) {
            EXPECT_NE(e.English().find("during the read of block 1 (0x10000-0x1FFFF)"),
                      std::string::npos)
                << e.English();
        }
        rig.port.Detach(watch);
    }
}

// The write cycle is polled for as long as the chip's own limit: 200 ms for the 24cm02 (10 ms
// parts), 100 ms for the 5 ms ones; pages are named in the chip's address digits.
TEST(ImageChipTest, TheWriteCycleIsWaitedForAsLongAsTheChipAllows) {
    for (const auto& [chip, done] : {std::pair{"24cm02", true}, std::pair{"24c1024", false}}) {
        SCOPED_TRACE(chip);
        ImageRig rig(true, ChooseChip(chip));
        rig.port.SetRecording(false);
        // Polls of 20 us: the time decides when to give up, not the number of polls.
        rig.BusRig::clock.SetStep(std::chrono::microseconds(10));
        rig.eeprom.SetWriteCycle(std::chrono::milliseconds(150));
        MemoryImage image(rig.eeprom.Size());
        for (int a = 0x100; a < 0x110; ++a) image.bytes[a] = 0x42, image.covered.set(a);
        try {
            const WriteReport r = WriteImage(rig.memory, image);
            EXPECT_TRUE(done) << "a 150 ms write cycle passed";
            EXPECT_EQ(r.pagesWritten, 1);
            EXPECT_EQ(r.verify.differing, 0);
        } catch (const BusError& e) {
            EXPECT_FALSE(done) << e.English();
            EXPECT_NE(e.English().find("page 0x00100: the memory did not finish its write cycle "
                                       "within 100 ms"),
                      std::string::npos)
                << e.English();
        }
    }
}

// A memory that takes the word address in the other width gives back other bytes than a read of
// the chosen width expects: a 24c02 chosen with a 24c64 on the bus, and the reverse, are refused
// before any page is written. Where the contents cannot tell (all alike), the write goes on and
// the read-back names the likely chip; a write-protected memory, which reads back as it was,
// does not have it named.
TEST(ImageChipTest, AMemoryThatTakesTheOtherWordAddressWidthIsNeverWritten) {
    const struct {
        const char* chosen;
        const char* onTheBus;
        const char* cause;
    } cases[] = {
        {"24c02", "24c64", "one-byte word address: is the chip a 24c32 or larger?"},
        {"24c64", "24c02", "two-byte word address: is the chip a 24c16 or smaller?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        ImageRig rig(true, ChooseChip(c.onTheBus));
        const ChipChoice chosen = ChooseChip(c.chosen);
        LineMemoryBus memory(rig.bus, rig.clock, chosen.Geometry());
        const MemoryBytes before = rig.eeprom.Memory();
        MemoryImage image(chosen.Part().size);
        for (int a = 0x40; a < 0x48; ++a) image.bytes[a] = 0x5A, image.covered.set(a);
        try {
            WriteImage(memory, image);
            FAIL() << "written through the wrong word address";
        } catch (const BusError& e) {
            EXPECT_NE(e.English().find(std::string("the memory does not read back consistently "
                                                   "with a ") + c.cause + "; nothing was written"),
                      std::string::npos)
                << e.English();
            EXPECT_NE(e.Russian().find("Ничего не записано"), std::string::npos);
        }
        EXPECT_EQ(rig.eeprom.CommittedWrites(), 0);
        EXPECT_EQ(rig.eeprom.Memory(), before);
        for (const std::string& t : rig.Transactions())
            EXPECT_TRUE(t.find(" Sr ") != std::string::npos || t == "S A0+ P") << "written: " << t;
    }

    ImageRig erased(true, ChooseChip("24c02"));
    std::ranges::fill(erased.eeprom.Memory(), 0xFF);
    LineMemoryBus chosen(erased.bus, erased.clock, ChooseChip("24c64").Geometry());
    MemoryImage image(8192);
    for (int a = 0x40; a < 0x60; ++a)
        image.bytes[a] = static_cast<std::uint8_t>(a), image.covered.set(a);
    const WriteReport r = WriteImage(chosen, image);
    EXPECT_GT(r.verify.differing, 0);
    EXPECT_EQ(r.addressingDoubt.en,
              "the memory may not take a two-byte word address: is the chip a 24c16 or smaller?");

    ImageRig locked(true, ChooseChip("24c64"));
    locked.eeprom.SetWriteProtected(true);
    const WriteReport same = WriteImage(locked.memory, image);
    EXPECT_EQ(same.verify.differing, 32);
    EXPECT_TRUE(same.addressingDoubt.en.empty()) << same.addressingDoubt.en;
}

TEST(PollAcknowledgeTest, GivesUpOnlyAfterTheLimitAndTheMinimumPollsWithAPollAfterTheDeadline) {
    EXPECT_EQ(kWriteCycleLimit, 20 * k24c16.writeCycle);
    EXPECT_EQ(MinimumPolls(kWriteCycleLimit), 1000) << "100 us a poll at 100 kHz";
    EXPECT_EQ(MinimumPolls(std::chrono::seconds(10)), 1000) << "capped";
    // Fast polls: the time decides; slow ones: the minimum number; a clock that never moves:
    // the bound on tries.
    const std::pair<TimeNs, size_t> cases[] = {{std::chrono::microseconds(10), 10000},
                                               {std::chrono::milliseconds(1), 1000},
                                               {TimeNs{0}, 100000}};
    for (const auto& [step, expected] : cases) {
        ImageRig absent(false);
        absent.port.SetRecording(step != TimeNs{0});
        SteppingClock clock(step);
        std::vector<TimeNs> readings;  // the wait's start, then one before each poll
        const ClockFn fn = [&] { return readings.push_back(clock()), readings.back(); };
        EXPECT_FALSE(PollAcknowledge(absent.bus, 0xA0, fn));
        EXPECT_EQ(readings.size() - 1, expected) << step.count();
        if (step != TimeNs{0}) {
            EXPECT_EQ(absent.Transactions().size(), expected);
            EXPECT_GE(readings.back(), readings.front() + kWriteCycleLimit) << "a poll after it";
        }
        EXPECT_TRUE(absent.port.Sda() && absent.port.Scl());
    }
}

}  // namespace
}  // namespace lpt
