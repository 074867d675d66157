// The operations on a memory behind a kernel I2C adapter: the fake kernel runs each transfer on
// the simulated memory's lines, and the tests pin the messages the adapter was given.
#include "operations/kernel_memory_bus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "operations/detect.h"
#include "operations/image_operations.h"
#include "operations/operations.h"
#include "support/bus_rig.h"
#include "support/fake_i2c_dev.h"

namespace lpt {
namespace {

using testing::FakeI2cDev;
using testing::Hex2;
using namespace std::chrono_literals;

std::uint8_t Pattern(int a) { return static_cast<std::uint8_t>((a * 37 + 11) ^ (a >> 8)); }

// The simulated memory behind adapter i2c-7, the memory bus on it, a grid and a pause on the
// bus's virtual clock.
struct KernelRig {
    explicit KernelRig(const ChipChoice& chip = {}, bool force = false,
                       const testing::SimBus::Fill& fill = Pattern, bool present = true)
        : dev(std::make_shared<FakeI2cDev>(chip, fill, present)),
          memory(adapter, dev->sim.clock.Fn(), chip.Geometry(), force),
          grid(chip.Part().size) {}
    std::vector<std::uint8_t>& Bytes() { return dev->sim.eeprom.Memory(); }

    std::shared_ptr<FakeI2cDev> dev;
    I2cAdapter adapter{dev, 7};
    KernelMemoryBus memory;
    DumpGrid grid;
    // Every turn of a pause moves virtual time on by 100 us, as the bus rig's pause does.
    TimedPause pause{[this] {
                         dev->sim.clock.Advance(100us);
                         return dev->sim.clock();
                     },
                     {}};
};

// "50 w 00 0B 30": a write message of `bytes` to `address`.
std::string Write(int address, const std::vector<int>& bytes) {
    std::string t = Hex2(address) + " w";
    for (int b : bytes) t += " " + Hex2(b);
    return t;
}
// "50 w 10 | 50 r 256": a random or sequential read of `count` bytes from one-byte `word`.
std::string Read(int address, int word, int count) {
    return Write(address, {word}) + " | " + Hex2(address) + " r " + std::to_string(count);
}
// The two reads of bytes 0-2 that look for an SPD before a write at `address`.
std::vector<std::string> SpdCheck(int address = 0x50) {
    return {Read(address, 0, 3), Read(address, 0, 3)};
}

// The length of every message in the log, in bytes.
std::vector<int> Lengths(const std::vector<std::string>& messages) {
    std::vector<int> lengths;
    for (const std::string& m : messages) {
        std::istringstream in(m.substr(3));
        std::string kind, token;
        in >> kind;
        int n = 0;
        if (kind == "r") {
            in >> n;
        } else {
            while (in >> token) ++n;
        }
        lengths.push_back(n);
    }
    return lengths;
}

void ExpectGridHolds(const DumpGrid& grid, const std::vector<std::uint8_t>& bytes) {
    for (int a = 0; a < static_cast<int>(bytes.size()); ++a)
        ASSERT_EQ(grid.CellText(a / 16 + 1, a % 16 + 1), HexForm(bytes[a])) << a;
}

TEST(KernelButtonsTest, ReadsAreOneCombinedTransferPerReadAndFillTheGrid) {
    KernelRig rig;
    const OperationResult block = BlockRead(rig.memory, rig.grid);
    std::vector<std::string> expected;
    for (int b = 0; b < 8; ++b) expected.push_back(Read(0x50 + b, 0, 256));
    EXPECT_EQ(rig.dev->transfers, expected);
    EXPECT_EQ(block.transactions, 8);
    EXPECT_EQ(block.unanswered, 0);
    EXPECT_EQ(block.data, rig.Bytes());
    ExpectGridHolds(rig.grid, rig.Bytes());

    KernelRig bytes;
    std::ranges::generate(bytes.Bytes(), [a = 0]() mutable { return Pattern(2047 - a++); });
    const OperationResult random = ByteRead(bytes.memory, bytes.grid);
    ASSERT_EQ(bytes.dev->transfers.size(), 2048u);
    for (int a : {0, 0x1FF, 0x5A3, 0x7FF})
        EXPECT_EQ(bytes.dev->transfers[a], Read(0x50 + a / 256, a % 256, 1)) << a;
    EXPECT_EQ(random.transactions, 2048);
    EXPECT_EQ(random.data, bytes.Bytes());
    ExpectGridHolds(bytes.grid, bytes.Bytes());

    // No memory: every read is counted unanswered and the grid still gets FF for each byte.
    KernelRig none({}, false, Pattern, false);
    const OperationResult missing = BlockRead(none.memory, none.grid);
    EXPECT_EQ(missing.unanswered, 8);
    EXPECT_EQ(missing.data, std::vector<std::uint8_t>(2048, 0xFF));
    EXPECT_EQ(none.grid.CellText(128, 16), "FF");
    EXPECT_EQ(none.dev->transfers[7], Read(0x57, 0, 256) + " -> ENXIO");
}

TEST(KernelButtonsTest, WritesSendTheirPagesOrBytesAsWriteMessagesAndReadThemBack) {
    KernelRig rig;
    const auto before = rig.Bytes();
    const OperationResult fill = BlockFill(rig.memory, rig.pause);
    std::vector<std::string> expected = SpdCheck();
    for (int page = 0; page < 16; ++page) {
        std::vector<int> bytes{page * 16};
        bytes.resize(17, 0xFF);
        expected.push_back(Write(0x50, bytes));
    }
    expected.push_back(Read(0x50, 0, 256));
    EXPECT_EQ(rig.dev->transfers, expected);
    EXPECT_EQ(fill.transactions, 16);
    EXPECT_EQ(fill.unanswered, 0);
    EXPECT_EQ(fill.readBack.compared, 256);
    EXPECT_TRUE(fill.readBack.mismatches.empty());
    EXPECT_TRUE(std::all_of(rig.Bytes().begin(), rig.Bytes().begin() + 256,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(rig.Bytes().begin() + 256, rig.Bytes().end(), before.begin() + 256));

    rig.dev->transfers.clear();
    const OperationResult pattern = PatternWrite(rig.memory, rig.pause);
    ASSERT_EQ(rig.dev->transfers.size(), 2u + 256u + 1u);
    EXPECT_EQ(rig.dev->transfers[2], Write(0x50, {0x00, 0x00}));
    EXPECT_EQ(rig.dev->transfers[2 + 0xA5], Write(0x50, {0xA5, 0xA5}));
    EXPECT_EQ(rig.dev->transfers.back(), Read(0x50, 0, 256));
    EXPECT_EQ(pattern.unanswered, 0);
    EXPECT_EQ(pattern.readBack.compared, 256);
    EXPECT_TRUE(pattern.readBack.mismatches.empty());
    for (int a = 0; a < 256; ++a) ASSERT_EQ(rig.Bytes()[a], a);
}

TEST(KernelButtonsTest, ScanProbesWithOneByteReadsAndSkipsTheReservedAddresses) {
    KernelRig rig;
    struct Log : ScanListener {
        void Answered(std::uint8_t a) override { events.push_back("answered " + Hex2(a)); }
        void Probed(std::uint8_t a) override { events.push_back("probed " + Hex2(a)); }
        std::vector<std::string> events;
    } log;
    const std::vector<std::uint8_t> blocks{0xA0, 0xA2, 0xA4, 0xA6, 0xA8, 0xAA, 0xAC, 0xAE};
    EXPECT_EQ(BusScan(rig.memory, log), blocks);
    const auto& t = rig.dev->transfers;
    ASSERT_EQ(t.size(), 128u - 16u) << "7-bit 0x00-0x07 and 0x78-0x7F are not probed";
    EXPECT_EQ(t.front(), "08 r 1 -> ENXIO");
    EXPECT_EQ(t[0x50 - 8], "50 r 1");
    EXPECT_EQ(t.back(), "77 r 1 -> ENXIO");
    ASSERT_EQ(log.events.size(), 128u + 8u);
    EXPECT_EQ(log.events[0x50], "answered A0") << "before the probe of A0 is over";
    EXPECT_EQ(log.events[0x51], "probed A0");
    EXPECT_EQ(log.events.back(), "probed FE");
}

TEST(KernelTransactionsTest, OpeningsWaitOutAWriteCycleAndRefusalsAreReportedAsAsked) {
    KernelRig rig;
    const std::uint8_t data[] = {1, 2, 3, 4};
    std::vector<std::uint8_t> got;
    const ByteSink keep = [&got](int, std::uint8_t v) { got.push_back(v); };
    const auto write = [&](int at, Opening opening) {
        return rig.memory.PageWrite(at, data, 4, opening, OnRefusal::StopThere);
    };
    const auto failed = [&] {
        return std::ranges::count_if(rig.dev->transfers, [](const std::string& t) {
            return t.ends_with("-> ENXIO");
        });
    };
    // In the write cycle of the write before: refused once, or waited for.
    EXPECT_TRUE(write(0x10, Opening::Once()).Answered());
    EXPECT_EQ(rig.memory.SequentialRead(0x10, 4, keep, Opening::Once(), OnRefusal::StopThere)
                  .refused,
              Transfer::Byte::DeviceAddress);
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(rig.memory.SequentialRead(0x10, 4, keep, Opening::Once(), OnRefusal::SendOn)
                     .Answered());
    EXPECT_EQ(got, std::vector<std::uint8_t>(4, 0xFF)) << "the bytes not read, as on the lines";
    EXPECT_EQ(rig.memory.CurrentAddressRead(0xA0, 1, keep).refused, Transfer::Byte::ReadAddress);
    got.clear();
    EXPECT_TRUE(rig.memory.SequentialRead(0x10, 4, keep, Opening::Polling(), OnRefusal::StopThere)
                    .Answered());
    EXPECT_EQ(got, std::vector<std::uint8_t>(data, data + 4));
    EXPECT_EQ(rig.dev->transfers.back(), Read(0x50, 0x10, 4));
    for (const Opening opening : {Opening::Retrying(), Opening::Polling()}) {
        EXPECT_TRUE(rig.memory.PollAcknowledge(0));
        EXPECT_TRUE(write(0x20, Opening::Once()).Answered());
        rig.dev->transfers.clear();
        EXPECT_TRUE(write(0x30, opening).Answered());
        // Retrying sends the write again; Polling polls with one-byte reads, then writes.
        const std::string tried = opening.way == Opening::Way::Retrying
                                      ? Write(0x50, {0x30, 1, 2, 3, 4})
                                      : std::string("50 r 1");
        EXPECT_EQ(rig.dev->transfers.front(), tried + " -> ENXIO");
        EXPECT_GT(failed(), 10) << "a 5 ms write cycle";
        EXPECT_EQ(rig.dev->transfers.back(), Write(0x50, {0x30, 1, 2, 3, 4}));
    }
    rig.dev->sim.eeprom.SetPresent(false);
    EXPECT_FALSE(rig.memory.PollAcknowledge(0, 2ms));
    EXPECT_EQ(write(0x40, Opening::Polling(2ms)).refused, Transfer::Byte::DeviceAddress);
    EXPECT_EQ(rig.dev->transfers.back(), "50 r 1 -> ENXIO") << "no write after the polls";
}

TEST(KernelImageTest, ReadWriteVerifyEraseAndDetectWorkOverTheAdapter) {
    KernelRig rig;
    EXPECT_EQ(ReadMemory(rig.memory), rig.Bytes());
    ASSERT_EQ(rig.dev->transfers.size(), 9u);
    EXPECT_EQ(rig.dev->transfers[8], "57 r 1") << "whether the memory still answers";

    MemoryImage image;
    for (int a : {0x43, 0x44, 0x7F5}) {
        image.bytes[a] = static_cast<std::uint8_t>(~Pattern(a));
        image.covered.set(a);
    }
    rig.dev->transfers.clear();
    const WriteReport report = WriteImage(rig.memory, image);
    EXPECT_EQ(report.pagesWritten, 2);
    EXPECT_TRUE(report.verified);
    EXPECT_EQ(report.verify.differing, 0);
    for (int a : {0x43, 0x44, 0x7F5}) EXPECT_EQ(rig.Bytes()[a], image.bytes[a]) << a;
    std::vector<int> page{0x40};
    for (int a = 0x40; a < 0x50; ++a)
        page.push_back(image.covered[a] ? image.bytes[a] : Pattern(a));
    EXPECT_NE(std::ranges::find(rig.dev->transfers, Write(0x50, page)), rig.dev->transfers.end());

    EXPECT_EQ(VerifyImage(rig.memory, image).differing, 0);
    rig.Bytes()[0x44] ^= 1;
    EXPECT_EQ(VerifyImage(rig.memory, image).differing, 1);
    EraseMemory(rig.memory, 0x00);
    EXPECT_EQ(rig.Bytes(), std::vector<std::uint8_t>(2048, 0x00));

    // Reads longer than i2c-dev's 8192-byte message go in pieces of that.
    KernelRig large(ChooseChip("24c512"));
    const auto& m = large.Bytes();
    EXPECT_EQ(ReadRange(large.memory, 100, 20000),
              std::vector<std::uint8_t>(m.begin() + 100, m.begin() + 20100));
    EXPECT_EQ(large.dev->transfers,
              (std::vector<std::string>{Write(0x50, {0x00, 0x64}) + " | 50 r 8192",
                                        Write(0x50, {0x20, 0x64}) + " | 50 r 8192",
                                        Write(0x50, {0x40, 0x64}) + " | 50 r 3616", "50 r 1"}));

    for (const char* name : {"24c02", "24c16", "24c64", "24xx1025"}) {
        SCOPED_TRACE(name);
        KernelRig part(ChooseChip(name));
        const DetectReport found = Detect(part.memory);
        EXPECT_EQ(found.candidates, std::vector<const Chip*>{FindChip(name)});
        EXPECT_EQ(found.addressBytes, ChooseChip(name).Part().addressBytes);
        EXPECT_EQ(part.dev->sim.eeprom.CommittedWrites(), 0);
        for (const std::string& t : part.dev->transfers) {
            if (t.find(" w ") != std::string::npos) {
                EXPECT_NE(t.find(" r "), std::string::npos) << "a write on its own: " << t;
            }
        }
    }
}

TEST(KernelChunkingTest, AnAdapterOf60BytesStillReadsAndWritesByteExact) {
    for (const char* name : {"24c64", "24c512"}) {
        SCOPED_TRACE(name);
        const ChipChoice chip = ChooseChip(name);
        const MemoryGeometry g = chip.Geometry();
        KernelRig rig(chip);
        rig.dev->messageLimit = 60;
        // The 24c64 written whole; three pages of the 24c512, from its third on.
        const bool whole = g.size <= 8192;
        const int first = whole ? 0 : 2 * g.pageSize;
        std::vector<std::uint8_t> bytes(static_cast<size_t>(whole ? g.size : 3 * g.pageSize));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = Pattern(3 * (first + int(i)) + 1);
        auto expected = rig.Bytes();
        std::ranges::copy(bytes, expected.begin() + first);
        const WriteReport report =
            WriteImage(rig.memory, MemoryImage::Part(g.size, first, bytes), {.allPages = whole});
        EXPECT_EQ(report.verify.differing, 0);
        EXPECT_EQ(rig.Bytes(), expected);
        EXPECT_EQ(ReadRange(rig.memory, 0, 4 * g.pageSize),
                  std::vector<std::uint8_t>(expected.begin(), expected.begin() + 4 * g.pageSize));
        EXPECT_EQ(rig.adapter.MaxMessage(), 60);

        const auto lengths = Lengths(rig.dev->Messages());
        const long refused = std::ranges::count_if(rig.dev->transfers, [](const std::string& t) {
            return t.find("-> EOPNOTSUPP") != std::string::npos;
        });
        EXPECT_LE(refused, 12) << "a few refusals while the limit is learned";
        size_t i = 0;
        for (const std::string& t : rig.dev->transfers) {
            const bool sent = t.find("-> EOPNOTSUPP") == std::string::npos;
            for (long m = 0; m <= std::ranges::count(t, '|'); ++m, ++i) {
                if (sent) {
                    EXPECT_LE(lengths[i], 60) << t.substr(0, 40);
                }
            }
        }
        // The 24c64's 32-byte page goes whole (34 bytes with its word address); the 24c512's
        // 128-byte page in pieces of 58 data bytes at most, each with its own write cycle.
        const int pageMessage = g.pageSize + 2;
        EXPECT_EQ(std::ranges::count(lengths, pageMessage) > 0, pageMessage <= 60);
        EXPECT_EQ(rig.dev->sim.eeprom.CommittedWrites(),
                  static_cast<long>(bytes.size()) / g.pageSize * ((g.pageSize + 57) / 58));
    }
}

TEST(KernelFailureTest, AnAdapterUnpluggedMidwayEndsTheOperationWithAPortError) {
    KernelRig rig;
    rig.dev->unplugAfter = 3;
    try {
        ReadMemory(rig.memory);
        FAIL() << "a read passed with the adapter gone";
    } catch (const PortError& e) {
        EXPECT_NE(e.English().find("i2c-7 (MCP2221 usb-i2c bridge) went away"), std::string::npos)
            << e.English();
    }
    EXPECT_THROW(BlockRead(rig.memory, rig.grid), PortError) << "gone from /dev as well";

    KernelRig writing;
    writing.dev->unplugAfter = 2 + 8 + 1 + 3;  // the SPD check, the read, one random read
    try {
        EraseMemory(writing.memory, 0x00);
        FAIL() << "an erase passed with the adapter gone";
    } catch (const PortError& e) {
        EXPECT_NE(e.English().find("went away"), std::string::npos) << e.English();
        EXPECT_NE(e.English().find("pages to write were written before this"), std::string::npos)
            << e.English();
    }
}

TEST(KernelWriteGuardTest, APcSmbusOrSpdLikeContentsAreNotWrittenWithoutForce) {
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced" : "not forced");
        KernelRig smbus({}, force);
        smbus.dev->adapters[0].name = "SMBus I801 adapter at efa0";
        const auto before = smbus.Bytes();
        EXPECT_EQ(ReadMemory(smbus.memory), before) << "reads are always allowed";
        if (!force) {
            try {
                BlockFill(smbus.memory, smbus.pause);
                FAIL() << "wrote on a PC's SMBus";
            } catch (const UserError& e) {
                EXPECT_EQ(e.Kind(), ErrorKind::Usage);
                for (const char* part : {"i2c-7 (SMBus I801 adapter at efa0) is a PC's SMBus",
                                         "0x50-0x57", "unable to boot", "--force"})
                    EXPECT_NE(e.English().find(part), std::string::npos) << e.English();
                EXPECT_NE(e.Russian().find("SPD модуля памяти"), std::string::npos);
            }
            EXPECT_EQ(smbus.Bytes(), before);
        } else {
            EXPECT_TRUE(BlockFill(smbus.memory, smbus.pause).readBack.mismatches.empty());
            EXPECT_EQ(smbus.Bytes()[0], 0xFF);
        }

        KernelRig spd(ChooseChip("24c02"), force);
        spd.Bytes()[0] = 0x92, spd.Bytes()[1] = 0x11, spd.Bytes()[2] = 0x0B;  // a DDR3 module's
        const MemoryImage erased = MemoryImage::Full(std::vector<std::uint8_t>(256, 0xFF));
        if (!force) {
            try {
                WriteImage(spd.memory, erased);
                FAIL() << "wrote over an SPD";
            } catch (const UserError& e) {
                for (const char* part : {"0x50 on i2c-7", "92 11 0B, DDR3", "--force"})
                    EXPECT_NE(e.English().find(part), std::string::npos) << e.English();
            }
            EXPECT_EQ(spd.dev->transfers, SpdCheck()) << "nothing after the check";
        } else {
            WriteImage(spd.memory, erased);
            EXPECT_EQ(spd.Bytes(), erased.bytes);
        }
    }
}

TEST(KernelWriteGuardTest, AnAddressAKernelDriverHoldsIsRefusedButStillScanned) {
    KernelRig rig;
    rig.dev->adapters[0].held = {{0x50, "at24"}};
    try {
        ReadMemory(rig.memory);
        FAIL() << "read an address a driver holds";
    } catch (const PortError& e) {
        EXPECT_NE(e.English().find("echo 7-0050 | sudo tee /sys/bus/i2c/drivers/at24/unbind"),
                  std::string::npos)
            << e.English();
    }
    EXPECT_TRUE(rig.dev->transfers.empty());
    ScanListener quiet;
    EXPECT_EQ(BusScan(rig.memory, quiet).front(), 0xA0);
    rig.dev->adapters[0].held.clear();
    rig.dev->calls.clear();
    EXPECT_EQ(ReadMemory(rig.memory), rig.Bytes());
    ReadMemory(rig.memory);
    EXPECT_EQ(std::ranges::count(rig.dev->calls, "I2C_SLAVE 51"), 1) << "asked once per address";
}

// Every part of the table, starting with the simulator's demonstration contents (which must not
// pass for an SPD): images of two pages written and read back, at the start, across every
// boundary between two blocks (two device bytes), and at the end.
class KernelRoundTripTest : public ::testing::TestWithParam<const Chip*> {};

TEST_P(KernelRoundTripTest, ImagesWrittenReadBackEqual) {
    const ChipChoice chip{GetParam()};
    const MemoryGeometry g = chip.Geometry();
    KernelRig rig(chip);
    sim::LoadDemoContents(rig.dev->sim.eeprom);
    auto expected = rig.Bytes();
    std::vector<int> starts{0};
    for (int b = 1; b < g.Blocks(); ++b) starts.push_back(b * g.BlockSize() - g.pageSize);
    starts.push_back(g.size - 2 * g.pageSize);
    for (const int first : starts) {
        SCOPED_TRACE(first);
        std::vector<std::uint8_t> bytes(static_cast<size_t>(2 * g.pageSize));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = Pattern(5 * (first + int(i)) + 3);
        const WriteReport report = WriteImage(rig.memory, MemoryImage::Part(g.size, first, bytes));
        EXPECT_EQ(report.pagesWritten, 2);
        EXPECT_EQ(report.verify.differing, 0);
        EXPECT_EQ(ReadRange(rig.memory, first, static_cast<int>(bytes.size())), bytes);
        std::ranges::copy(bytes, expected.begin() + first);
    }
    EXPECT_EQ(rig.Bytes(), expected) << "nothing written elsewhere";
}

std::vector<const Chip*> EveryChip() {
    std::vector<const Chip*> chips;
    for (const Chip& chip : Chips()) chips.push_back(&chip);
    return chips;
}

INSTANTIATE_TEST_SUITE_P(Table, KernelRoundTripTest, ::testing::ValuesIn(EveryChip()),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
}  // namespace lpt
