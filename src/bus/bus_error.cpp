#include "bus/bus_error.h"

namespace lpt {

namespace {

std::string SclPins(const Cable& cable) {
    return "pins " + std::to_string(PinNumber(cable.sclOut.port, cable.sclOut.bit)) +
           " (SCL out, " + BitName(cable.sclOut) + ") and " +
           std::to_string(PinNumber(cable.sclIn.port, cable.sclIn.bit)) + " (SCL in, " +
           BitName(cable.sclIn) + ")";
}

std::string SclPinsRu(const Cable& cable) {
    return "выводы " + std::to_string(PinNumber(cable.sclOut.port, cable.sclOut.bit)) +
           " (SCL, выход) и " + std::to_string(PinNumber(cable.sclIn.port, cable.sclIn.bit)) +
           " (SCL, вход)";
}

}  // namespace

BusError SclStuckLow(const Cable& cable) {
    return BusError(
        {"SCL is held low with the bus at rest: " + SclPins(cable) + " read 0 with SCL released. "
         "Nothing was sent",
         "Линия SCL прижата к нулю при свободной шине: при отпущенной SCL вход читается как 0 (" +
             SclPinsRu(cable) + "). На шину не отправлено ничего."},
        {"check: SCL shorted to ground, the SCL pull-up, the wiring of those pins and the cable "
         "chosen (--cable)",
         "Проверьте: не замкнута ли SCL на общий провод, подтягивающий резистор SCL, подключение "
         "этих выводов и выбранный кабель."});
}

BusError SclHeldLow(const Cable& cable) {
    return BusError(
        {"SCL held low for more than 1 ms by a device: after SCL was released, " +
             SclPins(cable) + " still read 0; the operation was stopped",
         "Устройство держит SCL в нуле дольше 1 мс: после отпускания SCL вход всё ещё читается "
         "как 0 (" + SclPinsRu(cable) + "). Операция остановлена."},
        {"check the SCL pull-up and the devices on the bus, then try again",
         "Проверьте подтягивающий резистор SCL и устройства на шине, затем повторите."});
}

}  // namespace lpt
