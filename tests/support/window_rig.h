// Form1 over the simulated memory, with messages and beeps recorded instead of shown.
#pragma once

#include <QApplication>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

#include <memory>

#include "sim/sim_eeprom.h"
#include "sim/sim_port.h"
#include "sim/trace.h"
#include "ui/form1.h"

namespace lpt::testing {

struct Message {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

struct WindowRig {
    SteppingClock clock{std::chrono::microseconds(100)};
    sim::SimPort port;
    sim::SimEeprom eeprom{clock.Fn()};
    std::unique_ptr<ui::Form1> form;
    std::vector<Message> messages;
    int beeps = 0;
    std::function<void(const Message&)> onMessage;

    explicit WindowRig(bool memoryPresent = true) {
        if (memoryPresent) port.Attach(eeprom);
        for (int a = 0; a < sim::SimEeprom::kSize; ++a)
            eeprom.Memory()[a] = static_cast<std::uint8_t>(a * 5 + (a >> 8));
        form = std::make_unique<ui::Form1>(port, clock.Fn());
        form->SetMessageSink([this](QMessageBox::Icon icon, const QString& title,
                                    const QString& text) {
            messages.push_back({icon, title, text});
            if (onMessage) onMessage(messages.back());
        });
        form->SetBeepSink([this] { ++beeps; });
        form->SetPauseIdle(nullptr);  // virtual time: nothing to sleep for
    }
    ~WindowRig() {
        form.reset();
        port.Detach(eeprom);
    }
    void LoadAndShow() {
        form->Load();
        form->show();
        QApplication::processEvents();
    }

    template <typename T = QPushButton>
    T* Get(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    QPushButton* Button(const char* name) const { return Get<QPushButton>(name); }
    QString Caption() const { return form->windowTitle(); }
    QString Text() const { return Get<QPlainTextEdit>("Text4")->toPlainText(); }
    sim::DecodedTrace Decode() const { return sim::DecodeTrace(port.Calls()); }

    // Stop conditions on the wire so far, counted incrementally (cheap enough for every turn).
    size_t Stops() {
        const auto& calls = port.Calls();
        for (; scanned_ < calls.size(); ++scanned_) {
            const auto& c = calls[scanned_];
            if (scl_ && c.scl && !sda_ && c.sda) ++stops_;
            scl_ = c.scl;
            sda_ = c.sda;
        }
        return stops_;
    }

private:
    size_t scanned_ = 0;
    size_t stops_ = 0;
    bool scl_ = true;
    bool sda_ = true;
};

}  // namespace lpt::testing
