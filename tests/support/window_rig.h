// Form1 over the simulated memory, with messages and beeps recorded instead of shown, and what
// a run disables and enables recorded in order with the beeps.
#pragma once

#include <QApplication>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringList>
#include <QTableView>

#include <memory>

#include "support/sim_bus.h"
#include "ui/form1.h"

namespace lpt::testing {

struct Message {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

struct WindowRig : SimBus {
    std::unique_ptr<ui::Form1> form;
    std::vector<Message> messages;
    int beeps = 0;
    // "disable Form1", "enable Command2", "beep", in the order they happen.
    QStringList events;
    std::function<void(const Message&)> onMessage;
    std::function<void()> onBeep;

    // The byte the simulated memory holds at `a` when the rig starts.
    static std::uint8_t Filled(int a) { return static_cast<std::uint8_t>(a * 5 + (a >> 8)); }

    // `chip`: the part the simulated memory is; the window assumes the 24c16 until told.
    explicit WindowRig(bool memoryPresent = true, const ChipChoice& chip = {})
        : SimBus(memoryPresent, Filled, std::chrono::microseconds(100), chip) {
        // The window keeps its choices in the settings: the tests' own, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        form = std::make_unique<ui::Form1>(port, clock.Fn());
        form->SetMessageSink([this](QMessageBox::Icon icon, const QString& title,
                                    const QString& text) {
            messages.push_back({icon, title, text});
            if (onMessage) onMessage(messages.back());
        });
        form->SetBeepSink([this] {
            ++beeps;
            events.push_back(QStringLiteral("beep"));
            if (onBeep) onBeep();
        });
        form->SetEnablingListener([this](const QString& control, bool enabled) {
            events.push_back((enabled ? QStringLiteral("enable ") : QStringLiteral("disable ")) +
                             control);
        });
        form->SetPauseIdle(nullptr);  // virtual time: nothing to sleep for
    }
    // The window goes first: its unload still drives the bus and may report to the sinks.
    ~WindowRig() { form.reset(); }
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
};

}  // namespace lpt::testing
