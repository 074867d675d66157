// The grid's "Скорость шины" submenu: standard, fast and fast plus, one of them checked. A choice
// from the menu is applied to the bus, kept in the settings for the next run (key "speed") and,
// above what the memory's datasheet gives, warned about once; the command line's choice holds
// for its run only.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

#include "common/chips.h"
#include "ui/dump_view.h"
#include "ui/form1.h"

namespace lpt::ui {

namespace {

constexpr char kSpeedKey[] = "speed";

struct SpeedEntry {
    BusSpeed speed;
    const char* name;  // the action's object name
    const char* text;
};
const SpeedEntry kSpeedEntries[] = {
    {BusSpeed::Standard, "actionSpeedStandard", QT_TRANSLATE_NOOP("lpt::ui::Form1",
                                                                   "Стандартная (100 кГц)")},
    {BusSpeed::Fast, "actionSpeedFast", QT_TRANSLATE_NOOP("lpt::ui::Form1", "Быстрая (400 кГц)")},
    {BusSpeed::FastPlus, "actionSpeedFastPlus",
     QT_TRANSLATE_NOOP("lpt::ui::Form1", "Быстрая плюс (1 МГц)")},
};

// ~/.config/lpt-eeprom/lpt-eeprom.conf
QSettings Settings() {
    return QSettings(QStringLiteral("lpt-eeprom"), QStringLiteral("lpt-eeprom"));
}

}  // namespace

BusSpeed StoredSpeed() {
    const QString name = Settings().value(QString::fromLatin1(kSpeedKey)).toString();
    return SpeedFromName(name.toStdString()).value_or(BusSpeed::Standard);
}

void Form1::BuildSpeedMenu() {
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    MSFlexGrid1->addAction(separator);
    auto* menu = new QMenu(tr("Скорость шины"), this);
    menu->setObjectName(QStringLiteral("menuSpeed"));
    menu->menuAction()->setObjectName(QStringLiteral("actionSpeed"));
    speedGroup_ = new QActionGroup(this);
    speedGroup_->setExclusive(true);
    for (const SpeedEntry& entry : kSpeedEntries) {
        auto* action = new QAction(tr(entry.text), speedGroup_);
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setCheckable(true);
        action->setData(static_cast<int>(entry.speed));
        const BusSpeed speed = entry.speed;
        connect(action, &QAction::triggered, this, [this, speed] { ChooseSpeed(speed); });
        menu->addAction(action);
    }
    MSFlexGrid1->addAction(menu->menuAction());
    SetSpeed(StoredSpeed());
}

void Form1::SetSpeed(BusSpeed speed) {
    if (lines_) lines_->SetSpeed(speed);
    for (QAction* action : speedGroup_->actions())
        action->setChecked(action->data().toInt() == static_cast<int>(speed));
}

void Form1::ChooseSpeed(BusSpeed speed) {
    SetSpeed(speed);
    Settings().setValue(QString::fromLatin1(kSpeedKey), QString::fromLatin1(SpeedName(speed)));
    const lpt::Chip& chip = chip_.Part();  // the memory the window works with
    if (speed <= chip.fastest) return;
    ShowMessage(QMessageBox::Warning, tr("Скорость шины"),
                tr("%1 — больше, чем %2, которые даёт описание памяти %3. При её напряжении "
                   "питания память может работать и так; если чтение или запись дадут ошибки, "
                   "выберите в меню «Скорость шины» скорость пониже.")
                    .arg(RateText(speed), RateText(chip.fastest), QString::fromLatin1(chip.name)));
}

QString Form1::RateText(BusSpeed speed) {
    switch (speed) {
        case BusSpeed::Standard: return tr("100 кГц");
        case BusSpeed::Fast: return tr("400 кГц");
        case BusSpeed::FastPlus: return tr("1 МГц");
    }
    return tr("100 кГц");
}

QString Form1::SpeedHint() const {
    if (!lines_ || lines_->Speed() == BusSpeed::Standard) return {};
    return tr("\nШина на %1 может быть слишком быстрой для кабеля или питания памяти: выберите "
              "«Стандартная (100 кГц)» в меню «Скорость шины» (меню таблицы) и повторите.")
        .arg(RateText(lines_->Speed()));
}

}  // namespace lpt::ui
