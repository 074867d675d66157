#include "ui/chip_settings.h"

#include <QString>

namespace lpt::ui {

namespace {

const QString kChipKey = QStringLiteral("chip");

}  // namespace

std::unique_ptr<QSettings> UserSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("lpt-eeprom"), QStringLiteral("lpt-eeprom"));
}

std::optional<ChipChoice> RememberedChip(const QSettings& settings) {
    const QString name = settings.value(kChipKey).toString();
    if (name.isEmpty()) return std::nullopt;
    const Chip* chip = FindChip(name.toStdString());
    if (!chip) return std::nullopt;
    return ChipChoice{chip};
}

void RememberChip(QSettings& settings, const ChipChoice& chip) {
    settings.setValue(kChipKey, QString::fromLatin1(chip.Part().name));
    settings.sync();
}

ChipChoice StartChip(const std::optional<ChipChoice>& commandLine, const QSettings& settings) {
    if (commandLine) return *commandLine;
    return RememberedChip(settings).value_or(ChipChoice{});
}

}  // namespace lpt::ui
