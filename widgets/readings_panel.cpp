#include "widgets/readings_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/form_fields.h"

namespace dkq {
namespace {

// Columns and bars at their least: the window fits a screen of 1280 x 720.
// A larger window gives them the room.
constexpr int MinColumnWidth = 57;
constexpr int MinBarWidth = 22;
constexpr int MaxBarWidth = 40;
constexpr int MinBarHeight = 150;
constexpr int NameLines = 2;
constexpr qreal SmallestNamePointSize = 6;
// The mode indicators, in window order, with the ModeFlags bit each shows.
struct ModeIndicator {
    const char* text;
    const char* objectName;
    ModeBit bit;
};
constexpr std::array<ModeIndicator, 4> ModeIndicators = {
    {{"PWM", "pwmModeBox", ModeBit::Pwm},
     {"Auto-OUT", "autoOutBox", ModeBit::SterOn},
     {"LCD wewn.", "internalLcdBox", ModeBit::AutonomousLcd},
     {"Kalibr. wewn.", "internalCalibrationBox", ModeBit::Calibration}}};
// Entry and outputs that the PWM mode takes over.
constexpr int PwmCounterEntry = LineCount + 1;  // C2
constexpr int FirstPwmOutput = 10;              // O11, O12
constexpr int OutputsPerRow = 6;

QString entryLabel(int entry) {
    return entry < LineCount ? QString("Line%1").arg(entry + 1)
                             : QString("Counter%1").arg(entry - LineCount + 1);
}

// A name with a word longer than a line, broken after as many characters as
// fit; the rest elided if it is longer still.
QString brokenName(const QString& name, const QFontMetrics& metrics, int width) {
    qsizetype split = 1;
    while (split < name.size() && metrics.horizontalAdvance(name.left(split + 1)) <= width) ++split;
    return name.left(split) + "\n" + metrics.elidedText(name.mid(split), Qt::ElideRight, width);
}

bool fits(const QString& text, const QFont& font, const QRect& area) {
    const QRect needed =
        QFontMetrics(font).boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, text);
    return needed.width() <= area.width() && needed.height() <= area.height();
}

void showBar(QProgressBar* bar, const ChannelConfig& channel, int raw) {
    const BarRange range = barRange(channel);
    bar->setRange(range.low, std::max(range.low, range.high));
    bar->setValue(barPosition(range, raw));
}

}  // namespace

ReadingsPanel::ReadingsPanel(const QString& clearCaption, QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (entry == LineCount) {
            auto* separator = new QFrame;
            separator->setFrameShape(QFrame::VLine);
            layout->addSpacing(4);
            layout->addWidget(separator);
            layout->addSpacing(4);
        }
        bars_[entry] = addBarColumn(entry);
        if (entry >= LineCount) {
            const int counter = entry - LineCount;
            clearButtons_[counter] = plainButton(clearCaption.arg(counter + 1),
                                                 QString("clearButton%1").arg(counter + 1));
            clearButtons_[counter]->setEnabled(false);
            clearButtons_[counter]->setMinimumWidth(MinColumnWidth);
            bars_[entry].column->layout()->addWidget(clearButtons_[counter]);
            connect(clearButtons_[counter], &QPushButton::clicked, this,
                    [this, counter] { emit clearRequested(counter); });
        }
        layout->addWidget(bars_[entry].column, 1);
    }
}

ReadingsPanel::BarColumn ReadingsPanel::addBarColumn(int entry) {
    BarColumn column;
    column.column = new QWidget;
    column.column->setObjectName("column" + entryLabel(entry));
    keepPlaceWhenHidden(column.column);
    column.name = new QLabel;
    column.name->setObjectName("name" + entryLabel(entry));
    column.name->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    column.name->setAlignment(Qt::AlignCenter);
    column.name->setWordWrap(true);
    column.name->setMinimumWidth(MinColumnWidth);
    column.name->setFixedHeight(NameLines * fontMetrics().lineSpacing() +
                                2 * column.name->frameWidth());
    column.bar = new QProgressBar;
    column.bar->setObjectName("bar" + entryLabel(entry));
    column.bar->setOrientation(Qt::Vertical);
    column.bar->setTextVisible(false);
    column.bar->setMinimumSize(MinBarWidth, MinBarHeight);
    column.bar->setMaximumWidth(MaxBarWidth);
    column.bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    column.value = readOnlyField("value" + entryLabel(entry), 0);
    column.value->setMinimumWidth(MinColumnWidth);
    auto* layout = new QVBoxLayout(column.column);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->addWidget(column.name);
    auto* centred = new QHBoxLayout;  // half the column's width, up to MaxBarWidth
    centred->addStretch(1);
    centred->addWidget(column.bar, 2);
    centred->addStretch(1);
    layout->addLayout(centred, 1);
    layout->addWidget(column.value);
    return column;
}

// The names are fitted to their plates anew when the plates change width.
void ReadingsPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    for (const BarColumn& column : bars_) showName(column.name, column.name->toolTip());
}

void ReadingsPanel::showChannels(const ModuleSlot& slot) {
    bars_[PwmCounterEntry].column->setVisible(!slot.modeFlags.has(ModeBit::Pwm));
    for (int entry = 0; entry < EntryCount; ++entry) {
        showName(bars_[entry].name, QString::fromStdString(slot.channels[entry].name));
        showBar(bars_[entry].bar, slot.channels[entry], slot.raw[entry]);
    }
}

// In the panel's font when the name fits, else in the largest smaller one
// down to SmallestNamePointSize, there broken within a word if need be.
void ReadingsPanel::showName(QLabel* plate, const QString& name) const {
    const QRect area = plate->contentsRect();
    QFont font = this->font();
    while (!fits(name, font, area) && font.pointSizeF() - 0.5 >= SmallestNamePointSize)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    plate->setFont(font);
    plate->setText(fits(name, font, area) ? name
                                          : brokenName(name, QFontMetrics(font), area.width()));
    plate->setToolTip(name);
}

void ReadingsPanel::showValues(const ModuleSlot& slot) {
    for (int entry = 0; entry < EntryCount; ++entry) {
        showBar(bars_[entry].bar, slot.channels[entry], slot.raw[entry]);
        setFieldText(bars_[entry].value, QString::fromStdString(slot.valueTexts[entry]));
    }
}

void ReadingsPanel::enableClearButtons(bool enabled) {
    for (QPushButton* button : clearButtons_) button->setEnabled(enabled);
}

OutputsPanel::OutputsPanel(QWidget* parent) : QGroupBox(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* outputGrid = new QGridLayout;
    outputGrid->setHorizontalSpacing(2);
    for (int output = 0; output < OutputCount; ++output) {
        auto* column = new QWidget;
        column->setObjectName(QString("outputColumn%1").arg(output + 1));
        auto* columnLayout = new QVBoxLayout(column);
        columnLayout->setContentsMargins(0, 0, 0, 0);
        columnLayout->setSpacing(0);
        outputs_[output] = new QCheckBox(QString("O%1").arg(output + 1));
        outputs_[output]->setObjectName(QString("outputBox%1").arg(output + 1));
        mismatches_[output] = alarmLabel("???", QString("outputCheckLabel%1").arg(output + 1));
        mismatches_[output]->setIndent(4);
        columnLayout->addWidget(outputs_[output]);
        columnLayout->addWidget(mismatches_[output]);
        keepPlaceWhenHidden(column);
        outputGrid->addWidget(column, output / OutputsPerRow, output % OutputsPerRow);
        connect(outputs_[output], &QCheckBox::clicked, this,
                [this, output](bool on) { emit outputClicked(output, on); });
    }
    layout->addLayout(outputGrid);

    auto* pwmRow = new QHBoxLayout;
    for (std::size_t i = 0; i < pwm_.size(); ++i) {
        pwm_[i] = readOnlyField(QString("pwm%1Field").arg(i + 1), 64);
        pwmRow->addWidget(new QLabel(QString("PWM%1").arg(i + 1)));
        pwmRow->addWidget(pwm_[i]);
        pwmRow->addSpacing(12);
    }
    pwmRow->addStretch();
    layout->addLayout(pwmRow);

    auto* modeRow = new QHBoxLayout;
    for (std::size_t i = 0; i < ModeIndicators.size(); ++i) {
        modeBoxes_[i] = new QCheckBox(ModeIndicators[i].text);
        modeBoxes_[i]->setObjectName(ModeIndicators[i].objectName);
        modeRow->addWidget(modeBoxes_[i]);
        // The indicators follow the module: a click only shows its flags again.
        connect(modeBoxes_[i], &QCheckBox::clicked, this, [this] { showModeFlags(shownFlags_); });
    }
    modeRow->addStretch();
    layout->addLayout(modeRow);
    layout->addStretch();
}

void OutputsPanel::showModeFlags(ModeFlags flags) {
    shownFlags_ = flags;
    for (std::size_t i = 0; i < ModeIndicators.size(); ++i)
        modeBoxes_[i]->setChecked(flags.has(ModeIndicators[i].bit));
    for (int output = FirstPwmOutput; output < OutputCount; ++output)
        outputs_[output]->parentWidget()->setVisible(!flags.has(ModeBit::Pwm));
}

void OutputsPanel::showReadback(const OutputReadback& readback) {
    for (int output = 0; output < OutputCount; ++output) {
        outputs_[output]->setChecked(readback.outputs.outputOn(output));
        mismatches_[output]->setVisible(readback.mismatches[output]);
    }
    setNumberField(pwm_[0], readback.outputs.registers[Pwm1Register]);
    setNumberField(pwm_[1], readback.outputs.registers[Pwm2Register]);
}

}  // namespace dkq
