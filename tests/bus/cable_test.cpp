#include "bus/cable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/user_error.h"

namespace lpt {
namespace {

namespace fs = std::filesystem;

// The message of the Usage error `f` throws; empty (and a failure) when it throws none.
template <typename F>
std::string UsageError(F f) {
    try {
        f();
    } catch (const UserError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Usage);
        EXPECT_FALSE(e.Russian().empty());
        return e.English();
    }
    ADD_FAILURE() << "no UserError";
    return {};
}

TEST(Cable, BuiltinsHaveTheKernelDriversBitsUnderTheirNamesAndTypeNumbers) {
    const struct {
        const char* name;
        const char* alias;
        const char* definition;
    } table[] = {
        {"direct", "", "sda=D0,scl=C2,sda-in=S3"},
        {"philips", "type0", "sda=~D7,scl=C3,sda-in=S7,scl-in=S3"},
        {"teletext", "type1", "sda=D1,scl=D0,sda-in=~S7"},
        {"velleman", "type2", "sda=~C1,scl=~C3,sda-in=S4"},
        {"elv", "type3", "sda=~D1,scl=~D0,sda-in=~S6,scl-in=~S3"},
        {"adm1032", "type4", "sda=~D1,scl=~D0,sda-in=~S4"},
        {"adm1025", "type5", "sda=~D1,scl=~D0,sda-in=~S4"},
        {"barco", "type6", "sda=~D1,scl=~D0,sda-in=S5,scl-in=S6"},
        {"jp1", "type7", "sda=D0,scl=D1,sda-in=~S7"},
        {"vct-jig", "type8", "sda=~D2,scl=~D0,sda-in=S6,scl-in=~S7"},
        {"easyi2c", "", "sda=~D1,scl=~D0,sda-in=S5,scl-in=S4"},
    };
    ASSERT_EQ(BuiltinCables().size(), std::size(table));
    for (const auto& row : table) {
        const Cable byName = ChooseCable(row.name, "");
        EXPECT_EQ(byName.Definition(), row.definition) << row.name;
        EXPECT_EQ(TypeAlias(byName), row.alias);
        if (*row.alias) {
            EXPECT_EQ(ChooseCable(row.alias, "").name, row.name);
        }
    }
    // The adapters that take their supply from data pins: exactly those bits.
    const auto power = [](const char* name) {
        std::string bits;
        for (const PowerBit& p : ChooseCable(name, "").power)
            bits += BitName({p.port, p.bit, false}) + (p.one ? "=1 " : "=0 ");
        return bits;
    };
    EXPECT_EQ(power("adm1032"), "D4=1 D5=1 D6=1 D7=1 ");
    EXPECT_EQ(power("barco"), "D2=1 D3=1 D4=1 D5=1 D6=1 D7=1 ");
    EXPECT_EQ(power("jp1"), "D2=0 ");
    EXPECT_EQ(power("elv"), "");
}

TEST(Cable, PinsAndSignalNames) {
    EXPECT_EQ(PinText(kDataPort, 0), "D0, pin 2");
    EXPECT_EQ(PinText(kDataPort, 7), "D7, pin 9");
    EXPECT_EQ(PinText(kControlPort, 0), "C0 STROBE, pin 1");
    EXPECT_EQ(PinText(kControlPort, 1), "C1 AUTOFD, pin 14");
    EXPECT_EQ(PinText(kControlPort, 2), "C2 INIT, pin 16");
    EXPECT_EQ(PinText(kControlPort, 3), "C3 SELECTIN, pin 17");
    const char* status[] = {"S3 ERROR, pin 15", "S4 SELECT, pin 13", "S5 PAPEROUT, pin 12",
                            "S6 ACK, pin 10", "S7 BUSY, pin 11"};
    for (int bit = 3; bit < 8; ++bit) EXPECT_EQ(PinText(kStatusPort, bit), status[bit - 3]);
}

TEST(Cable, CustomDefinitionsAndTheirRefusals) {
    const Cable c = ParseCableDefinition("mine", " SDA = ~D1 , scl=~d0,sda-in=S5,scl-in=s4 ");
    EXPECT_EQ(c.Definition(), "sda=~D1,scl=~D0,sda-in=S5,scl-in=S4");
    EXPECT_EQ(c.sdaOut, (LineBit{kDataPort, 1, true}));
    EXPECT_FALSE(ParseCableDefinition("m", "sda=D0,scl=C2,sda-in=S3").sclIn.Wired());
    const struct {
        const char* definition;
        const char* message;
    } refused[] = {
        {"sda=D0,scl=D0,sda-in=S3", "scl=D0: bit D0 is used twice"},
        {"sda=S4,scl=C2,sda-in=S3", "sda=S4: a status bit is an input and cannot drive sda"},
        {"sda=D0,scl=C2,sda-in=D1", "sda-in=D1: only status bits can be read as sda-in"},
        {"sda=X1,scl=C2,sda-in=S3", "sda=X1: unknown register letter 'X'"},
        {"sda=D0,scl=C4,sda-in=S3", "scl=C4: bit 4 out of range; the register C has bits C0-C3"},
        {"sda=D0,scl=C2,sda-in=S2", "sda-in=S2: bit 2 out of range; the register S has bits S3-S7"},
        {"sda=D0,scl=C2,sda-in=S10", "sda-in=S10: not a register bit"},
        {"sda=D0,scl=C2", "sda-in is missing"},
        {"sda=D0,scl=C2,sda-in=S3,sdain=S4", "unknown part 'sdain=S4'"},
        {"sda=D0,sda=D1,scl=C2,sda-in=S3", "sda given twice"},
    };
    for (const auto& row : refused) {
        const std::string message = UsageError([&] { ChooseCable(row.definition, ""); });
        EXPECT_NE(message.find(row.message), std::string::npos) << message;
        EXPECT_NE(message.find("; "), std::string::npos) << "no remedy: " << message;
    }
}

class UserCables : public ::testing::Test {
protected:
    UserCables() { fs::create_directories(dir_ / "lpt-eeprom"); }
    ~UserCables() override { fs::remove_all(dir_); }
    void Write(const std::string& text) { std::ofstream(File()) << text; }
    std::string File() const { return (dir_ / "lpt-eeprom" / "cables.conf").string(); }
    fs::path dir_ = fs::temp_directory_path() / ("lpt-cables-" + std::to_string(::getpid()));
};

TEST_F(UserCables, NamedDefinitionsFromTheFileUnderXdgConfigHome) {
    Write("# my bench\n\nbench = sda=~D1,scl=~D0,sda-in=S5   # the green one\nold=sda=D0,scl=C2,"
          "sda-in=~S3\n");
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    EXPECT_EQ(UserCablesPath(), File());
    const Cable bench = ChooseCable("bench");
    if (saved)
        ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(bench.name, "bench");
    EXPECT_EQ(bench.Definition(), "sda=~D1,scl=~D0,sda-in=S5");
    const auto all = ReadUserCables(File());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].name, "old");
    EXPECT_EQ(all[1].line, 4);
    // An unknown name lists every name there is, the user's too.
    const std::string unknown = UsageError([&] { ChooseCable("bnech", File()); });
    EXPECT_NE(unknown.find("unknown cable 'bnech'; give one of direct, philips, teletext"),
              std::string::npos)
        << unknown;
    EXPECT_NE(unknown.find("easyi2c, type0-type8, bench, old"), std::string::npos) << unknown;
    // A faulty definition in the file names its cable; a line that is not one names the line.
    Write("bad = sda=D0,scl=D0,sda-in=S3\n");
    EXPECT_NE(UsageError([&] { ChooseCable("bad", File()); }).find("cable 'bad'"),
              std::string::npos);
    Write("ok = sda=D0,scl=C2,sda-in=S3\njust words\n");
    EXPECT_NE(UsageError([&] { ReadUserCables(File()); }).find("cables.conf line 2"),
              std::string::npos);
    EXPECT_TRUE(ReadUserCables((dir_ / "none.conf").string()).empty());
}

}  // namespace
}  // namespace lpt
