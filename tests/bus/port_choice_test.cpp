#include "bus/port_choice.h"

#include <gtest/gtest.h>

namespace lpt {
namespace {

using Kind = PortChoice::Kind;

TEST(ParsePortChoice, AcceptsDevicesAndBasesAndWritesThemBackAsTheUserWould) {
    struct Case {
        const char* text;
        Kind kind;
        const char* device;
        long base;
        const char* shown;
    };
    for (const Case& c : {Case{"", Kind::Default, "", 0x378, "0x378"},
                          Case{"/dev/parport1", Kind::Device, "/dev/parport1", 0, "/dev/parport1"},
                          Case{"parport12", Kind::Device, "/dev/parport12", 0, "/dev/parport12"},
                          Case{"0x378", Kind::Base, "", 0x378, "0x378"},
                          Case{"0XD010", Kind::Base, "", 0xd010, "0xd010"},
                          Case{"888", Kind::Base, "", 888, "0x378"},
                          Case{"/dev/i2c-7", Kind::Adapter, "", 7, "/dev/i2c-7"},
                          Case{"i2c-12", Kind::Adapter, "", 12, "/dev/i2c-12"}}) {
        const auto choice = ParsePortChoice(c.text);
        ASSERT_TRUE(choice) << c.text;
        EXPECT_EQ(choice->kind, c.kind) << c.text;
        EXPECT_EQ(choice->Text(), c.shown) << c.text;
        if (c.kind == Kind::Device) {
            EXPECT_EQ(choice->device, c.device);
        } else if (c.kind == Kind::Adapter) {
            EXPECT_EQ(choice->adapter, c.base) << c.text;
        } else {
            EXPECT_EQ(choice->base, c.base) << c.text;
        }
    }
}

TEST(ParsePortChoice, RefusesAnythingElse) {
    for (const char* text : {"lpt1", "0x", "parportX", "-1", "0", "0x0", "0x-5", "parport",
                             "/dev/parport", "/dev/lp0", "/dev/0x378", "888a", "0x378 ", " 888",
                             "+888", "0xg", "99999999999999999999999", "parport1x", "i2c-", "/dev/i2c-x",
                             "i2c--1", "/dev/i2c-1 ", "i2c7", "/dev/i2c-99999999999"}) {
        EXPECT_FALSE(ParsePortChoice(text)) << text;
    }
}

}  // namespace
}  // namespace lpt
