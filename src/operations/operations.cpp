#include "operations/operations.h"

#include <cstdint>
#include <vector>

namespace lpt {

namespace {

// Sends one byte the memory must acknowledge, and notes whether it did.
void SendExpectingAck(I2CBus& bus, int value, bool& answered) {
    const std::uint8_t byte = static_cast<std::uint8_t>(value);
    bus.WriteByte(byte);
    if (bus.Ack == 0) answered = false;
}

// Sets the controls a write disabled back to enabled on every way out of it, a failure
// included, but not when the window has closed under it.
class EnableOnExit {
public:
    EnableOnExit(Feedback& feedback, TimedPause& pause, std::initializer_list<Control> controls)
        : feedback_(feedback), pause_(pause), controls_(controls) {}
    ~EnableOnExit() { Run(); }
    void Run() {
        if (done_ || pause_.Cancelled()) return;
        done_ = true;
        for (Control c : controls_) feedback_.SetEnabled(c, kTrue);
    }
    EnableOnExit(const EnableOnExit&) = delete;
    EnableOnExit& operator=(const EnableOnExit&) = delete;

private:
    Feedback& feedback_;
    TimedPause& pause_;
    std::vector<Control> controls_;
    bool done_ = false;
};

// Runs the given steps with the controls disabled, in the order given, and sets them enabled
// again in the same order afterwards; then beeps.
template <typename Body>
void WithDisabled(Feedback& feedback, TimedPause& pause, std::initializer_list<Control> controls,
                  Body body) {
    for (Control c : controls) feedback.SetEnabled(c, kFalse);
    EnableOnExit guard(feedback, pause, controls);
    body();
    guard.Run();
    feedback.Beep();
}

}  // namespace

OperationResult BlockRead(I2CBus& bus, DumpGrid& grid, Feedback& feedback) {
    OperationResult result{OperationKind::BlockRead};
    WriteCursor cursor;
    cursor.row = 1;
    for (int block = 0; block <= 7; block += 1) {
        bool answered = true;
        bus.I2CStart();
        SendExpectingAck(bus, 0xA0 + 2 * block, answered);  // device address, write
        SendExpectingAck(bus, 0x00, answered);              // word address 0
        bus.I2CStart();                                     // repeated start
        SendExpectingAck(bus, 0xA1 + 2 * block, answered);  // device address, read
        cursor.col = 1;
        for (int index = 0; index <= 255; index += 1) {
            bus.Ack = index == 255 ? 0 : 1;  // the last byte of the block is not acknowledged
            const int value = bus.ReadByte();
            PlaceByte(grid, cursor, value);
        }
        bus.I2CStop();
        ++result.transactions;
        if (!answered) ++result.unanswered;
    }
    feedback.Beep();
    return result;
}

OperationResult ByteRead(I2CBus& bus, DumpGrid& grid, Feedback& feedback) {
    OperationResult result{OperationKind::ByteRead};
    WriteCursor cursor;
    cursor.row = 1;
    for (int block = 0; block <= 7; block += 1) {
        cursor.col = 1;
        for (int index = 0; index <= 255; index += 1) {
            bool answered = true;
            bus.I2CStart();
            SendExpectingAck(bus, 0xA0 + 2 * block, answered);
            SendExpectingAck(bus, index, answered);
            bus.I2CStart();
            SendExpectingAck(bus, 0xA1 + 2 * block, answered);
            bus.Ack = 0;  // a single byte, not acknowledged
            const int value = bus.ReadByte();
            bus.I2CStop();
            ++result.transactions;
            if (!answered) ++result.unanswered;
            // After the stop: the bus is idle while the grid is written.
            PlaceByte(grid, cursor, value);
        }
    }
    feedback.Beep();
    return result;
}

OperationResult BlockFill(I2CBus& bus, Feedback& feedback, TimedPause& pause) {
    OperationResult result{OperationKind::BlockFill};
    WithDisabled(feedback, pause, {Control::Form1, Control::Command2}, [&] {
        for (int address = 0; address <= 240; address += 16) {
            bool answered = true;
            bus.I2CStart();
            SendExpectingAck(bus, 0xA0, answered);
            SendExpectingAck(bus, address, answered);
            for (int n = 1; n <= 16; n += 1) SendExpectingAck(bus, 0xFF, answered);
            bus.I2CStop();
            ++result.transactions;
            if (!answered) ++result.unanswered;
            pause.Pause(kWritePause);
        }
    });
    return result;
}

OperationResult PatternWrite(I2CBus& bus, Feedback& feedback, TimedPause& pause) {
    OperationResult result{OperationKind::PatternWrite};
    WithDisabled(feedback, pause, {Control::Command3}, [&] {
        for (int i = 0; i <= 255; i += 1) {
            bool answered = true;
            bus.I2CStart();
            SendExpectingAck(bus, 0xA0, answered);
            SendExpectingAck(bus, i, answered);  // word address
            SendExpectingAck(bus, i, answered);  // data
            bus.I2CStop();
            ++result.transactions;
            if (!answered) ++result.unanswered;
            pause.Pause(kWritePause);
        }
    });
    return result;
}

void BusScan(I2CBus& bus, Feedback& feedback) {
    for (int address = 0; address <= 254; address += 2) {
        bus.I2CStart();
        const std::uint8_t byte = static_cast<std::uint8_t>(address);
        bus.WriteByte(byte);
        if (bus.Ack != 0) feedback.SetText(feedback.GetText() + HexForm(address) + " ");
        bus.I2CStop();
        feedback.SetCaption(std::to_string(address));
    }
}

std::string OperationTitle(OperationKind kind) {
    switch (kind) {
        case OperationKind::BlockRead: return "Чтение блоками";
        case OperationKind::ByteRead: return "Чтение пабайтно";
        case OperationKind::BlockFill: return "Запись блоками";
        case OperationKind::PatternWrite: return "Запись пабайтно";
    }
    return {};
}

std::string UnansweredWarning(const OperationResult& r) {
    if (r.unanswered == 0) return {};
    const bool read = r.kind == OperationKind::BlockRead || r.kind == OperationKind::ByteRead;
    std::string text = "«" + OperationTitle(r.kind) + "»: память не ответила в " +
                       std::to_string(r.unanswered) + " из " + std::to_string(r.transactions) +
                       " транзакций (нет подтверждения адреса или данных).\n";
    text += read ? "Прочитанные данные недостоверны: байты FF могут означать, что память "
                   "просто не отвечала, а не что она чистая.\n"
                 : "Записанные данные недостоверны: эти транзакции память, скорее всего, не "
                   "выполнила. Прочитайте блок 0, чтобы проверить.\n";
    text += "Возможные причины: нет микросхемы на шине, ошибка в подключении (выводы 2, 15, 16 и "
            "общий провод), нет питания, память ещё занята предыдущей записью.";
    return text;
}

}  // namespace lpt
