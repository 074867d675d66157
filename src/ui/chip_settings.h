// The chip the window's menu chose, kept between runs. A choice on the command line holds for its
// run only: it is never written here.
#pragma once

#include <QSettings>

#include <memory>
#include <optional>

#include "common/chips.h"

namespace lpt::ui {

// The user's settings of the window programs (~/.config/lpt-eeprom/lpt-eeprom.conf).
std::unique_ptr<QSettings> UserSettings();

// The chip last chosen in the menu; nothing when none was, or when its name is no longer in the
// chip table.
std::optional<ChipChoice> RememberedChip(const QSettings& settings);
void RememberChip(QSettings& settings, const ChipChoice& chip);

// The chip a run starts with: the command line's, else the remembered one, else the 24c16.
ChipChoice StartChip(const std::optional<ChipChoice>& commandLine, const QSettings& settings);

}  // namespace lpt::ui
