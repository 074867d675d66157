// A Feedback that records what the operations ask of the window, in order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "operations/feedback.h"

namespace lpt::testing {

inline const char* ControlName(Control c) {
    switch (c) {
        case Control::Form1: return "Form1";
        case Control::Command1: return "Command1";
        case Control::Command2: return "Command2";
        case Control::Command3: return "Command3";
        case Control::Command4: return "Command4";
        case Control::Command7: return "Command7";
        case Control::Command8: return "Command8";
    }
    return "?";
}

class FakeFeedback : public Feedback {
public:
    void SetCaption(const std::string& text) override {
        caption = text;
        ++captionWrites;
        Log("caption " + text);
    }
    std::string GetText() override {
        ++textReads;
        Log("get");
        return text;
    }
    void SetText(const std::string& t) override {
        text = t;
        ++textWrites;
        Log("set " + t);
    }
    void SetEnabled(Control target, Bool16 enabled) override {
        Log(std::string(enabled ? "enable " : "disable ") + ControlName(target));
    }
    void Beep() override {
        ++beeps;
        Log("beep");
    }

    void Log(const std::string& entry) {
        events.push_back(entry);
        if (onEvent) onEvent(entry);
    }
    // Only the entries that start with the prefix.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

    std::string caption = "Form1";
    std::string text;
    int captionWrites = 0;
    int textReads = 0;
    int textWrites = 0;
    int beeps = 0;
    std::vector<std::string> events;
    std::function<void(const std::string&)> onEvent;
};

}  // namespace lpt::testing
