// What the window says about a button's run: its name and its warnings, in the window's language
// (written in Russian, translated through Qt).
#pragma once

#include <string>

#include "common/chips.h"
#include "operations/operations.h"

namespace lpt::ui {

// The operation's name as the window shows it ("Чтение блоками", ...).
std::string OperationTitle(OperationKind kind);

// The warnings speak of `memory`, the chip the run assumed: of the bytes its writes write.

// The warning shown when some transactions of a run went unanswered; empty when none did.
std::string UnansweredWarning(const OperationResult& result,
                              const MemoryGeometry& memory = k24c16);

// The warning shown when a write's read-back found other bytes than written, or could not be
// done; empty when it matched.
std::string ReadBackWarning(const OperationResult& result, const MemoryGeometry& memory = k24c16);

// Everything the user must hear about a run, in one text; empty when all went well.
std::string OperationWarning(const OperationResult& result,
                             const MemoryGeometry& memory = k24c16);

}  // namespace lpt::ui
