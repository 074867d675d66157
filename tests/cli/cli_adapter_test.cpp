// lpt-eeprom-cli on a kernel I2C adapter: every command through the fake kernel's simulated
// memory, the messages each sends, and what a kernel adapter refuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/cli.h"
#include "image/image_file.h"
#include "operations/image_operations.h"
#include "support/fake_i2c_dev.h"

namespace lpt::cli {
namespace {

namespace fs = std::filesystem;
using testing::FakeI2cDev;

std::uint8_t Ramp(int a) { return static_cast<std::uint8_t>(a * 7 + (a >> 8)); }

class CliAdapterTest : public ::testing::Test {
protected:
    CliAdapterTest() : dir_(fs::temp_directory_path() / ("lpt_cli_i2c_" + std::to_string(getpid()))) {
        fs::create_directories(dir_);
        Use(std::make_shared<FakeI2cDev>(ChipChoice{}, Ramp));
    }
    ~CliAdapterTest() override { fs::remove_all(dir_); }

    void Use(std::shared_ptr<FakeI2cDev> fake) {
        kernel = std::move(fake);
        env.clock = kernel->sim.clock.Fn();
        env.openParallelPort = [](const PortChoice&) -> std::shared_ptr<Port> {
            ADD_FAILURE() << "a parallel port was opened";
            return nullptr;
        };
        env.openAdapter = [this](int number) {
            return std::make_shared<I2cAdapter>(kernel, number);
        };
    }
    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        kernel->transfers.clear();
        args.insert(args.begin(), {"--port", "/dev/i2c-7"});
        return RunCli(args, env);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    MemoryBytes Memory() const { return kernel->sim.eeprom.Memory(); }
    // Whether any transfer wrote more than a word address: a write to the memory.
    bool Wrote() const {
        return std::ranges::any_of(kernel->transfers, [](const std::string& t) {
            return t.find(" w ") != std::string::npos && t.find(" | ") == std::string::npos;
        });
    }

    std::shared_ptr<FakeI2cDev> kernel;
    std::ostringstream out, err;
    CliEnvironment env{out, err};

private:
    fs::path dir_;
};

TEST_F(CliAdapterTest, ReadWriteVerifyEraseAndDetectGoThroughTheAdapter) {
    MemoryBytes expected = Memory();
    ASSERT_EQ(Run({"read", "-o", Path("r.bin")}), kStatusDone) << err.str();
    EXPECT_EQ(ReadImageFile(Path("r.bin"), ImageFormat::Binary).bytes, expected);
    // One combined transfer per 256-byte block, each at its block's device address, then the
    // probe of the last block's address after the read.
    ASSERT_GE(kernel->transfers.size(), 8u);
    EXPECT_EQ(kernel->transfers[0], "50 w 00 | 50 r 256");
    EXPECT_EQ(kernel->transfers[7], "57 w 00 | 57 r 256");
    EXPECT_FALSE(Wrote());

    MemoryBytes image(2048, 0x5A);
    image[0x123] = 0x00;
    WriteImageFile(Path("w.bin"), MemoryImage::Full(image), ImageFormat::Binary);
    ASSERT_EQ(Run({"write", Path("w.bin")}), kStatusDone) << err.str();
    EXPECT_EQ(Memory(), image);
    // A page write is one message: the word address and the page's 16 bytes.
    EXPECT_NE(std::ranges::find(kernel->transfers,
                                "50 w 00 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A"),
              kernel->transfers.end());
    EXPECT_EQ(Run({"verify", Path("w.bin")}), kStatusDone) << err.str();
    EXPECT_EQ(out.str(), "verified: 2048 bytes match\n");
    kernel->sim.eeprom.Memory()[0x7FF] ^= 1;
    EXPECT_EQ(Run({"verify", Path("w.bin")}), kStatusMemory);

    ASSERT_EQ(Run({"erase", "-q"}), kStatusDone) << err.str();
    EXPECT_EQ(Memory(), MemoryBytes(2048, 0xFF));

    kernel->sim.eeprom.Memory() = expected;
    ASSERT_EQ(Run({"detect"}), kStatusDone) << err.str();
    EXPECT_NE(out.str().find("fits: 24c16"), std::string::npos) << out.str();
    EXPECT_FALSE(Wrote());
}

TEST_F(CliAdapterTest, TheScanReadsOneByteAtEachAddressAndListsTheSameBytes) {
    ASSERT_EQ(Run({"scan"}), kStatusDone) << err.str();
    EXPECT_EQ(out.str(), "A0\nA2\nA4\nA6\nA8\nAA\nAC\nAE\n");
    // 0x08 to 0x77, each a one-byte read; the reserved addresses are never probed.
    ASSERT_EQ(kernel->transfers.size(), 0x78u - 0x08u);
    EXPECT_EQ(kernel->transfers.front(), "08 r 1 -> ENXIO");
    EXPECT_EQ(kernel->transfers.back(), "77 r 1 -> ENXIO");
    for (const std::string& t : kernel->transfers) EXPECT_NE(t.find(" r 1"), std::string::npos) << t;
}

TEST_F(CliAdapterTest, WhatAnAdapterHasNotIsRefusedAndAMissingOneListsTheOthers) {
    EXPECT_EQ(Run({"test-cable"}), kStatusUsage);
    EXPECT_NE(err.str().find("a kernel I2C adapter has none"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"--cable", "type0", "scan"}), kStatusUsage);
    EXPECT_NE(err.str().find("no cable to choose"), std::string::npos) << err.str();
    EXPECT_TRUE(kernel->calls.empty());  // refused before the adapter was opened

    // --speed does nothing there, and says so.
    EXPECT_EQ(Run({"--speed", "fast", "scan"}), kStatusDone);
    EXPECT_NE(err.str().find("warning: --speed has no effect on a kernel I2C adapter"),
              std::string::npos)
        << err.str();

    out.str("");
    err.str("");
    EXPECT_EQ(RunCli({"--port", "i2c-3", "read"}, env), kStatusPort);
    EXPECT_NE(err.str().find("i2c-7: MCP2221 usb-i2c bridge"), std::string::npos) << err.str();
}

// The memory's address held by a kernel driver, an SMBus-only adapter, an adapter unplugged in
// the middle of a read: each stops the command with its cause, and nothing passes as done.
TEST_F(CliAdapterTest, AdapterFaultsStopTheCommandWithTheirCause) {
    kernel->adapters[0].held[0x50] = "at24";
    EXPECT_EQ(Run({"read", "-o", Path("held.bin")}), kStatusPort);
    EXPECT_NE(err.str().find("at24"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("7-0050"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(Path("held.bin")));
    kernel->adapters[0].held.clear();

    kernel->adapters[0].functions = I2C_FUNC_SMBUS_BYTE | I2C_FUNC_SMBUS_BYTE_DATA;
    EXPECT_EQ(Run({"read"}), kStatusPort);
    EXPECT_NE(err.str().find("SMBus"), std::string::npos) << err.str();
    EXPECT_TRUE(kernel->transfers.empty());

    Use(std::make_shared<FakeI2cDev>(ChipChoice{}, Ramp));
    kernel->unplugAfter = 3;
    EXPECT_EQ(Run({"read", "-o", Path("gone.bin")}), kStatusPort);
    EXPECT_FALSE(fs::exists(Path("gone.bin")));
    const std::string said = err.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("went away"), std::string::npos) << said;
}

// A memory that reads like a module's SPD (byte 2 a DDR4 type) is not written without --force.
TEST_F(CliAdapterTest, SpdLikeContentsAreWrittenOnlyWithForce) {
    Use(std::make_shared<FakeI2cDev>(ChooseChip("24c02"), [](int a) -> std::uint8_t {
        return a == 0 ? 0x23 : a == 1 ? 0x11 : a == 2 ? 0x0C : 0x00;
    }));
    const MemoryBytes before = Memory();
    EXPECT_NE(Run({"--chip", "24c02", "erase"}), kStatusDone);
    EXPECT_NE(err.str().find("--force"), std::string::npos) << err.str();
    EXPECT_EQ(Memory(), before);
    EXPECT_FALSE(Wrote());
    EXPECT_EQ(Run({"--chip", "24c02", "--force", "erase", "-q"}), kStatusDone) << err.str();
    EXPECT_EQ(Memory(), MemoryBytes(256, 0xFF));
}

}  // namespace
}  // namespace lpt::cli
