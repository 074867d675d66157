#include "operations/memory_errors.h"

#include "operations/hex_text.h"

namespace lpt {

namespace {

// "100", a limit in whole milliseconds as the messages give it.
std::string Milliseconds(TimeNs limit) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count());
}

// An address of `memory` in as many digits as its last one takes: "0x7F0", "0x1FF00".
std::string At(const MemoryGeometry& memory, int address) {
    return AddressText(address, memory.AddressDigits());
}

// The part the other width of word address suggests: "a 24c32 or larger" for a memory chosen
// with a one-byte word address, "a 24c16 or smaller" for one with two.
Wording OtherPart(const MemoryGeometry& memory) {
    if (memory.addressBytes == 1) return {"one-byte", "однобайтовом"};
    return {"two-byte", "двухбайтовом"};
}

Wording LikelyChip(const MemoryGeometry& memory) {
    if (memory.addressBytes == 1) return {"a 24c32 or larger", "24c32 или больше"};
    return {"a 24c16 or smaller", "24c16 или меньше"};
}

}  // namespace

BusError StuckLow(const Cable& cable) {
    const auto pin = [](const LineBit& line) {
        return std::to_string(PinNumber(line.port, line.bit));
    };
    const std::string in = pin(cable.sdaIn), out = pin(cable.sdaOut), scl = pin(cable.sclOut);
    return BusError(
        {"SDA is held low and the bus does not come free: after nine SCL pulses with SDA "
         "released, port pin " + in + " still reads 0. Nothing was sent: no start, no stop",
         "Линия SDA прижата к нулю, шина не освобождается: после девяти тактов SCL при "
         "отпущенной SDA вывод " + in + " порта по-прежнему читается как 0. На шину не "
         "отправлено ничего: ни условия «старт», ни условия «стоп»."},
        {"check: SDA shorted to ground; the wiring of pins " + out + " (SDA out), " + in +
             " (SDA in) and " + scl + " (SCL); ground (pins 18-25); the memory's supply and the "
             "SDA pull-up. A memory left in the middle of a byte is reset by switching its "
             "supply off and on.",
         "Проверьте: не замкнута ли SDA на общий провод; подключение выводов " + out +
             " (SDA, выход), " + in + " (SDA, вход) и " + scl + " (SCL); общий провод (выводы "
             "18–25); питание памяти и подтягивающий резистор SDA. Память, оставшуюся посреди "
             "байта, сбрасывает выключение и включение её питания."});
}

BusError NoAnswer(std::uint8_t device, TimeNs limit, const MemoryLines& wiring) {
    const std::string hex = HexForm(device);
    const std::string ms = Milliseconds(limit);
    return BusError(
        {"the memory does not answer at " + hex + " (device address not acknowledged, also after " +
             ms + " ms of polling)",
         "Память не отвечает по адресу " + hex + ": адрес устройства не подтверждён (в том числе "
         "за " + ms + " мс ожидания конца записи)."},
        {"check that the chip is in place and powered, and the wiring of " + wiring.lines.en +
             " and ground",
         "Проверьте, что микросхема на месте и у неё есть питание, и подключение " +
             wiring.lines.ru + " и общего провода."});
}

BusError StoppedAnswering(const MemoryGeometry& memory, int block, std::uint8_t device,
                          const MemoryLines& wiring) {
    const int first = block * memory.BlockSize(), last = first + memory.BlockSize() - 1;
    const std::string from = At(memory, first), to = At(memory, last);
    const std::string hex = HexForm(device);
    return BusError(
        {"the memory stopped answering during the read of block " + std::to_string(block) + " (" +
             from + "-" + to + "): its device address " + hex +
             " was not acknowledged after the read, so bytes of that block may have read as FF; "
             "the read is not complete and was not used",
         "Память перестала отвечать при чтении блока " + std::to_string(block) + " (" + from +
             "–" + to + "): после чтения адрес устройства " +
             hex + " не подтверждён, и часть байтов блока могла прочитаться как FF. Чтение не "
             "завершено, прочитанное не используется."},
        {"check that the chip is in place and powered, and the wiring of " + wiring.lines.en +
             " and ground, then try again",
         "Проверьте, что микросхема на месте и у неё есть питание, и подключение " +
             wiring.lines.ru + " и общего провода, затем повторите."});
}

const Wording kWordAddress{"word address", "адрес ячейки"};
const Wording kReadAddress{"read address", "адрес чтения"};

BusError Unacknowledged(std::uint8_t device, const Wording& what, const MemoryLines& wiring) {
    const std::string hex = HexForm(device);
    return BusError({"the memory at " + hex + " did not acknowledge the " + what.en,
                     "Память по адресу " + hex + " не подтвердила " + what.ru + "."},
                    {"check the wiring of " + wiring.lines.en + " and the memory's supply",
                     "Проверьте подключение " + wiring.lines.ru + " и питание памяти."});
}

BusError PageRefused(const MemoryGeometry& memory, int page, int byteIndex) {
    const std::string at = At(memory, page * memory.pageSize);
    const std::string byte = std::to_string(byteIndex);
    return BusError({"page " + at + " was not written: the memory did not acknowledge byte " +
                         byte + " of the page write",
                     "Страница " + at + " не записана: память не подтвердила байт " + byte +
                         " страничной записи."},
                    {"it may be write-protected (WP pin high) or failing",
                     "Возможно, запись запрещена (вывод WP подключён к питанию), или память "
                     "неисправна."});
}

BusError PageUnfinished(const MemoryGeometry& memory, int page) {
    const std::string at = At(memory, page * memory.pageSize);
    const std::string ms = Milliseconds(memory.WriteCycleLimit());
    return BusError({"page " + at + ": the memory did not finish its write cycle within " + ms +
                         " ms (no acknowledge after the write)",
                     "Страница " + at + ": память не закончила запись за " + ms +
                         " мс (нет подтверждения адреса после записи)."},
                    {"check its supply and wiring",
                     "Проверьте питание памяти и подключение; у исправной памяти цикл записи не "
                     "длиннее 5–10 мс."});
}

BusError WrongAddressing(const MemoryGeometry& memory) {
    const Wording width = OtherPart(memory), chip = LikelyChip(memory);
    return BusError(
        {"the memory does not read back consistently with a " + width.en + " word address: is "
         "the chip " + chip.en + "?",
         "Память читается несогласованно при " + width.ru + " адресе слова: возможно, это " +
             chip.ru + "?"},
        {"nothing was written; choose the chip that is on the board (--chip)",
         "Ничего не записано. Выберите микросхему, которая установлена на плате."});
}

Wording OtherAddressing(const MemoryGeometry& memory) {
    const Wording width = OtherPart(memory), chip = LikelyChip(memory);
    const std::string taken = memory.addressBytes == 1 ? "однобайтовый" : "двухбайтовый";
    return {"the memory may not take a " + width.en + " word address: is the chip " + chip.en +
                "?",
            "память может не принимать " + taken + " адрес слова: возможно, это " + chip.ru +
                "?"};
}

Wording PagesDone(int written, int total, bool verifying) {
    if (verifying)
        return {"all " + std::to_string(total) + " pages to write were written but not read "
                "back: run the same command again to check them (pages that already match are "
                "skipped)",
                "Записаны все страницы (" + std::to_string(total) + "), но проверить их чтением "
                "не удалось. Запишите файл ещё раз: страницы, уже совпадающие с файлом, будут "
                "пропущены, остальные записаны и проверены."};
    return {std::to_string(written) + " of " + std::to_string(total) + " pages to write were "
            "written before this, so the memory now holds a mix of old and new contents: mend the "
            "cause and run the same command again",
            "До ошибки записано страниц: " + std::to_string(written) + " из " +
                std::to_string(total) + ". Теперь в памяти смесь старого и нового содержимого. "
                "Устраните причину и запишите файл ещё раз."};
}

}  // namespace lpt
