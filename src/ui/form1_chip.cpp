// The chip the window assumes: the "Микросхема" submenu of the grid's context menu, one entry per
// part of the chip table and "Определить микросхему…", which reads the bus to say which memory
// is on it. A new chip gives the grid its size and forgets what the grid showed.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "operations/detect.h"
#include "ui/chip_settings.h"
#include "ui/dump_view.h"
#include "ui/form1.h"
#include "ui/grid_table_model.h"
#include "ui/language.h"

namespace lpt::ui {

namespace {

QString LabelText(DetectFinding::Label label) {
    switch (label) {
        case DetectFinding::Label::Certain: return Form1::tr("точно");
        case DetectFinding::Label::Guess: return Form1::tr("предположение");
        case DetectFinding::Label::CannotTell: return Form1::tr("не определить");
    }
    return {};
}

QString Name(const lpt::Chip& chip) { return QString::fromLatin1(chip.name); }

}  // namespace

void Form1::BuildChipMenu() {
    auto* menu = new QMenu(tr("Микросхема"), this);
    menu->setObjectName(QStringLiteral("menuChip"));
    chipEntries_ = new QActionGroup(this);
    chipEntries_->setExclusive(true);
    for (const lpt::Chip& chip : Chips()) {
        // A part's name is the same in every language: "24c16".
        auto* entry = new QAction(Name(chip), chipEntries_);
        entry->setObjectName(QStringLiteral("actionChip_") + Name(chip));
        entry->setCheckable(true);
        entry->setChecked(&chip == chip_.chip);
        connect(entry, &QAction::triggered, this, [this, part = &chip] { ChooseChipFromMenu(part); });
        menu->addAction(entry);
    }
    menu->addSeparator();
    detectAction_ = new QAction(tr("Определить микросхему…"), this);
    detectAction_->setObjectName(QStringLiteral("actionDetect"));
    connect(detectAction_, &QAction::triggered, this, &Form1::DetectChip);
    menu->addAction(detectAction_);
    QAction* submenu = menu->menuAction();
    submenu->setObjectName(QStringLiteral("actionChipMenu"));
    MSFlexGrid1->addAction(submenu);
}

void Form1::SetChip(const ChipChoice& chip) {
    chip_ = chip;
    memory_ = chip.Geometry();
    memoryBus_->SetMemory(memory_);
    // The rows change under the view: the grid is reshaped inside the model's reset, with the
    // repaint of each change held back until the view knows the new rows.
    grid_.SetChangeListener(nullptr);
    GridModel().Reshape([&] { grid_.Resize(memory_.size); });
    grid_.SetChangeListener([this](int row, int) { MSFlexGrid1->NoteChange(row); });
    MSFlexGrid1->Reshape();
    ForgetDump();
    CheckChipEntry();
}

void Form1::CheckChipEntry() {
    for (QAction* entry : chipEntries_->actions())
        entry->setChecked(entry->text() == Name(chip_.Part()));
}

void Form1::ChooseChipFromMenu(const lpt::Chip* chip) {
    if (Busy() || unloaded_) {
        // The entries are disabled meanwhile; the check mark goes back where it was, and the
        // grid and the last read stay.
        CheckChipEntry();
        return;
    }
    if (chip != chip_.chip || chip_.pageSize > 0 || chip_.pins >= 0) SetChip(ChipChoice{chip});
    if (chipSettings_) RememberChip(*chipSettings_, chip_);
}

void Form1::DetectChip() {
    if (Busy()) return;
    Guarded(tr("Определить микросхему"), [this] {
        pause_.Settle();
        const DetectReport report = Detect(*memoryBus_);
        QString findings;
        for (const DetectFinding& finding : report.findings)
            findings += LabelText(finding.label) + QStringLiteral(": ") +
                        WordingText(finding.text) + QLatin1Char('\n');
        const QString title = tr("Определение микросхемы");
        if (report.candidates.size() != 1) {
            ShowMessage(QMessageBox::Information, title,
                        findings + QLatin1Char('\n') +
                            tr("Выбрать одну микросхему по этим признакам нельзя; выбрана по-"
                               "прежнему %1. Выберите микросхему по надписи на корпусе в меню "
                               "«Микросхема».")
                                .arg(QString::fromStdString(chip_.Describe())));
            return;
        }
        const lpt::Chip& found = *report.candidates.front();
        if (&found == chip_.chip) {
            ShowMessage(QMessageBox::Information, title,
                        findings + QLatin1Char('\n') +
                            tr("Подходит одна микросхема, %1, и она уже выбрана.").arg(Name(found)));
            return;
        }
        if (!Ask(title,
                 findings + QLatin1Char('\n') +
                     tr("Подходит одна микросхема: %1 (выбрана %2). Выбрать %1?")
                         .arg(Name(found), QString::fromStdString(chip_.Describe())),
                 tr("Выбрать")))
            return;
        SetChip(ChipChoice{&found});
        if (chipSettings_) RememberChip(*chipSettings_, chip_);
    });
}

bool Form1::Ask(const QString& title, const QString& text, const QString& accept) {
    if (!dialogs_.confirm) return false;
    confirmAccept_ = accept;
    const bool yes = dialogs_.confirm(title, text);
    confirmAccept_.clear();
    return yes;
}

}  // namespace lpt::ui
