// lpt-eeprom-cli run in-process: files through the simulated memory, the exit statuses and their
// one-line messages, and that a refused file never reaches the bus.
#include "cli/cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

#include "image/image_file.h"
#include "operations/image_operations.h"
#include "setup/port_setup.h"
#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "support/sim_bus.h"

namespace lpt::cli {
namespace {

namespace fs = std::filesystem;

MemoryBytes Pattern(int salt, int size = 2048) {
    MemoryBytes b(static_cast<size_t>(size));
    for (int a = 0; a < size; ++a)
        b[static_cast<size_t>(a)] = static_cast<std::uint8_t>((a * 37 + salt) ^ (a >> 8));
    return b;
}

// A temp folder, and a simulated memory handed to the program as the port --port opens.
class CliTest : public ::testing::Test {
protected:
    CliTest() : dir_(fs::temp_directory_path() / ("lpt_cli_test_" + std::to_string(getpid()))) {
        fs::create_directories(dir_);
        port->Attach(eeprom);
        std::ranges::copy(Pattern(11), eeprom.Memory().begin());
        env.clock = clock.Fn();
        env.openParallelPort = [this](const PortChoice&) -> std::shared_ptr<Port> { return port; };
    }
    ~CliTest() override {
        port->Detach(eeprom);
        if (part_) port->Detach(*part_);
        fs::remove_all(dir_);
    }

    // The memory on the port becomes a `chip` holding Pattern(11) of its size, in place of the
    // 24c16.
    sim::SimEeprom& Put(const char* chip) {
        port->Detach(eeprom);
        if (part_) port->Detach(*part_);
        part_ = std::make_unique<sim::SimEeprom>(clock.Fn(), ChooseChip(chip));
        part_->Memory() = Pattern(11, part_->Size());
        port->Attach(*part_);
        return *part_;
    }

    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return RunCli(args, env);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void WriteText(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string ReadText(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void WriteImage(const std::string& name, const MemoryBytes& bytes) const {
        const auto format = FormatFromExtension(name).value_or(ImageFormat::Binary);
        WriteImageFile(Path(name), MemoryImage::Full(bytes), format);
    }
    MemoryBytes ReadImage(const std::string& name) const {
        return ReadImageFile(Path(name), ImageFormat::Binary).bytes;
    }
    // One message on stderr, from this program.
    void ExpectOneLine(const std::string& part) const {
        const std::string e = err.str();
        EXPECT_EQ(e.rfind("lpt-eeprom-cli: ", 0), 0u) << e;
        EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1) << e;
        EXPECT_NE(e.find(part), std::string::npos) << e;
    }

    SteppingClock clock{std::chrono::microseconds(100)};
    std::shared_ptr<sim::SimPort> port = std::make_shared<sim::SimPort>(LineTiming{}, clock.Fn());
    sim::SimEeprom eeprom{clock.Fn()};
    std::ostringstream out, err;
    CliEnvironment env{out, err};

private:
    fs::path dir_;
    std::unique_ptr<sim::SimEeprom> part_;
};

TEST_F(CliTest, FilesGoThroughTheSimulatedImage) {
    WriteImage("x.bin", Pattern(1));
    WriteImage("y.hex", Pattern(2));
    EXPECT_EQ(Run({"--sim=" + Path("x.bin"), "write", Path("y.hex")}), kStatusDone) << err.str();
    EXPECT_NE(out.str().find("128 written, 0 skipped (already as asked), 128 read back, 0 "
                             "differ\n"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(ReadImage("x.bin"), Pattern(2));  // saved back
    EXPECT_EQ(Run({"--sim=" + Path("x.bin"), "verify", Path("y.hex")}), kStatusDone);
    EXPECT_EQ(out.str(), "verified: 2048 bytes match\n");
    EXPECT_EQ(Run({"read", "-o", Path("z.bin"), "--sim=" + Path("x.bin")}), kStatusDone);
    EXPECT_EQ(ReadText("z.bin"), ReadText("x.bin"));

    // The same data as S-records and as a binary make the same memory.
    WriteImage("s.bin", Pattern(1));
    WriteImage("b.bin", Pattern(1));
    WriteImage("d.srec", Pattern(3));
    WriteImage("d.bin", Pattern(3));
    EXPECT_EQ(Run({"--sim=" + Path("s.bin"), "write", Path("d.srec")}), kStatusDone);
    EXPECT_EQ(Run({"--sim=" + Path("b.bin"), "write", Path("d.bin"), "--all", "-q"}), kStatusDone);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(ReadImage("s.bin"), Pattern(3));
    EXPECT_EQ(ReadText("s.bin"), ReadText("b.bin"));
}

TEST_F(CliTest, TheSimulatedMemoryStartsFromAnyImageFormatAndGoesBackInIt) {
    WriteImage("start.hex", Pattern(1));
    WriteImage("start.srec", Pattern(2));
    WriteImage("new.bin", Pattern(3));
    EXPECT_EQ(Run({"--sim=" + Path("start.hex"), "read", "-o", Path("r.bin")}), kStatusDone)
        << err.str();
    EXPECT_EQ(ReadImage("r.bin"), Pattern(1));
    EXPECT_EQ(Run({"--sim=" + Path("start.hex"), "write", Path("new.bin"), "-q"}), kStatusDone)
        << err.str();
    EXPECT_EQ(ReadText("start.hex").front(), ':');  // still Intel HEX
    EXPECT_EQ(ReadImageFile(Path("start.hex")).bytes, Pattern(3));
    EXPECT_EQ(Run({"--sim=" + Path("start.srec"), "erase", "--value", "0", "-q"}), kStatusDone)
        << err.str();
    EXPECT_EQ(ReadText("start.srec").front(), 'S');
    EXPECT_EQ(ReadImageFile(Path("start.srec")).bytes, MemoryBytes(2048));
    // A run that leaves the memory as it was leaves the file alone.
    const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(Path("start.hex"), stamp);
    EXPECT_EQ(Run({"--sim=" + Path("start.hex"), "write", Path("new.bin")}), kStatusDone);
    EXPECT_NE(out.str().find("0 written, 128 skipped"), std::string::npos) << out.str();
    EXPECT_EQ(fs::last_write_time(Path("start.hex")), stamp);

    // A file that leaves bytes out is refused before the command runs, and stays as it is.
    const std::string part = ":02001000ABCD76\n:00000001FF\n";
    WriteText("part.hex", part);
    EXPECT_EQ(Run({"--sim=" + Path("part.hex"), "erase"}), kStatusUsage);
    ExpectOneLine("part.hex: the file gives 2 of the 2048 bytes of the memory; give a file that "
                  "covers all of them, or --sim alone");
    EXPECT_EQ(ReadText("part.hex"), part);
}

// The simulated memory as another chip: a 24c64 starts from its 8 KB image and goes back into it
// changed; an image of another size, or one that leaves bytes out, is refused naming the chip.
TEST_F(CliTest, TheSimulatedMemoryOfA24c64StartsFromItsImage) {
    const ChipChoice chip = ChooseChip("24c64");
    MemoryBytes bytes(8192);
    for (int a = 0; a < 8192; ++a) bytes[a] = static_cast<std::uint8_t>((a * 37 + 5) ^ (a >> 8));
    WriteImageFile(Path("c64.srec"), MemoryImage::Full(bytes), ImageFormat::SRecord);
    {
        const setup::ChosenPort port =
            setup::OpenPort({PortChoice{}, true, Path("c64.srec"), chip}, clock.Fn());
        I2CBus bus(port.Get(), clock.Fn());
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
        LineMemoryBus memory(bus, clock.Fn(), chip.Geometry());
        EXPECT_EQ(ReadMemory(memory), bytes);
        MemoryImage zeros(8192);  // the last page
        for (int a = 0x1FE0; a < 0x2000; ++a) zeros.bytes[a] = 0, zeros.covered.set(a);
        EXPECT_EQ(lpt::WriteImage(memory, zeros).pagesWritten, 1);
        port.SaveChanges();
    }
    std::fill(bytes.begin() + 0x1FE0, bytes.end(), 0);
    EXPECT_EQ(ReadText("c64.srec").front(), 'S');
    EXPECT_EQ(ReadImageFile(Path("c64.srec"), {}, ImageTarget::Of(chip)).bytes, bytes);

    WriteImage("two.bin", Pattern(1));  // a 24c16's
    WriteText("part.hex", ":02001000ABCD76\n:00000001FF\n");
    try {
        setup::OpenPort({PortChoice{}, true, Path("two.bin"), chip}, clock.Fn());
        FAIL() << "a 2 KB image started a 24c64";
    } catch (const ImageFileError& e) {
        EXPECT_NE(e.English().find("the file is 2048 bytes long; a binary image of the 24c64 must "
                                   "be exactly 8192 bytes"),
                  std::string::npos)
            << e.English();
    }
    try {
        setup::OpenPort({PortChoice{}, true, Path("part.hex"), chip}, clock.Fn());
        FAIL() << "a partial image started a 24c64";
    } catch (const setup::PartialStartImage& e) {
        EXPECT_EQ(std::string(e.what()), Path("part.hex") + ": the file gives 2 of the 8192 bytes "
                                                             "of the 24c64");
    }
}

TEST_F(CliTest, ReadToStdoutGivesTheImageAndNothingElse) {
    const MemoryBytes memory = testing::Contents(eeprom);
    EXPECT_EQ(Run({"read", "-o", "-"}), kStatusDone) << err.str();
    EXPECT_EQ(out.str().size(), 2048u);
    EXPECT_TRUE(out.str() == std::string(memory.begin(), memory.end()));
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"read", "-o", "-", "--format", "ihex"}), kStatusDone) << err.str();
    WriteText("out.hex", out.str());
    EXPECT_EQ(ReadImageFile(Path("out.hex")).bytes, memory);
}

TEST_F(CliTest, PartialHexChangesAndComparesOnlyItsBytes) {
    WriteText("p.hex", ":02001000ABCD76\n:00000001FF\n");
    MemoryBytes expected = Pattern(11);
    expected[0x10] = 0xAB;
    expected[0x11] = 0xCD;
    EXPECT_EQ(Run({"write", Path("p.hex")}), kStatusDone) << err.str();
    EXPECT_NE(out.str().find("1 written, 127 skipped"), std::string::npos) << out.str();
    EXPECT_EQ(testing::Contents(eeprom), expected);
    EXPECT_EQ(Run({"verify", Path("p.hex")}), kStatusDone);
    EXPECT_EQ(out.str(), "verified: 2 bytes match\n");
    eeprom.Memory()[0x11] = 0x00;
    EXPECT_EQ(Run({"verify", Path("p.hex")}), kStatusMemory);
    EXPECT_EQ(out.str(), "0x011: expected CD, found 00\n");
    ExpectOneLine("1 of 2 bytes differ");
}

TEST_F(CliTest, MemoryFaultsExitOneNamingTheAddresses) {
    WriteImage("y.bin", Pattern(5));
    eeprom.SetWriteProtected(true);
    EXPECT_EQ(Run({"write", Path("y.bin")}), kStatusMemory);
    ExpectOneLine("2048 bytes read back other than written, first at 0x000");
    EXPECT_NE(out.str().find("0x007: wrote"), std::string::npos) << out.str();
    // The summary agrees with the status: every page read back differs, none "verified".
    EXPECT_NE(out.str().find("pages: 128 written, 0 skipped (already as asked), 128 read back, "
                             "128 differ\n"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("verified"), std::string::npos) << out.str();
    EXPECT_EQ(testing::Contents(eeprom), Pattern(11));

    eeprom.SetPresent(false);
    EXPECT_EQ(Run({"read"}), kStatusMemory);
    ExpectOneLine("does not answer at A0");
    EXPECT_EQ(Run({"scan"}), kStatusMemory);
    EXPECT_EQ(out.str(), "");
    ExpectOneLine("no device answered");
    eeprom.SetPresent(true);
    EXPECT_EQ(Run({"scan"}), kStatusDone);
    EXPECT_EQ(out.str(), "A0\nA2\nA4\nA6\nA8\nAA\nAC\nAE\n");
}

TEST_F(CliTest, AReadThatLostTheMemoryWritesNoFileAndAFailedWriteSaysHowFarItGot) {
    // The memory dies 1900 bytes into the read: block 7 would end in FF.
    WriteText("old.bin", "what was there");
    eeprom.StopAnsweringAfterReading(1900);
    EXPECT_EQ(Run({"read", "-o", Path("old.bin")}), kStatusMemory);
    ExpectOneLine("stopped answering during the read of block 7 (0x700-0x7FF)");
    EXPECT_EQ(ReadText("old.bin"), "what was there");
    eeprom.SetPresent(true);  // back, and dying again
    eeprom.StopAnsweringAfterReading(1900);
    EXPECT_EQ(Run({"read", "-o", Path("new.bin")}), kStatusMemory);
    EXPECT_FALSE(fs::exists(Path("new.bin")));

    // The port fails after three pages of a write: still exit 3, and the user hears what the
    // memory holds now and what to run.
    eeprom.SetPresent(true);
    WriteImage("y.bin", Pattern(7));
    int asked = 0;  // after each of the 8 blocks read, once the pages are known, after each page
    env.cancelled = [&] {
        if (++asked == 8 + 1 + 3) port->FailAfter(10, "the port went away; try again");
        return false;
    };
    EXPECT_EQ(Run({"write", Path("y.bin")}), kStatusPort);
    ExpectOneLine("the port went away; try again; 3 of 128 pages to write were written before "
                  "this, so the memory now holds a mix of old and new contents: mend the cause and "
                  "run the same command again");
    EXPECT_EQ(eeprom.CommittedWrites(), 3);
    port->ClearFailure();
}

TEST_F(CliTest, RefusedFilesAndCommandLinesNeverReachTheBus) {
    WriteText("cut.hex", ":0100000041BE\n");
    WriteText("far.hex", ":0108000041B6\n:00000001FF\n");
    WriteText("sum.hex", ":0100000041BF\n:00000001FF\n");
    WriteText("two.hex", ":0100000041BE\n:00000001FF\n:0100010041BD\n:00000001FF\n");
    const std::pair<const char*, const char*> files[] = {
        {"cut.hex", "end record"}, {"far.hex", "0x0800"}, {"sum.hex", "checksum"},
        {"missing.hex", "cannot open"}, {"two.hex", "line 3: records follow the end record"}};
    for (const auto& [name, why] : files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Run({"write", Path(name)}), kStatusUsage);
        ExpectOneLine(why);
    }
    EXPECT_EQ(Run({"verify", "/dev/null", "--format", "bin"}), kStatusUsage);
    ExpectOneLine("/dev/null: this is a character device, not a regular file");
    const std::vector<std::vector<std::string>> lines = {
        {"--bogus", "scan"}, {"erase", "--value", "256"}, {"--port", "lpt1", "read"},
        {"read", "-o", Path("z.txt")}, {"write"}, {}};
    for (const auto& line : lines) {
        EXPECT_EQ(Run(line), kStatusUsage);
        ExpectOneLine("");
    }
    // An empty --port (a variable that was not set) is no port, not the port at 0x378.
    EXPECT_EQ(Run({"--port", "", "read"}), kStatusUsage);
    ExpectOneLine("--port is empty; give the port's device");
    EXPECT_EQ(Run({"--port=", "read"}), kStatusUsage);
    ExpectOneLine("--port is empty; give the port's device");
    // A mistyped command is named, with the command it is a slip away from.
    EXPECT_EQ(Run({"raed", "-o", Path("z.bin")}), kStatusUsage);
    ExpectOneLine("unknown command 'raed'; did you mean 'read'? Give one of scan, read, write");
    EXPECT_EQ(Run({"--port", "0x378", "wirte", Path("y.bin")}), kStatusUsage);
    ExpectOneLine("unknown command 'wirte'; did you mean 'write'?");
    EXPECT_EQ(Run({"frob"}), kStatusUsage);
    ExpectOneLine("unknown command 'frob'; give one of scan, read, write, verify, erase");
    EXPECT_TRUE(port->Calls().empty());
    EXPECT_EQ(testing::Contents(eeprom), Pattern(11));
    EXPECT_EQ(eeprom.CommittedWrites(), 0);
}

TEST_F(CliTest, EraseTakesTheByteInDecimalOrHex) {
    for (const char* value : {"0x41", "255", "0xFF"}) {
        ASSERT_EQ(Run({"erase", "--value", value}), kStatusDone) << err.str();
        const int expected = value[1] == 'x' && value[2] == '4' ? 0x41 : 0xFF;
        EXPECT_TRUE(std::all_of(eeprom.Memory().begin(), eeprom.Memory().end(),
                                [&](std::uint8_t b) { return b == expected; }))
            << value;
    }
}

TEST_F(CliTest, DumpShowsAddressHexAndCharacters) {
    const std::uint8_t row[16] = {'A', 'b', 0x01, 0xC0, 0x7F, 0x98, '0', 0xFF,
                                  ' ', '~', 0x00, 0xE9, 0x20, 0x21, 0x41, 0x0A};
    std::copy(std::begin(row), std::end(row), eeprom.Memory().begin() + 0x7F0);
    EXPECT_EQ(Run({"read"}), kStatusDone);
    const std::string dump = out.str();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 128);
    const std::string last = "0x7F0  41 62 01 C0 7F 98 30 FF 20 7E 00 E9 20 21 41 0A  Ab.А..0я ~.й !A.\n";
    EXPECT_EQ(dump.substr(dump.size() - last.size()), last);
}

TEST_F(CliTest, ProgressOnTerminalAndCancelBetweenPages) {
    env.errIsTerminal = true;
    EXPECT_EQ(Run({"read", "-o", Path("z.bin")}), kStatusDone);
    EXPECT_NE(err.str().find("\r100%  2048/2048 bytes"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"read", "-o", Path("z.bin"), "-q"}), kStatusDone);
    EXPECT_EQ(err.str(), "");

    int asked = 0;
    // Asked after each of the 8 blocks read, once the pages to write are known, after each page.
    env.cancelled = [&] { return ++asked > 10; };
    env.errIsTerminal = false;
    WriteImage("y.bin", Pattern(7));
    port->ClearCalls();
    EXPECT_EQ(Run({"write", Path("y.bin")}), kStatusCancelled);
    ExpectOneLine("cancelled");
    EXPECT_EQ(eeprom.CommittedWrites(), 2);
    EXPECT_TRUE(port->Scl() && port->Sda());  // left at rest
    EXPECT_TRUE(sim::DecodeTrace(port->Calls()).faults.empty());
}

// Fails the port once in the middle of a page write: at the clock of the first bit of the fifth
// data byte of the third page, when the master has just put that bit (a 0) on SDA. The memory
// then holds four bytes of the page, acknowledged; the lines are SDA low and SCL low, so raising
// SCL and then SDA would be a stop that commits those four bytes.
class CutShortInAPage : public sim::BusDevice {
public:
    CutShortInAPage(sim::SimPort& port, const sim::SimEeprom& eeprom)
        : port_(port), eeprom_(eeprom) {}
    void OnLines(bool scl, bool sda) override {
        if (scl && scl_ && sda_ && !sda) rises_ = 0;  // a start
        if (scl && !scl_) ++rises_;
        const bool bitZeroSetUp = !scl && !scl_ && sda_ && !sda;
        scl_ = scl;
        sda_ = sda;
        // The device and word address bytes, then four data bytes: nine clocks each.
        if (!cut && bitZeroSetUp && eeprom_.CommittedWrites() == 2 && rises_ == 6 * 9) {
            cut = true;
            port_.FailOnce(0, "the port went away");
        }
    }
    bool SdaOut() const override { return true; }
    bool cut = false;

private:
    sim::SimPort& port_;
    const sim::SimEeprom& eeprom_;
    bool scl_ = true, sda_ = true;
    int rises_ = 0;
};

TEST_F(CliTest, APortFailureInAPageIsClearedWithAStartSoThePartIsNotWritten) {
    const MemoryBytes ones(2048, 0x11);  // every data byte starts with a 0 bit
    WriteImage("y.bin", ones);
    CutShortInAPage cutter(*port, eeprom);
    port->Attach(cutter);
    EXPECT_EQ(Run({"write", Path("y.bin")}), kStatusPort);
    port->Detach(cutter);
    ASSERT_TRUE(cutter.cut);
    ExpectOneLine("the port went away");

    // No page write on the wire was closed by a stop after only part of its data: the one cut
    // short ends in the clear's start, and the memory dropped what it had of that page.
    const sim::DecodedTrace trace = sim::DecodeTrace(port->Calls());
    int cutPages = 0;
    for (const std::string& t : trace.transactions) {
        std::istringstream words(t);
        const std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        const size_t bytes = w.size() - 2;  // less "S" and the closing "P"
        if (t.find(" Sr") != std::string::npos) {
            cutPages += t.rfind("S A0+ 20+ 11+ 11+ 11+ 11+ Sr P", 0) == 0;
            continue;  // a read, or the cut page dropped by the start
        }
        EXPECT_TRUE(bytes <= 2 || bytes == 2 + kPageSize) << "stopped after part of a page: " << t;
    }
    EXPECT_EQ(cutPages, 1) << trace.Text();
    EXPECT_EQ(eeprom.CommittedWrites(), 2);
    const MemoryBytes before = Pattern(11);
    EXPECT_TRUE(std::equal(before.begin() + 0x20, before.begin() + 0x30,
                           eeprom.Memory().begin() + 0x20));
    EXPECT_TRUE(port->Scl() && port->Sda());  // left at rest

    // The port works again: the next run finishes the write.
    EXPECT_EQ(Run({"write", Path("y.bin")}), kStatusDone) << err.str();
    EXPECT_EQ(testing::Contents(eeprom), ones);
}

// Another chip, end to end: a 24c64 read into a file, written from one and verified; the
// simulated memory of --sim is the chip --chip names.
TEST_F(CliTest, A24c64IsReadWrittenAndVerifiedWhole) {
    sim::SimEeprom& memory = Put("24c64");
    EXPECT_EQ(Run({"--chip", "24c64", "read", "-o", Path("r.bin")}), kStatusDone) << err.str();
    EXPECT_EQ(out.str(), "read 8192 bytes into " + Path("r.bin") + " (bin)\n");
    EXPECT_EQ(ReadImageFile(Path("r.bin"), {}, ImageTarget::Of(ChooseChip("24c64"))).bytes,
              Pattern(11, 8192));
    WriteImage("new.srec", Pattern(3, 8192));
    EXPECT_EQ(Run({"write", Path("new.srec"), "--chip", "24C64"}), kStatusDone) << err.str();
    EXPECT_NE(out.str().find("pages: 256 written, 0 skipped"), std::string::npos) << out.str();
    EXPECT_EQ(testing::Contents(memory), Pattern(3, 8192));
    EXPECT_EQ(Run({"--chip", "24c64", "verify", Path("new.srec")}), kStatusDone) << err.str();
    EXPECT_EQ(out.str(), "verified: 8192 bytes match\n");
    memory.Memory()[0x0ABC] ^= 1;  // addressed as the dump addresses it: four digits
    EXPECT_EQ(Run({"--chip", "24c64", "verify", Path("new.srec")}), kStatusMemory);
    EXPECT_EQ(out.str().rfind("0x0ABC: expected ", 0), 0u) << out.str();
    ExpectOneLine("1 of 8192 bytes differ from " + Path("new.srec") + ", first at 0x0ABC");
    // --page reaches the writes: pages of 16 bytes instead of the table's 32.
    EXPECT_EQ(Run({"--chip", "24c64", "--page", "16", "erase", "--value", "0"}), kStatusDone);
    EXPECT_NE(out.str().find("pages: 512 written, 0 skipped"), std::string::npos) << out.str();
    EXPECT_EQ(testing::Contents(memory), MemoryBytes(8192, 0));

    EXPECT_EQ(Run({"--sim", "--chip", "24c64", "read", "-o", "-"}), kStatusDone) << err.str();
    EXPECT_EQ(out.str().size(), 8192u);
    EXPECT_EQ(eeprom.CommittedWrites(), 0);  // the 24c16 of the rig was never on the bus
}

// The dump's addresses take the digits the memory needs and stay the memory's own for a part.
TEST_F(CliTest, DumpAddressesFollowTheChip) {
    Put("24cm02");
    EXPECT_EQ(Run({"--chip", "24cm02", "read"}), kStatusDone) << err.str();
    const std::string dump = out.str();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 262144 / 16);
    const MemoryBytes last = Pattern(11, 262144);
    std::string tail = "0x3FFF0 ";
    for (int a = 0x3FFF0; a < 0x40000; ++a) tail += " " + ByteHex(last[static_cast<size_t>(a)]);
    EXPECT_EQ(dump.rfind("0x00000  ", 0), 0u) << dump.substr(0, 80);
    const std::string lastLine = dump.substr(dump.rfind('\n', dump.size() - 2) + 1);
    EXPECT_EQ(lastLine.rfind(tail + "  ", 0), 0u) << lastLine;

    // A part from an odd address: the real addresses, and a short last line.
    EXPECT_EQ(Run({"--chip", "24cm02", "read", "--offset", "0x3FFE8", "--length", "20"}),
              kStatusDone)
        << err.str();
    std::istringstream lines(out.str());
    std::string first, second, none;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, none));
    EXPECT_EQ(first.substr(0, 9), "0x3FFE8  ");
    EXPECT_EQ(second.substr(0, 9 + 3 * 4), "0x3FFF8  " + ByteHex(last[0x3FFF8]) + " " +
                                               ByteHex(last[0x3FFF9]) + " " +
                                               ByteHex(last[0x3FFFA]) + " " +
                                               ByteHex(last[0x3FFFB]) + " ");
    // The characters stay in their column: blanks for the 12 bytes that are not there.
    EXPECT_EQ(second.substr(9 + 3 * 4 - 1, 3 * 12 + 2), std::string(3 * 12 + 2, ' '));
    EXPECT_NE(second[9 + 3 * 16 + 1], ' ');
}

TEST_F(CliTest, ChipsListsEveryPartWithoutAPort) {
    EXPECT_EQ(Run({"--sim=" + Path("missing.bin"), "chips"}), kStatusDone) << err.str();
    std::istringstream lines(out.str());
    std::string header, line;
    std::getline(lines, header);
    EXPECT_EQ(header.rfind("chip ", 0), 0u) << header;
    for (const Chip& chip : Chips()) {
        SCOPED_TRACE(chip.name);
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream words(line);
        std::string name, size, unit, page, bytes;
        words >> name >> size >> unit >> page >> bytes;
        EXPECT_EQ(name, chip.name);
        EXPECT_EQ(std::stoi(size) * (unit == "KB" ? 1024 : 1), chip.size);
        EXPECT_EQ(std::stoi(page), chip.pageSize);
        EXPECT_EQ(std::stoi(bytes), chip.addressBytes);
        EXPECT_NE(line.find(chip.HighBitsText()), std::string::npos) << line;
        EXPECT_NE(line.find(chip.PinsText()), std::string::npos) << line;
        EXPECT_NE(line.find(std::to_string(chip.writeCycle.count() / 1000000) + " ms"),
                  std::string::npos);
        EXPECT_NE(line.find(chip.otherNames), std::string::npos) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
    EXPECT_TRUE(port->Calls().empty());
}

// Detect tells the part from reads alone, names it among those that fit, and writes nothing.
TEST_F(CliTest, DetectNamesThePartAndWritesNothing) {
    const std::pair<const char*, const char*> parts[] = {
        {"24c02", "certain: device addresses that answer a read: 0xA0\n"},
        {"24c64", "certain: two word address bytes"},
        {"24xx1025", "certain: device addresses that answer a read: 0xA0, 0xA8\n"}};
    for (const auto& [chip, finding] : parts) {
        SCOPED_TRACE(chip);
        const sim::SimEeprom& memory = Put(chip);
        EXPECT_EQ(Run({"detect"}), kStatusDone) << err.str();
        const std::string report = out.str();
        EXPECT_NE(report.find(finding), std::string::npos) << report;
        const size_t fits = report.find("\nfits: ");
        ASSERT_NE(fits, std::string::npos) << report;
        EXPECT_NE(report.find(chip, fits), std::string::npos) << report;
        EXPECT_EQ(report.back(), '\n');
        EXPECT_EQ(memory.CommittedWrites(), 0);
        std::istringstream lines(report.substr(0, fits + 1));
        for (std::string line; std::getline(lines, line);) {
            EXPECT_TRUE(line.rfind("certain: ", 0) == 0 || line.rfind("guess: ", 0) == 0 ||
                        line.rfind("cannot tell: ", 0) == 0)
                << line;
        }
    }
    Put("24c02").SetPresent(false);
    EXPECT_EQ(Run({"detect"}), kStatusMemory);
    EXPECT_EQ(out.str().rfind("certain: no device address of 0xA0 to 0xAE answers", 0), 0u)
        << out.str();
    EXPECT_EQ(out.str().find("fits:"), std::string::npos);
    ExpectOneLine("no memory answered a read at 0xA0 to 0xAE; check that the memory is in place");
}

// A choice of memory or of addresses that cannot be used is one line and exit 2, before the port.
TEST_F(CliTest, BadChoicesOfChipOrAddressesNeverReachTheBus) {
    WriteImage("two.bin", Pattern(1));
    WriteImage("two.hex", Pattern(1));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--chip", "24c99", "read"},
         "unknown chip \"24c99\"; the known chips are 24c01, 24c02, 24c04"},
        {{"--pins", "8", "scan"}, "pins 8 is outside 0 to 7"},
        {{"--pins", "two", "scan"}, "--pins two: not a number"},
        {{"--chip", "24c02", "--page", "24", "read"}, "page size 24 is not a power of two up to "
                                                      "256 and 256 (the size of the 24c02)"},
        {{"erase", "--chip", "24c01", "--page", "256"}, "page size 256 is not a power of two"},
        {{"--chip", "24xx1025", "--pins", "3", "detect"},
         "pins 3 leave pin A2 low, and the 24xx1025 answers only with A2 tied high"},
        {{"--chip", "24c64", "read", "--offset", "0x2000"},
         "--offset 0x2000 lies outside the 24c64 (8192 bytes, 0x0000-0x1FFF); give an address up "
         "to 0x1FFF"},
        {{"read", "--offset", "0x700", "--length", "0x101"},
         "--length 0x101 from 0x700 reaches past the end of the 24c16 (2048 bytes, "
         "0x000-0x7FF); give at most 256 bytes"},
        {{"read", "--length", "0"}, "--length 0: not a length"},
        {{"read", "--offset", "-1"}, "--offset -1: not an address"},
        {{"--chip", "24c64", "write", Path("two.bin"), "--offset", "8192"},
         "--offset 8192 lies outside the 24c64"},
        {{"--chip", "24c64", "verify", Path("two.hex"), "--offset", "0"},
         "--offset places a binary file, and " + Path("two.hex") + " is Intel HEX, whose records "
         "give their own addresses; leave --offset out"},
        {{"--chip", "24c64", "write", Path("two.bin")},
         "the file is 2048 bytes long; a binary image of the 24c64 must be exactly 8192 bytes"},
        {{"--chip", "24c64", "write", Path("two.bin"), "--offset", "0x1900"},
         "offset 0x700: data at 0x2000, past the end of the 24c64 (8192 bytes, 0x0000-0x1FFF)"},
    };
    for (const auto& [line, message] : refused) {
        SCOPED_TRACE(line.front() + " " + line[1]);
        EXPECT_EQ(Run(line), kStatusUsage);
        ExpectOneLine(message);
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_TRUE(port->Calls().empty());
    EXPECT_EQ(eeprom.CommittedWrites(), 0);
}

// A part of the memory keeps its addresses: in a HEX file, in a binary of just those bytes.
TEST_F(CliTest, APartReadGoesIntoFilesAtItsAddresses) {
    Put("24c64");
    const MemoryBytes memory = Pattern(11, 8192);
    EXPECT_EQ(Run({"--chip", "24c64", "read", "--offset", "0x1F00", "--length", "0x20", "-o",
                   Path("part.hex")}),
              kStatusDone)
        << err.str();
    EXPECT_EQ(out.str(), "read 32 bytes into " + Path("part.hex") + " (ihex)\n");
    EXPECT_EQ(ReadText("part.hex").rfind(":101F0000", 0), 0u) << ReadText("part.hex");
    const ImageTarget c64 = ImageTarget::Of(ChooseChip("24c64"));
    const MemoryImage image = ReadImageFile(Path("part.hex"), {}, c64);
    EXPECT_EQ(image.FirstCovered(), 0x1F00);
    EXPECT_EQ(image.LastCovered(), 0x1F1F);
    EXPECT_EQ(image.CoveredCount(), 32);
    EXPECT_TRUE(std::equal(memory.begin() + 0x1F00, memory.begin() + 0x1F20,
                           image.bytes.begin() + 0x1F00));
    // From --offset to the end, as S-records and as bare bytes.
    EXPECT_EQ(Run({"--chip", "24c64", "read", "--offset", "8000", "-o", Path("end.srec")}),
              kStatusDone);
    EXPECT_EQ(ReadImageFile(Path("end.srec"), {}, c64).FirstCovered(), 8000);
    EXPECT_EQ(Run({"--chip", "24c64", "read", "--offset", "8000", "-o", Path("end.bin")}),
              kStatusDone);
    EXPECT_EQ(ReadText("end.bin"), std::string(memory.begin() + 8000, memory.end()));
    // Without --offset, the first N bytes.
    EXPECT_EQ(Run({"read", "--length", "16", "-o", "-"}), kStatusDone);
    const MemoryBytes first = Pattern(11);
    EXPECT_EQ(out.str(), std::string(first.begin(), first.begin() + 16));
}

// A binary shorter than the memory goes where --offset puts it, and is compared there.
TEST_F(CliTest, ABinaryGoesToItsOffset) {
    sim::SimEeprom& memory = Put("24c64");
    WriteImage("two.bin", Pattern(1));
    EXPECT_EQ(Run({"--chip", "24c64", "write", Path("two.bin"), "--offset", "0x100"}),
              kStatusDone)
        << err.str();
    MemoryBytes expected = Pattern(11, 8192);
    const MemoryBytes two = Pattern(1);
    std::copy(two.begin(), two.end(), expected.begin() + 0x100);
    EXPECT_EQ(testing::Contents(memory), expected);
    EXPECT_EQ(memory.CommittedWrites(), 2048 / 32);
    EXPECT_EQ(Run({"--chip", "24c64", "verify", Path("two.bin"), "--offset", "256"}), kStatusDone);
    EXPECT_EQ(out.str(), "verified: 2048 bytes match\n");
    EXPECT_EQ(Run({"--chip", "24c64", "verify", Path("two.bin"), "--offset", "0x120"}),
              kStatusMemory);
}

// The help speaks of the chosen memory, lists the new commands and options, wrapped like the rest.
TEST_F(CliTest, HelpNamesTheChipOptionsAndCommands) {
    EXPECT_EQ(Run({"--help"}), kStatusDone);
    const std::string help = out.str();
    for (const char* part : {"--chip NAME", "'lpt-eeprom-cli chips' lists", "--page N", "--pins N",
                             "\n  detect ", "\n  chips ", "--offset A", "--length N",
                             "does not fit the chosen memory"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
    for (const char* gone : {"2 KB", "2048"}) EXPECT_EQ(help.find(gone), std::string::npos) << gone;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 100u) << line;
}

TEST(CancelSignalsTest, SighupCancelsLikeSigintAndSigterm) {
    InstallCancelSignals();
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        EXPECT_NE(now.sa_handler, SIG_DFL) << "signal " << signal << " would end the program";
    }
    struct sigaction hup {};
    sigaction(SIGHUP, nullptr, &hup);
    ASSERT_NE(hup.sa_handler, SIG_DFL);  // else the raise below would end this test program
    EXPECT_FALSE(CancelRequested());
    ::raise(SIGHUP);
    EXPECT_TRUE(CancelRequested());
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
}

TEST_F(CliTest, MissingParallelPortExitsThree) {
    env.openParallelPort = setup::OpenParallelPort;  // the machine's own ports: none at 0x1234
    EXPECT_EQ(Run({"--port", "0x1234", "scan"}), kStatusPort);
    ExpectOneLine("port");
}

}  // namespace
}  // namespace lpt::cli

namespace lpt::cli {
namespace {

TEST_F(CliTest, TheCableIsChosenForEveryCommandAndTested) {
    // A cable that cannot be used stops the run before anything is sent.
    for (const char* bad : {"nosuch", "sda=D0,scl=D0,sda-in=S3"}) {
        EXPECT_EQ(Run({"--cable", bad, "scan"}), kStatusUsage);
        ExpectOneLine(std::string(bad)[0] == 'n' ? "unknown cable 'nosuch'; give one of direct"
                                                 : "bit D0 is used twice");
    }
    EXPECT_TRUE(port->Calls().empty());
    // The port wired as easyi2c: the direct cable finds nothing, the right one the memory.
    port->Wire(ChooseCable("easyi2c", ""));
    EXPECT_EQ(Run({"--cable", "easyi2c", "scan"}), kStatusDone) << err.str();
    EXPECT_EQ(out.str().substr(0, 3), "A0\n");
    EXPECT_EQ(Run({"read", "--cable", "sda=~D1,scl=~D0,sda-in=S5,scl-in=S4", "-o",
                   Path("e.bin")}),
              kStatusDone)
        << err.str();
    EXPECT_EQ(ReadImage("e.bin"), Pattern(11));
    EXPECT_EQ(Run({"--cable", "easyi2c", "test-cable"}), kStatusDone) << err.str();
    EXPECT_NE(out.str().find("SCL out (~D0, pin 2) -> seen on pin 13 (S4 SELECT): ok"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("result: the cable works as chosen"), std::string::npos) << out.str();
    EXPECT_EQ(Run({"test-cable"}), kStatusMemory);
    EXPECT_NE(out.str().find("SDA in (pin 15, S3 ERROR) does not follow SDA out"),
              std::string::npos)
        << out.str();
    ExpectOneLine("the cable does not work as chosen; see the report above");
    // The simulated memory is wired the way --cable says.
    EXPECT_EQ(Run({"--sim", "--cable", "type3", "test-cable"}), kStatusDone) << out.str();
    EXPECT_NE(out.str().find("cable: elv (sda=~D1,scl=~D0,sda-in=~S6,scl-in=~S3)"),
              std::string::npos);
    EXPECT_EQ(Run({"--sim", "--cable", "barco", "verify", "--format", "bin", Path("e.bin")}),
              kStatusMemory);  // the demonstration contents, not the pattern: read through barco
    ExpectOneLine("bytes differ from");
    EXPECT_EQ(Run({"cables"}), kStatusDone);
    EXPECT_NE(out.str().find("philips (type0): sda=~D7,scl=C3,sda-in=S7,scl-in=S3\n    SDA out "
                             "D7, pin 9; SCL out C3 SELECTIN, pin 17; SDA in S7 BUSY, pin 11; "
                             "SCL in S3 ERROR, pin 15"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("set high"), std::string::npos);
}

}  // namespace
}  // namespace lpt::cli

namespace lpt::cli {
namespace {

TEST_F(CliTest, TheSpeedReachesTheBusAWarningAboveTheChipAndTheFallBackAfterAMismatch) {
    EXPECT_EQ(Run({"--speed", "turbo", "scan"}), kStatusUsage);
    ExpectOneLine("--speed");
    EXPECT_TRUE(port->Calls().empty());

    // A port that asks for the real port's timing, on a clock fine enough to tell the modes.
    SteppingClock fine{TimeNs(10)};
    port->Detach(eeprom);
    port = std::make_shared<sim::SimPort>(LineTiming::StandardMode(), fine.Fn());
    port->Attach(eeprom);
    env.clock = fine.Fn();
    WriteImage("p.bin", Pattern(11));

    const struct {
        const char* speed;
        LineTiming minima;
        bool warned;  // above the 24c16's 400 kHz
    } modes[] = {{"standard", LineTiming::StandardMode(), false},
                 {"fast", LineTiming::FastMode(), false},
                 {"fast-plus", LineTiming::FastModePlus(), true}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.speed);
        port->ClearCalls();
        EXPECT_EQ(Run({"verify", Path("p.bin"), "--speed", mode.speed}), kStatusDone);
        EXPECT_EQ(out.str(), "verified: 2048 bytes match\n");
        if (mode.warned) {
            ExpectOneLine("warning: --speed fast-plus (1 MHz) is above the 400 kHz the 24c16 "
                          "datasheet gives; it may work at its supply voltage, else give "
                          "--speed fast or standard");
        } else {
            EXPECT_EQ(err.str(), "");
        }
        const sim::TimingMinima m = sim::CheckTiming(port->Calls());
        EXPECT_TRUE(m.Violations(mode.minima).empty()) << m.Report();
        // Each mode runs at its own pace: faster than the one below it allows.
        if (mode.minima.clockPeriod < LineTiming::StandardMode().clockPeriod) {
            EXPECT_FALSE(m.Violations(LineTiming::StandardMode()).empty()) << m.Report();
        }
        if (mode.minima.clockPeriod < LineTiming::FastMode().clockPeriod) {
            EXPECT_FALSE(m.Violations(LineTiming::FastMode()).empty()) << m.Report();
        }
    }

    // The cable test needs no memory: no word about the memory's speed.
    port->Wire(DirectCable());  // a whole port: the test reads every status bit
    EXPECT_EQ(Run({"--speed", "fast-plus", "test-cable"}), kStatusDone) << err.str();
    EXPECT_EQ(err.str().find("warning"), std::string::npos) << err.str();

    // A mismatch at a fast mode may be the bus: the message says so and how to go back.
    eeprom.Memory()[0x11] = 0x00;
    const std::string fallBack = "; the bus at 400 kHz may be too fast for the cable or the "
                                 "memory's supply; try again with --speed standard";
    EXPECT_EQ(Run({"--speed", "fast", "verify", Path("p.bin")}), kStatusMemory);
    ExpectOneLine("1 of 2048 bytes differ from " + Path("p.bin"));
    ExpectOneLine(fallBack);
    EXPECT_EQ(Run({"verify", Path("p.bin")}), kStatusMemory);
    EXPECT_EQ(err.str().find("too fast"), std::string::npos) << err.str();
    eeprom.SetWriteProtected(true);
    EXPECT_EQ(Run({"--speed", "fast", "write", Path("p.bin"), "-q"}), kStatusMemory);
    ExpectOneLine("bytes read back other than written");
    ExpectOneLine(fallBack);
}

}  // namespace
}  // namespace lpt::cli
