#include "operations/bus_check.h"

#include <algorithm>

namespace lpt {

namespace {

BusError StuckLow() {
    return BusError(
        "Линия SDA прижата к нулю, шина не освобождается: после девяти тактов SCL при "
        "отпущенной SDA вывод 15 порта по-прежнему читается как 0. На шину не отправлено "
        "ничего: ни условия «старт», ни условия «стоп».\n"
        "Проверьте: не замкнута ли SDA на общий провод; подключение выводов 2 (SDA, выход), "
        "15 (SDA, вход) и 16 (SCL); общий провод (выводы 18–25); питание памяти и подтягивающий "
        "резистор SDA. Память, оставшуюся посреди байта, сбрасывает выключение и включение её "
        "питания.",
        "SDA is held low and the bus does not come free: after nine SCL pulses with SDA released, "
        "port pin 15 still reads 0. Nothing was sent: no start, no stop. Check: SDA shorted to "
        "ground; the wiring of pins 2 (SDA out), 15 (SDA in) and 16 (SCL); ground (pins 18-25); "
        "the memory's supply and the SDA pull-up. A memory left in the middle of a byte is reset "
        "by switching its supply off and on.");
}

}  // namespace

int ClearBus(I2CBus& bus) {
    // SCL low first: releasing SDA while SCL is high could be taken for a stop that commits a
    // page the memory was only half given.
    bus.SetSCL(kFalse);
    bus.SetSDA(kTrue);
    int pulses = 0;
    bool free = false;
    while (pulses < 9 && !free) {
        if (pulses > 0) bus.SetSCL(kFalse);
        bus.SetSCL(kTrue);
        ++pulses;
        free = bus.SenseSDA() != kFalse;
    }
    if (free) {
        // SCL high, SDA high: a start (the memory forgets a half-written page), then a stop.
        bus.I2CStart();
        bus.I2CStop();
    }
    return pulses;
}

BusCheck CheckBus(I2CBus& bus) {
    BusCheck check;
    if (!bus.Interrupted() && !bus.AtRest()) {
        // Nothing known of the lines yet (the first contact failed at load): put them at rest.
        bus.SetSDA(kTrue);
        bus.SetSCL(kTrue);
    }
    if (!bus.Interrupted() && bus.SenseSDA() != kFalse) return check;
    check.cleared = true;
    check.pulses = ClearBus(bus);
    if (bus.SenseSDA() == kFalse) throw StuckLow();
    return check;
}

}  // namespace lpt
