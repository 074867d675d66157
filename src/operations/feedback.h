// What the operations tell the user through the window: the caption, the text box, enabling of
// the window and its buttons, and the beep. The window implements it; tests fake it.
#pragma once

#include <string>

#include "bus/i2c_bus.h"

namespace lpt {

enum class Control { Form1, Command1, Command2, Command3, Command4, Command7, Command8 };

class Feedback {
public:
    virtual ~Feedback() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual std::string GetText() = 0;  // the whole text of Text4
    virtual void SetText(const std::string& text) = 0;
    // false: the target takes no input; true: it takes input again. Nothing is counted: one
    // call with true enables, whatever came before.
    virtual void SetEnabled(Control target, Bool16 enabled) = 0;
    virtual void Beep() = 0;
    // After a write's read-back, which runs without processing the window's events, and before
    // the controls the write disabled take input again: input that arrived meanwhile is dropped
    // instead of acting once they are enabled. Nothing by default.
    virtual void DropQueuedInput() {}
};

}  // namespace lpt
