#include "operations/operations.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "operations/bus_check.h"
#include "operations/image_operations.h"

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
// again in the same order afterwards; then beeps. Clicks made while the last steps ran without
// event processing (the read-back) are dropped before the controls are enabled.
template <typename Body>
void WithDisabled(Feedback& feedback, TimedPause& pause, std::initializer_list<Control> controls,
                  Body body) {
    for (Control c : controls) feedback.SetEnabled(c, kFalse);
    EnableOnExit guard(feedback, pause, controls);
    body();
    feedback.DropQueuedInput();
    guard.Run();
    feedback.Beep();
}

// Opens each write transaction of a button: a start and the device address, as always. A memory
// still in the write cycle of the transaction before (slower than the 5 ms pause, as old parts
// are) refuses the address; the start and the address are then repeated until it acknowledges,
// for as long as a WriteCycleWait of kWriteCycleLimit on the pause's clock lasts, before the
// rest of the transaction goes out. A memory that keeps to the pause acknowledges at once and
// sees the traffic unchanged. Once the memory has not answered within the limit, the rest of the
// run does not wait again: a missing memory costs one wait per run, not one per transaction,
// and the transactions still go out and are counted unanswered.
class WriteOpener {
public:
    explicit WriteOpener(TimedPause& pause) : pause_(pause) {}

    void Open(I2CBus& bus, std::uint8_t device, bool& answered) {
        bus.I2CStart();
        bus.WriteByte(device);
        if (bus.Ack == 0 && !gaveUp_) {
            WriteCycleWait wait(pause_.Clock(), kWriteCycleLimit);
            // The bound on tries only matters for a clock that does not move.
            for (int tries = 0; bus.Ack == 0 && tries < 100000; ++tries) {
                wait.Poll();
                bus.I2CStart();  // repeated start
                bus.WriteByte(device);
                if (bus.Ack == 0 && wait.Over()) break;
            }
            gaveUp_ = bus.Ack == 0;
        }
        if (bus.Ack == 0)
            answered = false;
        else if (gaveUp_)
            answeredSince_ = true;
    }

    // How long the read-back may poll: the whole limit, unless the run already waited it out
    // in vain and the memory has answered nothing since (one poll then).
    TimeNs ReadBackLimit() const {
        return gaveUp_ && !answeredSince_ ? TimeNs{0} : kWriteCycleLimit;
    }

private:
    TimedPause& pause_;
    bool gaveUp_ = false;         // the memory did not answer within the limit
    bool answeredSince_ = false;  // and then acknowledged a device address again
};

// The bytes a write put into block 0 and still owns, read back in one sequential read after
// its last pause. The memory may still be finishing a slow write cycle: the read's device
// address is polled until acknowledged, for at most `limit`, which on a memory that kept to the
// pause costs nothing.
ReadBack ReadBackBlock0(I2CBus& bus, TimedPause& pause, TimeNs limit, const WriteJournal& journal,
                        int writer, const std::array<std::uint8_t, 256>& written) {
    ReadBack check;
    if (bus.Interrupted()) CheckBus(bus);
    if (!PollAcknowledge(bus, 0xA0, pause.Clock(), limit)) return check;
    bus.WriteByte(0x00);  // word address 0
    bool answered = bus.Ack != 0;
    if (answered) {
        bus.I2CStart();  // repeated start
        bus.WriteByte(0xA1);
        answered = bus.Ack != 0;
    }
    if (!answered) {
        bus.I2CStop();
        return check;
    }
    std::array<std::uint8_t, 256> found{};
    for (int index = 0; index <= 255; index += 1) {
        bus.Ack = index == 255 ? 0 : 1;
        found[static_cast<size_t>(index)] = bus.ReadByte();
    }
    bus.I2CStop();
    check.answered = true;
    for (int a = 0; a <= 255; ++a) {
        if (!journal.Owns(writer, a)) continue;  // overwritten by a write nested in a pause
        ++check.compared;
        const auto i = static_cast<size_t>(a);
        if (found[i] != written[i]) check.mismatches.push_back({a, written[i], found[i]});
    }
    return check;
}

// A write of block 0 and its proof: its place in the journal and the bytes it wrote.
class Block0Proof {
public:
    explicit Block0Proof(WriteJournal* shared)
        : log_(shared ? *shared : own_), writer_(log_.Begin()) {}
    void Wrote(int address, std::uint8_t value) {
        log_.Record(writer_, address);
        written_[static_cast<size_t>(address)] = value;
    }
    ReadBack Check(I2CBus& bus, TimedPause& pause, TimeNs limit) const {
        return ReadBackBlock0(bus, pause, limit, log_, writer_, written_);
    }

private:
    WriteJournal own_;
    WriteJournal& log_;
    int writer_;
    std::array<std::uint8_t, 256> written_{};
};

// After a pause: an operation nested in it may have been cut short by a port failure in the
// middle of a transaction; clear the bus before the next transaction goes out.
void RecoverAfterPause(I2CBus& bus) {
    if (bus.Interrupted()) CheckBus(bus);
}

}  // namespace

OperationResult BlockRead(I2CBus& bus, DumpGrid& grid, Feedback& feedback) {
    OperationResult result{OperationKind::BlockRead};
    CheckBus(bus);
    result.data.reserve(2048);
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
            result.data.push_back(static_cast<std::uint8_t>(value));
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
    CheckBus(bus);
    result.data.reserve(2048);
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
            result.data.push_back(static_cast<std::uint8_t>(value));
        }
    }
    feedback.Beep();
    return result;
}

OperationResult BlockFill(I2CBus& bus, Feedback& feedback, TimedPause& pause,
                          WriteJournal* journal) {
    OperationResult result{OperationKind::BlockFill};
    CheckBus(bus);
    Block0Proof proof(journal);
    WriteOpener opener(pause);
    WithDisabled(feedback, pause, {Control::Form1, Control::Command2}, [&] {
        for (int address = 0; address <= 240; address += 16) {
            RecoverAfterPause(bus);
            bool answered = true;
            opener.Open(bus, 0xA0, answered);
            SendExpectingAck(bus, address, answered);
            for (int n = 1; n <= 16; n += 1) SendExpectingAck(bus, 0xFF, answered);
            bus.I2CStop();
            ++result.transactions;
            if (!answered) ++result.unanswered;
            for (int n = 0; n < 16; ++n) proof.Wrote(address + n, 0xFF);
            pause.Pause(kWritePause);
        }
        result.readBack = proof.Check(bus, pause, opener.ReadBackLimit());
        result.readBackDone = true;
    });
    return result;
}

OperationResult PatternWrite(I2CBus& bus, Feedback& feedback, TimedPause& pause,
                             WriteJournal* journal) {
    OperationResult result{OperationKind::PatternWrite};
    CheckBus(bus);
    Block0Proof proof(journal);
    WriteOpener opener(pause);
    WithDisabled(feedback, pause, {Control::Command3}, [&] {
        for (int i = 0; i <= 255; i += 1) {
            RecoverAfterPause(bus);
            bool answered = true;
            opener.Open(bus, 0xA0, answered);
            SendExpectingAck(bus, i, answered);  // word address
            SendExpectingAck(bus, i, answered);  // data
            bus.I2CStop();
            ++result.transactions;
            if (!answered) ++result.unanswered;
            proof.Wrote(i, static_cast<std::uint8_t>(i));
            pause.Pause(kWritePause);
        }
        result.readBack = proof.Check(bus, pause, opener.ReadBackLimit());
        result.readBackDone = true;
    });
    return result;
}

void BusScan(I2CBus& bus, Feedback& feedback) {
    CheckBus(bus);
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
            "общий провод), нет питания, память ещё занята предыдущей записью";
    text += read ? "." : ", запись запрещена (вывод WP памяти подключён к питанию).";
    return text;
}

std::string ReadBackWarning(const OperationResult& r) {
    if (!r.readBackDone) return {};
    const std::string title = "«" + OperationTitle(r.kind) + "»: ";
    if (!r.readBack.answered) {
        return title + "проверить записанное не удалось: при чтении блока 0 память не ответила "
                       "(нет подтверждения адреса) и за " + WriteCycleLimitMs() +
               " мс так и не освободилась.\nЗапись не подтверждена. Проверьте подключение и "
               "питание памяти.";
    }
    const auto& bad = r.readBack.mismatches;
    if (bad.empty()) return {};
    std::string text = title + "проверка чтением: " + std::to_string(bad.size()) + " из " +
                       std::to_string(r.readBack.compared) +
                       " байт блока 0 отличаются от записанного.\n";
    const size_t shown = std::min<size_t>(bad.size(), 8);
    for (size_t i = 0; i < shown; ++i) {
        text += "  " + AddressText(bad[i].address) + ": записано " + ByteHex(bad[i].expected) +
                ", прочитано " + ByteHex(bad[i].found) + "\n";
    }
    if (bad.size() > shown) text += "  … и ещё " + std::to_string(bad.size() - shown) + "\n";
    text += "Возможные причины: запись запрещена (вывод WP памяти подключён к питанию; такая "
            "память подтверждает байты, но не сохраняет их), память не заканчивает запись и за " +
            WriteCycleLimitMs() + " мс ожидания, ненадёжный контакт на выводах 2, 15 или 16.";
    return text;
}

std::string OperationWarning(const OperationResult& r) {
    const std::string unanswered = UnansweredWarning(r);
    const std::string readBack = ReadBackWarning(r);
    if (unanswered.empty() || readBack.empty()) return unanswered + readBack;
    return unanswered + "\n\n" + readBack;
}

}  // namespace lpt
