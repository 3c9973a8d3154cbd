#include "widgets/line_setup_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dkq {
namespace {

// The radios of a line, in ChannelKind order.
constexpr const char* KindTexts[KindCount] = {"T[°C]", "U[V]", "NUM", "T[K]"};
constexpr int LinesPerBlock = LineCount / 2;
constexpr int CountersPerBlock = CounterCount / 2;

// Grid columns of one block.
enum Column {
    EntryColumn,
    NameColumn,
    FirstKindColumn,
    MinColumn = FirstKindColumn + KindCount,
    MaxColumn,
    ColumnCount
};

QString entryLabel(int entry) {
    return entry < LineCount ? QString("L%1").arg(entry + 1)
                             : QString("C%1").arg(entry - LineCount + 1);
}

QLineEdit* numberEdit(const QString& objectName) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setFixedWidth(80);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

}  // namespace

LineSetupDialog::LineSetupDialog(int module, int busAddress, const ChannelTable& channels,
                                 QWidget* parent)
    : LineSetupDialog(QString::fromStdString(lineSetupCaption(module, busAddress)),
                      QString::fromStdString(moduleLabel(module, busAddress)), channels, parent) {}

LineSetupDialog::LineSetupDialog(const QString& caption, const QString& label,
                                 const ChannelTable& channels, QWidget* parent)
    : QDialog(parent), channels_(channels) {
    setWindowTitle(caption);
    auto* moduleText = new QLabel(label);
    moduleText->setObjectName("moduleLabel");
    moduleText->setVisible(!label.isEmpty());
    QFont bold = moduleText->font();
    bold.setBold(true);
    moduleText->setFont(bold);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    buttons->button(QDialogButtonBox::Cancel)->setText("Anuluj");
    connect(buttons, &QDialogButtonBox::accepted, this, &LineSetupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LineSetupDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(moduleText);
    layout->addWidget(buildEntries());
    layout->addWidget(buttons);
    showFields(lineSetupFields(channels_));
}

// Two blocks side by side: L1..L8 with C1, C2 and L9..L16 with C3, C4.
QWidget* LineSetupDialog::buildEntries() {
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    grid->setHorizontalSpacing(6);
    for (int block = 0; block < 2; ++block) {
        const int left = block * (ColumnCount + 1);
        if (block == 1) grid->setColumnMinimumWidth(ColumnCount, 24);
        grid->addWidget(new QLabel("min."), 0, left + MinColumn, Qt::AlignCenter);
        grid->addWidget(new QLabel("max."), 0, left + MaxColumn, Qt::AlignCenter);
        grid->addWidget(new QLabel("f [Hz] / N [imp]"), LinesPerBlock + 1, left + NameColumn, 1,
                        KindCount + 1);
        for (int row = 0; row < LinesPerBlock + CountersPerBlock; ++row) {
            const bool line = row < LinesPerBlock;
            const int entry = line ? block * LinesPerBlock + row
                                   : LineCount + block * CountersPerBlock + row - LinesPerBlock;
            const int gridRow = line ? row + 1 : row + 2;
            EntryFields& fields = entries_[entry];
            fields.name = new QLineEdit;
            fields.name->setObjectName(QString("name%1").arg(entryLabel(entry)));
            fields.name->setFixedWidth(90);
            fields.min = numberEdit(QString("min%1").arg(entryLabel(entry)));
            fields.max = numberEdit(QString("max%1").arg(entryLabel(entry)));
            grid->addWidget(new QLabel(entryLabel(entry)), gridRow, left + EntryColumn);
            grid->addWidget(fields.name, gridRow, left + NameColumn);
            grid->addWidget(fields.min, gridRow, left + MinColumn);
            grid->addWidget(fields.max, gridRow, left + MaxColumn);
            if (!line) continue;
            fields.kinds = new QButtonGroup(this);
            for (int kind = 0; kind < KindCount; ++kind) {
                auto* radio = new QRadioButton(KindTexts[kind]);
                radio->setObjectName(QString("kind%1_%2").arg(entryLabel(entry)).arg(kind));
                fields.kinds->addButton(radio, kind);
                grid->addWidget(radio, gridRow, left + FirstKindColumn + kind);
            }
        }
    }
    return panel;
}

void LineSetupDialog::showFields(const LineSetupFields& fields) {
    for (int entry = 0; entry < EntryCount; ++entry) {
        EntryFields& edits = entries_[entry];
        edits.name->setText(QString::fromStdString(fields.names[entry]));
        edits.min->setText(QString::fromStdString(fields.mins[entry]));
        edits.max->setText(QString::fromStdString(fields.maxes[entry]));
        if (entry < LineCount && fields.kinds[entry] >= 0)
            edits.kinds->button(fields.kinds[entry])->setChecked(true);
    }
}

LineSetupFields LineSetupDialog::takeFields() const {
    LineSetupFields fields;
    for (int entry = 0; entry < EntryCount; ++entry) {
        const EntryFields& edits = entries_[entry];
        fields.names[entry] = edits.name->text().toStdString();
        fields.mins[entry] = edits.min->text().toStdString();
        fields.maxes[entry] = edits.max->text().toStdString();
        if (entry < LineCount) fields.kinds[entry] = edits.kinds->checkedId();
    }
    return fields;
}

QLineEdit* LineSetupDialog::fieldEdit(int field) const {
    const EntryFields& edits = entries_[lineSetupEntry(field)];
    switch (lineSetupPart(field)) {
        case LineSetupPart::Name:
            return edits.name;
        case LineSetupPart::Min:
            return edits.min;
        case LineSetupPart::Max:
            break;
    }
    return edits.max;
}

void LineSetupDialog::accept() {
    if (const auto problem = applyLineSetup(takeFields(), channels_)) {
        refuseField(prompter_, problem->prompt, fieldEdit(problem->field));
        return;
    }
    QDialog::accept();
}

}  // namespace dkq
