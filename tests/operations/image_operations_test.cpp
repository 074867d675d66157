#include <gtest/gtest.h>

#include "operations/bus_check.h"
#include "operations/image_operations.h"
#include "operations/memory_bus.h"
#include "support/bus_rig.h"

namespace lpt {
namespace {

using testing::BusRig;
using testing::Hex2;

struct ImageRig : BusRig {
    using BusRig::BusRig;
    ClockFn clock = BusRig::clock.Fn();
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
    EXPECT_EQ(ReadMemory(rig.bus, rig.clock, [&](int done, int total) {
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
        ReadMemory(absent.bus, absent.clock);
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
                MemoryImage image;  // a page the memory already holds: nothing would be written
                for (int a = 0; a < 16; ++a) image.bytes[a] = before[a], image.covered.set(a);
                WriteImage(rig.bus, image, rig.clock);
            } else {
                ReadMemory(rig.bus, rig.clock);
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
    MemoryImage image = rig.Current();  // pages 0x000, 0x050 and 0x7f0 differ
    for (int i = 0; i < 16; ++i) image.bytes[i] = image.bytes[0x50 + i] = image.bytes[0x7F0 + i] = 0x5A;
    const WriteReport report = WriteImage(rig.bus, image, rig.clock);
    EXPECT_EQ(report.pagesWritten, 3);
    EXPECT_EQ(report.pagesSkipped, 125);
    EXPECT_TRUE(report.verified);
    EXPECT_EQ(report.verify.differing, 0);
    EXPECT_EQ(report.verify.compared, 48);
    EXPECT_EQ(testing::Contents(rig.eeprom), image.bytes);

    const auto t = rig.Transactions(9);  // after the read of the eight blocks and its check
    size_t i = 0;
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
    const WriteReport same = WriteImage(rig.bus, rig.Current(), rig.clock);
    EXPECT_EQ(same.pagesWritten, 0);
    EXPECT_EQ(rig.Transactions().size(), 9u) << "one read and its check, no page write";

    MemoryImage partial;  // covers 0x105..0x107 only
    for (int a = 0x105; a <= 0x107; ++a) partial.bytes[a] = 0x11, partial.covered.set(a);
    const WriteReport r = WriteImage(rig.bus, partial, rig.clock);
    EXPECT_EQ(r.pagesWritten, 1);
    for (int a = 0; a < 2048; ++a)
        ASSERT_EQ(rig.eeprom.Memory()[a], a >= 0x105 && a <= 0x107 ? 0x11 : before[a]) << a;
}

TEST(ImageWriteTest, AWriteProtectedMemoryFailsItsReadBackAndASlowOneNamesThePage) {
    ImageRig rig;
    rig.eeprom.SetWriteProtected(true);
    const WriteReport r = EraseMemory(rig.bus, 0x00, rig.clock, {true, true});
    EXPECT_EQ(r.pagesWritten, 128);
    EXPECT_GT(r.verify.differing, 1000);
    ASSERT_EQ(r.verify.first.size(), size_t(kShownMismatches));
    EXPECT_EQ(r.verify.first[0].expected, 0x00);

    ImageRig slow;
    slow.eeprom.SetWriteCycle(std::chrono::seconds(1));
    try {
        EraseMemory(slow.bus, 0x00, slow.clock, {true, true});
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
        EraseMemory(rig.bus, 0x00, rig.clock, {true, true}, failAfterThreePages);
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
        if (done == 2048 + 3 * kPageSize) late.port.FailAfter(10, "port gone");
    };
    try {
        WriteImage(late.bus, image, late.clock, {}, failInTheReadBack);
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
        EraseMemory(none.bus, 0x00, none.clock, {true, true});
        FAIL() << "no memory, no error";
    } catch (const BusError& e) {
        EXPECT_EQ(e.English().find("pages"), std::string::npos) << e.English();
    }
}

TEST(ImageWriteTest, ASlowMemoryIsWaitedForAndAStallNeverEndsTheWaitWithoutAPoll) {
    // A worn memory whose write cycle lasts 25 ms: every page is waited out and written.
    ImageRig worn;
    worn.eeprom.SetWriteCycle(std::chrono::milliseconds(25));
    const WriteReport r = EraseMemory(worn.bus, 0x00, worn.clock, {true, true});
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
    const WriteReport r2 = WriteImage(rig.bus, image, stalling);
    EXPECT_TRUE(stalled);
    EXPECT_EQ(rig.eeprom.RefusedAddresses(), 2000) << "no poll refused after the stall";
    EXPECT_EQ(r2.pagesWritten, 1);
    EXPECT_EQ(r2.verify.differing, 0);
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
