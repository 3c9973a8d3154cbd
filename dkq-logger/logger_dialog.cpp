#include "dkq-logger/logger_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "dkq-logger/logging_settings_dialog.h"
#include "resources/program_icons.h"
#include "settings/setting_values.h"
#include "widgets/about_box.h"
#include "widgets/serial_device_picker.h"

namespace dkq {
namespace {

constexpr int DownloadTimerMs = 1;
constexpr std::int64_t ProgressSteps = 1'000'000;

// A widget that keeps its place in the layout while hidden, so the window
// does not jump when it comes and goes.
template <typename T>
T* keepingPlace(T* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
}

QLineEdit* editField(const QString& name, int width) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setFixedWidth(width);
    return field;
}

QCheckBox* checkBox(const QString& text, const QString& name) {
    auto* box = new QCheckBox(text);
    box->setObjectName(name);
    return box;
}

void addRow(QGridLayout* grid, int row, int column, const QString& label, QWidget* field) {
    grid->addWidget(new QLabel(label), row, column);
    grid->addWidget(field, row, column + 1);
}

}  // namespace

LoggerDialog::LoggerDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("DKQ-Logger");
    setWindowIcon(programIcon(ProgramIcon::DkqLogger));
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    link_.PortSetupMessage = [this](const std::string& text) {
        prompter_.message(text, MessageIcon::Error);
    };

    auto* left = new QVBoxLayout;
    left->addWidget(buildConnection());
    left->addWidget(buildDownload());
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(buildStatus(), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buildButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    addAboutAction(this, programIcon(ProgramIcon::DkqLogger), {"DKQ-Logger, wersja 1.7B"},
                   "O programie");
    downloadTimer_.setSingleShot(true);
    downloadTimer_.setInterval(DownloadTimerMs);
    QObject::connect(&downloadTimer_, &QTimer::timeout, this, &LoggerDialog::onDownloadTimer);
    core_.setDownloadShown([this] { render(); });
    render();
}

QWidget* LoggerDialog::buildConnection() {
    comPort_ = editField("comPortField", 60);
    speed_ = editField("speedField", 80);
    useTcp_ = checkBox("Połączenie TCP/IP", "tcpBox");
    ipAddress_ = editField("ipAddressField", 130);
    tcpPort_ = editField("tcpPortField", 60);
    connect_ = button("Połącz", "connectButton", &LoggerDialog::onConnect);
    connected_ = keepingPlace(new QLabel("Połączenie nawiązane"));
    connected_->setObjectName("connectedLabel");
    QObject::connect(useTcp_, &QCheckBox::clicked, this, [this] {
        core_.transportChosen();
        render();
    });

    auto* group = new QGroupBox("Połączenie");
    auto* grid = new QGridLayout(group);
    addRow(grid, 0, 0, "Port COM", comPort_);
    grid->addWidget(new SerialDevicePicker(comPort_, ComPortRange.high), 1, 0, 1, 2);
    addRow(grid, 2, 0, "Prędkość", speed_);
    grid->addWidget(useTcp_, 3, 0, 1, 2);
    addRow(grid, 4, 0, "Adres IP", ipAddress_);
    addRow(grid, 5, 0, "Nr portu", tcpPort_);
    grid->addWidget(connect_, 6, 0);
    grid->addWidget(connected_, 6, 1);
    return group;
}

QLineEdit* LoggerDialog::statusField(const QString& name) {
    auto* field = editField(name, 150);
    field->setReadOnly(true);
    return field;
}

QWidget* LoggerDialog::buildStatus() {
    version_ = statusField("versionField");
    memorySize_ = statusField("memorySizeField");
    recordCount_ = statusField("recordCountField");
    maxRecords_ = statusField("maxRecordsField");
    recordLength_ = statusField("recordLengthField");
    occupancy_ = statusField("occupancyField");
    period_ = statusField("periodField");
    loggingOn_ = checkBox("Logowanie włączone", "loggingOnBox");
    cyclicBuffer_ = checkBox("Bufor cykliczny", "cyclicBox");
    capacity_ = statusField("capacityField");
    moduleClock_ = statusField("clockField");
    downloadTime_ = statusField("downloadTimeField");
    // Display only: a click puts back what the module said.
    for (QCheckBox* box : {loggingOn_, cyclicBuffer_})
        QObject::connect(box, &QCheckBox::clicked, this, &LoggerDialog::render);

    auto* group = new QGroupBox("Pamięć rekordów");
    auto* grid = new QGridLayout(group);
    addRow(grid, 0, 0, "Wersja modułu", version_);
    addRow(grid, 1, 0, "Rozmiar pamięci  [MB]", memorySize_);
    addRow(grid, 2, 0, "Liczba rekordów\nw pamięci", recordCount_);
    addRow(grid, 3, 0, "Max. liczba rekordów", maxRecords_);
    addRow(grid, 4, 0, "Długość rekordu [B]", recordLength_);
    addRow(grid, 5, 0, "Zajętość pamięci", occupancy_);
    addRow(grid, 6, 0, "Okres logowania [s]", period_);
    grid->addWidget(loggingOn_, 7, 0, 1, 2);
    grid->addWidget(cyclicBuffer_, 8, 0, 1, 2);
    addRow(grid, 9, 0, "Pojemność pamięci [h]", capacity_);
    addRow(grid, 10, 0, "Ustawienie zegara", moduleClock_);
    addRow(grid, 11, 0, "Czas odczytu danych:", downloadTime_);
    return group;
}

QWidget* LoggerDialog::buildDownload() {
    temperatures_ = checkBox("Odczytaj jako temperatury", "temperaturesBox");
    splitFiles_ = checkBox("Podział na mniejsze pliki", "splitBox");
    writeInvalid_ = checkBox("Zapisuj błęd. rekordy", "writeInvalidBox");
    progress_ = new QProgressBar;
    progress_->setObjectName("progressBar");
    progress_->setFormat("%p %");
    progress_->setRange(0, 1);
    progress_->setValue(0);
    recordNumberLabel_ = keepingPlace(new QLabel("Nr rekordu:"));
    recordNumberLabel_->setObjectName("recordNumberLabel");
    recordNumber_ = keepingPlace(editField("recordNumberField", 90));
    recordNumber_->setReadOnly(true);

    auto* group = new QGroupBox("Odczyt danych");
    auto* layout = new QVBoxLayout(group);
    for (QWidget* box : {temperatures_, splitFiles_, writeInvalid_}) layout->addWidget(box);
    layout->addWidget(progress_);
    auto* number = new QHBoxLayout;
    number->addWidget(recordNumberLabel_);
    number->addWidget(recordNumber_);
    number->addStretch();
    layout->addLayout(number);
    layout->addStretch();
    return group;
}

QPushButton* LoggerDialog::button(const QString& text, const QString& name,
                                  void (LoggerDialog::*handler)()) {
    auto* pushButton = new QPushButton(text);
    pushButton->setObjectName(name);
    pushButton->setAutoDefault(false);
    QObject::connect(pushButton, &QPushButton::clicked, this, handler);
    return pushButton;
}

QWidget* LoggerDialog::buildButtons() {
    statusButton_ = button("Odczytaj status", "statusButton", &LoggerDialog::onReadStatus);
    downloadButton_ = button("Odczytaj dane", "downloadButton", &LoggerDialog::onDownload);
    settingsButton_ = button("Zmień ustawienia", "settingsButton", &LoggerDialog::onChangeSettings);
    clearButton_ = button("Skasuj pamięć", "clearButton", &LoggerDialog::onClear);
    clockButton_ = button("Ustaw zegar", "clockButton", &LoggerDialog::onSetClock);
    auto* end = button("Koniec pracy", "endButton", &LoggerDialog::onEndWork);

    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : {statusButton_, downloadButton_, settingsButton_, clearButton_, clockButton_})
        layout->addWidget(w);
    layout->addStretch();
    layout->addWidget(end);
    return row;
}

void LoggerDialog::startUp() {
    core_.startUp();
    showFields(core_.fields());
    render();
}

void LoggerDialog::showFields(const LoggerFields& fields) {
    const FieldTexts texts = fieldTexts(fields);
    comPort_->setText(QString::fromStdString(texts.comPort));
    speed_->setText(QString::fromStdString(texts.speed));
    useTcp_->setChecked(fields.link.useTcp);
    ipAddress_->setText(QString::fromStdString(texts.ipAddress));
    tcpPort_->setText(QString::fromStdString(texts.tcpPort));
    temperatures_->setChecked(fields.readAsTemperatures);
    splitFiles_->setChecked(fields.splitFiles);
    writeInvalid_->setChecked(fields.writeInvalid);
}

FieldTexts LoggerDialog::typedTexts() const {
    return {comPort_->text().toStdString(), speed_->text().toStdString(),
            ipAddress_->text().toStdString(), tcpPort_->text().toStdString()};
}

LoggerFields LoggerDialog::takeCheckBoxes() const {
    LoggerFields fields = core_.fields();
    fields.link.useTcp = useTcp_->isChecked();
    fields.readAsTemperatures = temperatures_->isChecked();
    fields.splitFiles = splitFiles_->isChecked();
    fields.writeInvalid = writeInvalid_->isChecked();
    return fields;
}

std::optional<LoggerFields> LoggerDialog::takeFields() {
    LoggerFields fields = takeCheckBoxes();
    if (const auto problem = readFieldTexts(typedTexts(), fields)) {
        QLineEdit* const edits[] = {comPort_, speed_, ipAddress_, tcpPort_};
        refuseField(prompter_, problem->prompt, edits[problem->field]);
        return std::nullopt;
    }
    return fields;
}

void LoggerDialog::render() {
    const ControlStates c = core_.controls(useTcp_->isChecked());
    comPort_->setEnabled(c.comFields);
    speed_->setEnabled(c.comFields);
    ipAddress_->setEnabled(c.tcpFields);
    tcpPort_->setEnabled(c.tcpFields);
    useTcp_->setEnabled(c.tcpBox);
    connect_->setEnabled(c.connectButton);
    for (QPushButton* b :
         {statusButton_, downloadButton_, settingsButton_, clearButton_, clockButton_})
        b->setEnabled(c.moduleButtons);
    connected_->setVisible(c.connectedShown);
    recordNumberLabel_->setVisible(c.recordNumberShown);
    progress_->setTextVisible(c.recordNumberShown);
    recordNumber_->setVisible(c.recordNumberShown);
    temperatures_->setEnabled(c.temperaturesBox);

    const StatusTexts s = core_.statusTexts();
    const std::pair<QLineEdit*, const std::string*> texts[] = {{version_, &s.version},
                                                               {memorySize_, &s.memorySize},
                                                               {recordCount_, &s.recordCount},
                                                               {maxRecords_, &s.maxRecords},
                                                               {recordLength_, &s.recordLength},
                                                               {occupancy_, &s.occupancy},
                                                               {period_, &s.period},
                                                               {capacity_, &s.capacity},
                                                               {moduleClock_, &s.clock},
                                                               {downloadTime_, &s.downloadTime}};
    for (const auto& [field, text] : texts) field->setText(QString::fromStdString(*text));
    loggingOn_->setChecked(s.loggingOn);
    cyclicBuffer_->setChecked(s.cyclicBuffer);

    const logger::RecordDownload& download = core_.download();
    if (const std::int64_t count = download.recordCount(); count > 0) {
        // A bar takes an int: a count beyond ProgressSteps moves it in scaled steps.
        const std::int64_t steps = std::min(count, ProgressSteps);
        progress_->setRange(0, static_cast<int>(steps));
        progress_->setValue(static_cast<int>(download.recordsDone() * steps / count));
    }
    recordNumber_->setText(QString::number(download.recordsDone()));
}

void LoggerDialog::onConnect() {
    if (const auto fields = takeFields()) core_.connect(*fields);
    render();
}

void LoggerDialog::onReadStatus() {
    core_.readStatus();
    render();
}

void LoggerDialog::onDownload() {
    if (core_.startDownload(takeCheckBoxes())) downloadTimer_.start();
    render();
}

// One batch per tick; the next tick is armed only after this one is over,
// so a message shown by the last batch never sees another tick.
void LoggerDialog::onDownloadTimer() {
    if (closed_) return;
    const bool running = core_.downloadStep();
    render();
    if (running) downloadTimer_.start();
}

void LoggerDialog::onClear() {
    core_.clearMemory();
    render();
}

void LoggerDialog::onSetClock() {
    core_.setClock();
    render();
}

void LoggerDialog::onChangeSettings() {
    LoggingSettingsDialog dialog(core_.loggingSettings(), this);
    if (dialog.exec() == QDialog::Accepted) core_.changeSettings(dialog.settings());
    render();
}

// Closing runs the close command (closeEvent).
void LoggerDialog::onEndWork() {
    close();
}

void LoggerDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return event->accept();
    QDialog::keyPressEvent(event);
}

void LoggerDialog::reject() {}

void LoggerDialog::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        downloadTimer_.stop();
        // The fields as typed; one that is out of range keeps its last value.
        LoggerFields fields = takeCheckBoxes();
        readFieldTexts(typedTexts(), fields);
        core_.endWork(fields);
    }
    event->accept();
}

}  // namespace dkq
