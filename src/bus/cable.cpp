#include "bus/cable.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "common/user_error.h"

namespace lpt {

namespace {

constexpr LineBit D(int bit, bool inverted = false) { return {kDataPort, bit, inverted}; }
constexpr LineBit C(int bit, bool inverted = false) { return {kControlPort, bit, inverted}; }
constexpr LineBit S(int bit, bool inverted = false) { return {kStatusPort, bit, inverted}; }

Cable Make(std::string name, LineBit sda, LineBit scl, LineBit sdaIn, LineBit sclIn,
           std::vector<PowerBit> power, std::string note) {
    return Cable{std::move(name), sda, scl, sdaIn, sclIn, std::move(power), std::move(note)};
}

// Data bits from..7 set: the adapter draws its supply from those data pins.
std::vector<PowerBit> DataBitsHigh(int from) {
    std::vector<PowerBit> bits;
    for (int b = from; b < 8; ++b) bits.push_back({kDataPort, b, true});
    return bits;
}

std::vector<Cable> MakeBuiltins() {
    std::vector<Cable> c;
    c.push_back(DirectCable());
    // The adapter types of the kernel's parallel-port I2C bus driver, in its type order, with
    // its register bits and inversion flags.
    c.push_back(Make("philips", D(7, true), C(3), S(7), S(3), {}, "Philips adapter"));
    c.push_back(Make("teletext", D(1), D(0), S(7, true), {}, {}, "home brew teletext adapter"));
    c.push_back(Make("velleman", C(1, true), C(3, true), S(4), {}, {}, "Velleman K8000 adapter"));
    c.push_back(Make("elv", D(1, true), D(0, true), S(6, true), S(3, true), {}, "ELV adapter"));
    c.push_back(Make("adm1032", D(1, true), D(0, true), S(4, true), {}, DataBitsHigh(4),
                     "ADM1032 evaluation board; powered from D4-D7 (pins 6-9), set high"));
    c.push_back(Make("adm1025", D(1, true), D(0, true), S(4, true), {}, {},
                     "ADM1025, ADM1030 and ADM1031 evaluation boards"));
    c.push_back(Make("barco", D(1, true), D(0, true), S(5), S(6), DataBitsHigh(2),
                     "Barco LPT->DVI adapter; powered from D2-D7 (pins 4-9), set high"));
    c.push_back(Make("jp1", D(0), D(1), S(7, true), {}, {{kDataPort, 2, false}},
                     "JP1 parallel port adapter; powered with D2 (pin 4) low"));
    c.push_back(Make("vct-jig", D(2, true), D(0, true), S(6), S(7, true), {}, "VCT-jig"));
    c.push_back(Make("easyi2c", D(1, true), D(0, true), S(5), S(4), {},
                     "SDA and SCL through inverting drivers, both lines read back"));
    return c;
}

constexpr int kFirstType = 1;  // BuiltinCables()[1] is type 0
constexpr int kTypes = 9;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

[[noreturn]] void Refuse(const std::string& en, const std::string& ru, const std::string& remedyEn,
                         const std::string& remedyRu) {
    throw UserError(ErrorKind::Usage, {en, ru}, {remedyEn, remedyRu});
}

const char kSyntaxEn[] =
    "write it as sda=~D1,scl=~D0,sda-in=S5[,scl-in=S4]: D0-D7 data, C0-C3 control, S3-S7 "
    "status bits, ~ when the line is the inverse of its bit";
const char kSyntaxRu[] =
    "Запишите кабель как sda=~D1,scl=~D0,sda-in=S5[,scl-in=S4]: D0–D7 — биты данных, C0–C3 — "
    "управления, S3–S7 — состояния, ~ — линия инверсна своему биту.";

// "~D1" -> the bit; `output`: the part drives a line.
LineBit ParseBit(const std::string& cable, const std::string& part, const std::string& value,
                 bool output) {
    const std::string where = "cable '" + cable + "', " + part + "=" + value;
    const std::string whereRu = "кабель «" + cable + "», " + part + "=" + value;
    std::string text = value;
    LineBit line;
    if (!text.empty() && text[0] == '~') {
        line.inverted = true;
        text.erase(0, 1);
    }
    if (text.size() != 2 || !std::isdigit(static_cast<unsigned char>(text[1])))
        Refuse(where + ": not a register bit", whereRu + ": это не бит регистра.", kSyntaxEn,
               kSyntaxRu);
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    const int bit = text[1] - '0';
    int lowest = 0, highest = 7;
    if (letter == 'D') {
        line.port = kDataPort;
    } else if (letter == 'C') {
        line.port = kControlPort;
        highest = 3;
    } else if (letter == 'S') {
        line.port = kStatusPort;
        lowest = 3;
    } else {
        Refuse(where + ": unknown register letter '" + std::string(1, text[0]) + "'",
               whereRu + ": неизвестная буква регистра «" + std::string(1, text[0]) + "».",
               kSyntaxEn, kSyntaxRu);
    }
    line.bit = bit;
    if (bit < lowest || bit > highest)
        Refuse(where + ": bit " + std::to_string(bit) + " out of range",
               whereRu + ": бит " + std::to_string(bit) + " вне диапазона.",
               std::string("the register ") + letter + " has bits " + letter +
                   std::to_string(lowest) + "-" + letter + std::to_string(highest),
               std::string("У регистра ") + letter + " есть биты " + letter +
                   std::to_string(lowest) + "–" + letter + std::to_string(highest) + ".");
    const bool status = line.port == kStatusPort;
    if (output && status)
        Refuse(where + ": a status bit is an input and cannot drive " + part,
               whereRu + ": бит состояния — вход, он не может управлять линией.",
               "drive SDA and SCL with a data (D) or control (C) bit",
               "Управляйте SDA и SCL битом данных (D) или управления (C).");
    if (!output && !status)
        Refuse(where + ": only status bits can be read as " + part,
               whereRu + ": читать линию можно только битом состояния.",
               "read SDA and SCL back through a status bit, S3-S7",
               "Читайте SDA и SCL через бит состояния, S3–S7.");
    return line;
}

}  // namespace

std::string Cable::Definition() const {
    std::string text = "sda=" + BitName(sdaOut) + ",scl=" + BitName(sclOut) +
                       ",sda-in=" + BitName(sdaIn);
    if (sclIn.Wired()) text += ",scl-in=" + BitName(sclIn);
    return text;
}

Cable DirectCable() {
    return Make("direct", D(0), C(2), S(3), {}, {}, "the default: the memory wired straight on");
}

const std::vector<Cable>& BuiltinCables() {
    static const std::vector<Cable> cables = MakeBuiltins();
    return cables;
}

std::string TypeAlias(const Cable& cable) {
    const auto& all = BuiltinCables();
    for (int t = 0; t < kTypes; ++t)
        if (all[kFirstType + t].name == cable.name) return "type" + std::to_string(t);
    return {};
}

std::string BitName(const LineBit& line) {
    if (!line.Wired()) return "-";
    const char letter = line.port == kDataPort ? 'D' : line.port == kControlPort ? 'C' : 'S';
    return std::string(line.inverted ? "~" : "") + letter + std::to_string(line.bit);
}

int PinNumber(int port, int bit) {
    if (port == kDataPort) return 2 + bit;
    if (port == kControlPort) {
        constexpr int pins[] = {1, 14, 16, 17};
        return bit >= 0 && bit < 4 ? pins[bit] : 0;
    }
    constexpr int pins[] = {0, 0, 0, 15, 13, 12, 10, 11};
    return bit >= 0 && bit < 8 ? pins[bit] : 0;
}

std::string CablePins(const Cable& cable) {
    std::string pins;
    for (const LineBit& line : {cable.sdaOut, cable.sdaIn, cable.sclOut, cable.sclIn}) {
        if (!line.Wired()) continue;
        pins += (pins.empty() ? "" : ", ") + std::to_string(PinNumber(line.port, line.bit));
    }
    return pins;
}

std::string PinText(int port, int bit) {
    static const char* const control[] = {" STROBE", " AUTOFD", " INIT", " SELECTIN"};
    static const char* const status[] = {"", "", "", " ERROR", " SELECT", " PAPEROUT", " ACK",
                                         " BUSY"};
    std::string text = BitName({port, bit, false});
    if (port == kControlPort && bit >= 0 && bit < 4) text += control[bit];
    if (port == kStatusPort && bit >= 0 && bit < 8) text += status[bit];
    return text + ", pin " + std::to_string(PinNumber(port, bit));
}

std::string PinText(const LineBit& line) { return PinText(line.port, line.bit); }

void DriveLine(Port& port, const LineBit& line, bool high) {
    if (high != line.inverted)
        port.SetPortBit(line.port, line.bit);
    else
        port.ClrPortBit(line.port, line.bit);
}

bool ReadLine(Port& port, const LineBit& line) {
    const std::int32_t sample = port.GetPortBit(line.port, line.bit);
    const bool one = static_cast<std::int16_t>(sample & 0xFFFF) != 0;
    return one != line.inverted;
}

Cable ParseCableDefinition(const std::string& name, const std::string& definition) {
    Cable cable;
    cable.name = name;
    std::set<std::string> given;
    std::set<std::pair<int, int>> used;
    std::stringstream parts(definition);
    for (std::string item; std::getline(parts, item, ',');) {
        item = Trim(item);
        const auto eq = item.find('=');
        const std::string part = Lower(Trim(item.substr(0, eq)));
        const std::string value = eq == std::string::npos ? "" : Trim(item.substr(eq + 1));
        const bool known = part == "sda" || part == "scl" || part == "sda-in" || part == "scl-in";
        if (!known || eq == std::string::npos)
            Refuse("cable '" + name + "': unknown part '" + item + "'",
                   "Кабель «" + name + "»: неизвестная часть «" + item + "».", kSyntaxEn,
                   kSyntaxRu);
        if (!given.insert(part).second)
            Refuse("cable '" + name + "': " + part + " given twice",
                   "Кабель «" + name + "»: " + part + " задана дважды.", kSyntaxEn, kSyntaxRu);
        const LineBit line = ParseBit(name, part, value, part == "sda" || part == "scl");
        if (part == "sda")
            cable.sdaOut = line;
        else if (part == "scl")
            cable.sclOut = line;
        else if (part == "sda-in")
            cable.sdaIn = line;
        else
            cable.sclIn = line;
        if (!used.insert({line.port, line.bit}).second)
            Refuse("cable '" + name + "', " + part + "=" + value + ": bit " + BitName(line) +
                       " is used twice",
                   "Кабель «" + name + "», " + part + "=" + value + ": бит используется дважды.",
                   "give every line a bit of its own", "Дайте каждой линии свой бит.");
    }
    for (const char* needed : {"sda", "scl", "sda-in"}) {
        if (!given.count(needed))
            Refuse("cable '" + name + "': " + needed + " is missing",
                   "Кабель «" + name + "»: не задана часть " + needed + ".", kSyntaxEn,
                   kSyntaxRu);
    }
    return cable;
}

std::string UserCablesPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/lpt-eeprom/cables.conf";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.config/lpt-eeprom/cables.conf";
    return {};
}

std::vector<UserCable> ReadUserCables(const std::string& path) {
    std::vector<UserCable> cables;
    if (path.empty()) return cables;
    std::ifstream in(path);
    if (!in) return cables;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const auto eq = line.find('=');
        const std::string name = eq == std::string::npos ? "" : Trim(line.substr(0, eq));
        if (name.empty() || name.find_first_of(" \t,") != std::string::npos)
            Refuse(path + " line " + std::to_string(number) + ": not 'name = definition'",
                   path + ", строка " + std::to_string(number) +
                       ": это не «имя = определение».",
                   "write one cable a line, as: mine = sda=~D1,scl=~D0,sda-in=S5",
                   "Пишите по одному кабелю в строке: mine = sda=~D1,scl=~D0,sda-in=S5.");
        cables.push_back({name, Trim(line.substr(eq + 1)), number});
    }
    return cables;
}

Cable ChooseCable(const std::string& choice, const std::string& userFile) {
    const std::string text = Trim(choice);
    if (text.find('=') != std::string::npos) return ParseCableDefinition(text, text);
    const std::string lower = Lower(text);
    const auto& all = BuiltinCables();
    for (const Cable& cable : all) {
        if (cable.name == lower || (!TypeAlias(cable).empty() && TypeAlias(cable) == lower))
            return cable;
    }
    std::string known;
    for (const Cable& cable : all) known += (known.empty() ? "" : ", ") + cable.name;
    known += ", type0-type8";
    for (const UserCable& user : ReadUserCables(userFile)) {
        if (user.name == text) return ParseCableDefinition(user.name, user.definition);
        known += ", " + user.name;
    }
    Refuse("unknown cable '" + text + "'", "Неизвестный кабель «" + text + "».",
           "give one of " + known + ", or a definition such as sda=D0,scl=C2,sda-in=S3",
           "Укажите один из: " + known + " — или определение вроде sda=D0,scl=C2,sda-in=S3.");
}

}  // namespace lpt
