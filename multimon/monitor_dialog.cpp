#include "multimon/monitor_dialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "multimon/comm_settings_dialog.h"
#include "multimon/monitor_messages.h"
#include "resources/program_icons.h"
#include "widgets/about_box.h"
#include "widgets/close_on_signal.h"
#include "widgets/line_setup_dialog.h"

namespace dkq {
namespace {

constexpr int TimerPeriodMs = 1000;
constexpr int BarColumnWidth = 62;
constexpr int BarHeight = 170;
constexpr int PWMBit = 3;
constexpr const char* ConfigFileFilter = "Pliki konfiguracji (*.CFG)|*.cfg||";
// The mode indicators, in window order, with the ModeFlags bit each shows.
struct ModeIndicator {
    const char* text;
    const char* objectName;
    int bit;
};
constexpr std::array<ModeIndicator, 4> ModeIndicators = {
    {{"PWM", "pwmModeBox", PWMBit},
     {"Auto-OUT", "autoOutBox", 2},
     {"LCD wewn.", "internalLcdBox", 1},
     {"Kalibr. wewn.", "internalCalibrationBox", 0}}};
// Entry and outputs that the PWM mode takes over.
constexpr int PwmCounterEntry = LineCount + 1;  // C2
constexpr int FirstPwmOutput = 10;              // O11, O12
constexpr int OutputsPerRow = 6;

QString entryLabel(int entry) {
    return entry < LineCount ? QString("Line%1").arg(entry + 1)
                             : QString("Counter%1").arg(entry - LineCount + 1);
}

QLineEdit* readOnlyField(const QString& objectName, int width) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAlignment(Qt::AlignCenter);
    if (width > 0) field->setFixedWidth(width);
    return field;
}

QLineEdit* numberField(const QString& objectName, int top) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setValidator(new QIntValidator(0, top, field));
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(top > 99 ? 64 : 34);
    return field;
}

// Buttons never react to Enter: it does nothing in the main window.
QPushButton* plainButton(const QString& text, const QString& objectName) {
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

// Hidden labels keep their place, so nothing moves when one shows.
void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QLabel* alarmLabel(const QString& text, const QString& objectName) {
    auto* label = new QLabel(text);
    label->setObjectName(objectName);
    label->setStyleSheet("color: #c00000; font-weight: bold;");
    keepPlaceWhenHidden(label);
    label->setVisible(false);
    return label;
}

// Rewrites a field only when its content changes, so a field being edited
// keeps its cursor.
void setFieldText(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

void setNumberField(QLineEdit* field, int value) {
    bool ok = false;
    if (field->text().toInt(&ok) != value || !ok) field->setText(QString::number(value));
}

int fieldNumber(const QLineEdit* field) {
    return field->text().toInt();
}

void showBar(QProgressBar* bar, const ChannelConfig& channel, int raw) {
    const BarRange range = barRange(channel);
    bar->setRange(range.low, std::max(range.low, range.high));
    bar->setValue(barPosition(range, raw));
}

QHBoxLayout* labelledRow(const QString& label, std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label));
    for (QWidget* widget : widgets) row->addWidget(widget);
    row->addStretch();
    return row;
}

// Hours, minutes and seconds fields with their unit letters.
QHBoxLayout* timeRow(const QString& label, std::array<QLineEdit*, 3>& fields) {
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel(label);
    caption->setMinimumWidth(200);
    row->addWidget(caption);
    constexpr std::array units = {"h", "min", "s"};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        row->addWidget(fields[i]);
        row->addWidget(new QLabel(units[i]));
    }
    row->addStretch();
    return row;
}

}  // namespace

MonitorDialog::MonitorDialog(QWidget* parent)
    : QDialog(parent), core_(link_, *this, prompter_, clock_) {
    setWindowTitle("Monitor DKQ-1-5");
    setWindowIcon(programIcon(ProgramIcon::Multimon));
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    link_.PortSetupMessage = [this](const std::string& text) {
        prompter_.message(text, MessageIcon::Error);
    };

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildRecording());
    auto* middle = new QVBoxLayout;
    middle->addWidget(buildModuleChoice());
    middle->addStretch();
    bottom->addLayout(middle);
    bottom->addWidget(buildOutputs());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildBars());
    layout->addLayout(bottom);
    layout->addWidget(buildButtons());

    addAboutAction(
        this, programIcon(ProgramIcon::Multimon),
        {"Monitor DKQ-1", "wersja 2.5C", "Wersja 5-modułowa (max. 100 linii wejściowych)"});

    acquisitionTimer_.setInterval(TimerPeriodMs);
    connect(&acquisitionTimer_, &QTimer::timeout, this, [this] { core_.AcquisitionTick(); });
}

void MonitorDialog::startUp(const std::vector<std::string>& commandWords) {
    core_.startUp(commandWords);
}

// --- building the window --------------------------------------------------------

MonitorDialog::BarColumn MonitorDialog::addBarColumn(int entry) {
    BarColumn column;
    column.column = new QWidget;
    column.column->setObjectName("column" + entryLabel(entry));
    keepPlaceWhenHidden(column.column);
    column.name = readOnlyField("name" + entryLabel(entry), BarColumnWidth);
    column.bar = new QProgressBar;
    column.bar->setObjectName("bar" + entryLabel(entry));
    column.bar->setOrientation(Qt::Vertical);
    column.bar->setTextVisible(false);
    column.bar->setFixedSize(22, BarHeight);
    column.value = readOnlyField("value" + entryLabel(entry), BarColumnWidth);
    auto* layout = new QVBoxLayout(column.column);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->addWidget(column.name);
    layout->addWidget(column.bar, 0, Qt::AlignHCenter);
    layout->addWidget(column.value);
    return column;
}

QWidget* MonitorDialog::buildBars() {
    auto* panel = new QFrame;
    panel->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(panel);
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
            clearButtons_[counter] = plainButton(QString("CLR%1").arg(counter + 1),
                                                 QString("clearButton%1").arg(counter + 1));
            clearButtons_[counter]->setEnabled(false);
            clearButtons_[counter]->setFixedWidth(BarColumnWidth);
            bars_[entry].column->layout()->addWidget(clearButtons_[counter]);
            connect(clearButtons_[counter], &QPushButton::clicked, this,
                    [this, counter] { core_.RequestCounterClear(counter); });
        }
        layout->addWidget(bars_[entry].column, 0, Qt::AlignTop);
    }
    return panel;
}

QWidget* MonitorDialog::buildRecording() {
    auto* panel = new QWidget;
    firmware_ = readOnlyField("firmwareField", 260);
    fileName_ = new QLineEdit;
    fileName_->setObjectName("fileNameField");
    fileName_->setMaxLength(static_cast<int>(MaxFileNameChars));
    fileName_->setMinimumWidth(200);
    auto* chooseFile = plainButton("...", "chooseFileButton");
    chooseFile->setFixedWidth(32);
    connect(chooseFile, &QPushButton::clicked, this, [this] { core_.chooseCsvFile(); });
    splitFile_ = new QCheckBox("Podział pliku na części");
    splitFile_->setObjectName("splitFileBox");
    partPath_ = readOnlyField("partPathField", 0);
    partPath_->setAlignment(Qt::AlignLeft);
    partPath_->setVisible(false);
    const std::array<int, 3> periodTops = {MaxPeriodHours, 59, 59};
    constexpr std::array fieldNames = {"Hours", "Minutes", "Seconds"};
    for (std::size_t i = 0; i < period_.size(); ++i) {
        period_[i] = numberField(QString("period%1Field").arg(fieldNames[i]), periodTops[i]);
        countdown_[i] =
            readOnlyField(QString("countdown%1Field").arg(fieldNames[i]), period_[i]->width());
    }
    savedCount_ = readOnlyField("savedCountField", 80);
    connectionLost_ = alarmLabel("Brak połączenia TCP/IP!", "connectionLostLabel");
    fileProblem_ = alarmLabel("Brak dostępu do pliku!", "fileProblemLabel");

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(labelledRow("Firmware :", {firmware_}));
    auto* recording = new QGroupBox;
    auto* fields = new QVBoxLayout(recording);
    fields->addLayout(labelledRow("Zapis do pliku :", {fileName_, chooseFile}));
    auto* split = new QHBoxLayout;
    split->addWidget(splitFile_);
    split->addWidget(partPath_, 1);
    fields->addLayout(split);
    fields->addLayout(timeRow("Okres zapisu pomiarów:", period_));
    fields->addLayout(timeRow("Czas do następnego zapisu:", countdown_));
    fields->addLayout(labelledRow("Liczba zapisanych pomiarów:", {savedCount_}));
    layout->addWidget(recording);
    auto* alarms = new QHBoxLayout;
    alarms->addWidget(connectionLost_);
    alarms->addWidget(fileProblem_);
    alarms->addStretch();
    layout->addLayout(alarms);
    layout->addStretch();
    return panel;
}

QWidget* MonitorDialog::buildModuleChoice() {
    auto* group = new QGroupBox("Wybór modułu do wyświetlania:");
    auto* grid = new QGridLayout(group);
    moduleChoice_ = new QButtonGroup(this);
    grid->addWidget(new QLabel("Liczba błędów komunikacji:"), 2, 0, 1, ModuleCount);
    for (int module = 0; module < ModuleCount; ++module) {
        const QChar letter(moduleLetter(module));
        moduleRadios_[module] = new QRadioButton(QString("Moduł %1").arg(letter));
        moduleRadios_[module]->setObjectName(QString("moduleRadio%1").arg(letter));
        moduleChoice_->addButton(moduleRadios_[module], module);
        errorCounts_[module] = readOnlyField(QString("errorCount%1").arg(letter), 64);
        grid->addWidget(moduleRadios_[module], 0, module);
        grid->addWidget(errorCounts_[module], 3, module, Qt::AlignLeft);
    }
    grid->setRowMinimumHeight(1, 6);
    connect(moduleChoice_, &QButtonGroup::idClicked, this,
            [this](int module) { core_.SelectModule(module); });
    supplyAlarms_ = {alarmLabel("Zasilanie !", "uzAlarmLabel"),
                     alarmLabel("Zasilanie !", "vccAlarmLabel")};
    auto* alarms = new QHBoxLayout;
    for (QLabel* label : supplyAlarms_) alarms->addWidget(label);
    alarms->addStretch();
    grid->addLayout(alarms, 4, 0, 1, ModuleCount);
    return group;
}

QWidget* MonitorDialog::buildOutputs() {
    auto* group = new QGroupBox;
    auto* layout = new QVBoxLayout(group);
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
                [this, output](bool on) { core_.SetOutput(output, on); });
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
    return group;
}

QWidget* MonitorDialog::buildButtons() {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* comm = plainButton("Komunikacja", "commButton");
    connect(comm, &QPushButton::clicked, this, &MonitorDialog::openCommSettings);
    row->addWidget(comm);
    for (int module = 0; module < ModuleCount; ++module) {
        const QChar letter(moduleLetter(module));
        lineSetupButtons_[module] = plainButton(QString("Wejścia (%1)").arg(letter),
                                                QString("lineSetupButton%1").arg(letter));
        connect(lineSetupButtons_[module], &QPushButton::clicked, this,
                [this, module] { openLineSetup(module); });
        row->addWidget(lineSetupButtons_[module]);
    }
    auto* save = plainButton("Zapisz CFG\nna dysk", "saveConfigButton");
    auto* load = plainButton("Odczytaj CFG\nz dysku", "loadConfigButton");
    connect(save, &QPushButton::clicked, this, [this] { core_.saveConfigFile(); });
    connect(load, &QPushButton::clicked, this, &MonitorDialog::loadConfigFile);
    row->addSpacing(12);
    row->addWidget(save);
    row->addWidget(load);
    row->addStretch();
    start_ = plainButton("START", "startButton");
    stop_ = plainButton("STOP", "stopButton");
    stop_->setEnabled(false);
    for (QPushButton* button : {start_, stop_}) {
        button->setMinimumSize(96, 44);
        row->addWidget(button);
    }
    connect(start_, &QPushButton::clicked, this, [this] { core_.StartMonitoring(); });
    connect(stop_, &QPushButton::clicked, this, [this] { core_.StopMonitoring(); });
    return panel;
}

// --- MonitorView ------------------------------------------------------------------

void MonitorDialog::readFields(MonitorSettings& settings) {
    settings.periodHours = fieldNumber(period_[0]);
    settings.periodMinutes = fieldNumber(period_[1]);
    settings.periodSeconds = fieldNumber(period_[2]);
    settings.fileName = fileName_->text().toStdString();
    settings.splitFile = splitFile_->isChecked() ? 1 : 0;
}

void MonitorDialog::showFields(const MonitorSettings& settings) {
    setNumberField(period_[0], settings.periodHours);
    setNumberField(period_[1], settings.periodMinutes);
    setNumberField(period_[2], settings.periodSeconds);
    setFieldText(fileName_, QString::fromStdString(settings.fileName));
    splitFile_->setChecked(settings.splitFile != 0);
}

void MonitorDialog::showModule(int, const ModuleSlot& slot) {
    setFieldText(firmware_, QString::fromStdString(slot.firmwareText));
    showModeFlags(slot.modeFlags);
    const bool pwm = slot.modeFlags.pwm();
    for (int output = FirstPwmOutput; output < OutputCount; ++output)
        outputs_[output]->parentWidget()->setVisible(!pwm);
    bars_[PwmCounterEntry].column->setVisible(!pwm);
    for (int entry = 0; entry < EntryCount; ++entry) {
        const QString name = QString::fromStdString(slot.channels[entry].name);
        setFieldText(bars_[entry].name, name);
        bars_[entry].name->setToolTip(name);
        bars_[entry].name->setCursorPosition(0);
        showBar(bars_[entry].bar, slot.channels[entry], slot.raw[entry]);
    }
}

void MonitorDialog::showValues(const ModuleSlot& slot,
                               const std::array<int, ModuleCount>& errorCounts) {
    for (int entry = 0; entry < EntryCount; ++entry) {
        showBar(bars_[entry].bar, slot.channels[entry], slot.raw[entry]);
        setFieldText(bars_[entry].value, QString::fromStdString(slot.valueTexts[entry]));
    }
    for (int module = 0; module < ModuleCount; ++module)
        setFieldText(errorCounts_[module], QString::number(errorCounts[module]));
}

void MonitorDialog::showModuleChoice(const std::array<bool, ModuleCount>& enabled,
                                     int selectedModule) {
    for (int module = 0; module < ModuleCount; ++module) {
        moduleRadios_[module]->setEnabled(enabled[module]);
        errorCounts_[module]->setEnabled(enabled[module]);
        // Module A's line setup stays open to editing whatever its address.
        lineSetupButtons_[module]->setEnabled(module == 0 || enabled[module]);
    }
    moduleRadios_[selectedModule]->setChecked(true);
}

void MonitorDialog::showCountdown(int seconds) {
    setNumberField(countdown_[0], seconds / 3600);
    setNumberField(countdown_[1], seconds % 3600 / 60);
    setNumberField(countdown_[2], seconds % 60);
}

void MonitorDialog::showSavedCount(int count) {
    setNumberField(savedCount_, count);
}

void MonitorDialog::showReadback(const OutputReadback& readback) {
    for (int output = 0; output < OutputCount; ++output) {
        outputs_[output]->setChecked(readback.outputs.outputOn(output));
        mismatches_[output]->setVisible(readback.mismatches[output]);
    }
    setNumberField(pwm_[0], readback.outputs.registers[Pwm1Register]);
    setNumberField(pwm_[1], readback.outputs.registers[Pwm2Register]);
    const std::array<const std::string*, 2> alarms = {&readback.supplyAlarms.uz,
                                                      &readback.supplyAlarms.vcc};
    for (std::size_t i = 0; i < alarms.size(); ++i) {
        supplyAlarms_[i]->setText(QString::fromStdString(*alarms[i]));
        supplyAlarms_[i]->setVisible(readback.checked && !alarms[i]->empty());
    }
}

void MonitorDialog::showConnectionLost(bool visible) {
    connectionLost_->setVisible(visible);
}

void MonitorDialog::showFileProblem(const FileProblem& problem) {
    fileProblem_->setVisible(problem.visible);
    fileProblem_->setToolTip(QString("Pomiary czekające na zapis: %1, utracone: %2")
                                 .arg(problem.waitingRecords)
                                 .arg(problem.droppedRecords));
}

void MonitorDialog::showPartPath(bool visible, const std::string& path) {
    setFieldText(partPath_, QString::fromStdString(path));
    partPath_->setToolTip(partPath_->text());
    partPath_->setVisible(visible);
}

void MonitorDialog::showMonitoring(bool monitoring) {
    if (monitoring)
        acquisitionTimer_.start();
    else
        acquisitionTimer_.stop();
    start_->setEnabled(!monitoring);
    stop_->setEnabled(monitoring);
    splitFile_->setEnabled(!monitoring);
    for (QPushButton* button : clearButtons_) button->setEnabled(monitoring);
}

void MonitorDialog::showModeFlags(ModeFlags flags) {
    shownFlags_ = flags;
    for (std::size_t i = 0; i < ModeIndicators.size(); ++i)
        modeBoxes_[i]->setChecked((flags.bits >> ModeIndicators[i].bit & 1) != 0);
}

// --- actions -------------------------------------------------------------------------

void MonitorDialog::openCommSettings() {
    CommSettingsDialog dialog(core_.commSettings(), this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    core_.commSettingsClosed(accepted ? std::optional(dialog.settings()) : std::nullopt);
}

void MonitorDialog::openLineSetup(int module) {
    ModuleSlot& slot = core_.modules()[module];
    LineSetupDialog dialog(module, slot.busAddress, slot.channels, this);
    if (dialog.exec() != QDialog::Accepted) return;
    slot.channels = dialog.channels();
    core_.refreshModuleView();
}

void MonitorDialog::loadConfigFile() {
    if (const auto path = prompter_.chooseOpenFile(ConfigFileFilter)) core_.loadConfigFile(*path);
}

// --- keyboard and closing ----------------------------------------------------------

void MonitorDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Enter:
        case Qt::Key_Return:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void MonitorDialog::reject() {}

// The user closing the window is told in a message box; when a signal closes
// it, nobody is there to answer a box.
void MonitorDialog::showLostRecords(std::size_t count) {
    const std::string text = lostRecordsText(count);
    if (!property(ClosedBySignalProperty).toBool())
        prompter_.message(text, MessageIcon::Exclamation);
    else
        std::fprintf(stderr, "multimon: %s\n", text.c_str());
}

void MonitorDialog::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        acquisitionTimer_.stop();
        if (const std::size_t lost = core_.shutDown(); lost > 0) showLostRecords(lost);
    }
    event->accept();
    QDialog::done(QDialog::Accepted);
}

}  // namespace dkq
