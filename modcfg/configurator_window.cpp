#include "modcfg/configurator_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "modcfg/dialog_parts.h"
#include "resources/program_icons.h"
#include "widgets/about_box.h"
#include "widgets/serial_device_picker.h"

namespace dkq {
namespace {

constexpr int LiveBarMaximum = 4092;
constexpr int HighestComPort = 9;  // the "COM:" field's range is 1..9

QLineEdit* readOnlyEdit(const QString& name, int digits) {
    QLineEdit* edit = numberEdit(name, digits);
    edit->setReadOnly(true);
    return edit;
}

QLabel* twoLineLabel(const QString& first, const QString& second) {
    return new QLabel(first + "\n" + second);
}

}  // namespace

ConfiguratorWindow::ConfiguratorWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Konfiguracja DKQ-1");
    setWindowIcon(programIcon(ProgramIcon::Modcfg));
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    core_.link().PortSetupMessage = [this](const std::string& text) {
        prompter_.message(text, MessageIcon::Error);
    };

    auto* top = new QHBoxLayout;
    top->addWidget(buildConnection());
    top->addLayout(buildConfigButtons());
    top->addWidget(buildLive());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buildRegisters());

    addAboutAction(this, programIcon(ProgramIcon::Modcfg), {"Konfigurator DKQ-1, wersja 2.0"});

    core_.startUp(fields_);
    showFields();
    applyTcpBox();
}

void ConfiguratorWindow::startUp() {
    core_.LoadDefaultConfig();
}

QPushButton* ConfiguratorWindow::button(const QString& text, const QString& name,
                                        void (ConfiguratorWindow::*slot)()) {
    auto* pushButton = new QPushButton(text);
    pushButton->setObjectName(name);
    pushButton->setAutoDefault(false);
    connect(pushButton, &QPushButton::clicked, this, slot);
    return pushButton;
}

QGroupBox* ConfiguratorWindow::buildConnection() {
    auto* box = new QGroupBox("Połączenie");
    auto* grid = new QGridLayout(box);
    const auto row = [&](int at, const QString& text, QLineEdit* edit) {
        grid->addWidget(new QLabel(text), at, 0);
        grid->addWidget(edit, at, 1);
        return edit;
    };
    comPort_ = row(0, "COM:", numberEdit("comPort", 3));
    grid->addWidget(new SerialDevicePicker(comPort_, HighestComPort), 0, 2);
    speed_ = row(1, "BPS:", numberEdit("speed", 6));
    busAddress_ = row(2, "Adres Modbus:", numberEdit("busAddress", 3));
    useTcp_ = new QCheckBox("Połączenie TCP/IP");
    useTcp_->setObjectName("useTcp");
    connect(useTcp_, &QCheckBox::clicked, this, &ConfiguratorWindow::applyTcpBox);
    grid->addWidget(useTcp_, 3, 0, 1, 2);
    ipAddress_ = row(4, "Adres IP:", numberEdit("ipAddress", 15));
    tcpPort_ = row(5, "Nr portu:", numberEdit("tcpPort", 6));
    echo_ = new QCheckBox("ECHO");
    echo_->setObjectName("echo");
    echo_->setEnabled(false);
    echo_->hide();
    grid->addWidget(echo_, 6, 0);
    connect_ = button("Połącz", "connectButton", &ConfiguratorWindow::connectClicked);
    disconnect_ = button(connectionTexts(false).disconnect, "disconnectButton",
                         &ConfiguratorWindow::disconnectClicked);
    disconnect_->setEnabled(false);
    grid->addWidget(connect_, 7, 0, 1, 2);
    grid->addWidget(disconnect_, 8, 0, 1, 2);
    portOpen_ = new QLabel(connectionTexts(false).open);
    portOpen_->setObjectName("portOpenLabel");
    QSizePolicy keep = portOpen_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    portOpen_->setSizePolicy(keep);
    portOpen_->hide();
    grid->addWidget(portOpen_, 9, 0, 1, 2);
    grid->setRowStretch(10, 1);
    return box;
}

QLayout* ConfiguratorWindow::buildConfigButtons() {
    auto* column = new QVBoxLayout;
    column->addWidget(
        button("Odczytaj CFG z modułu", "readConfigButton", &ConfiguratorWindow::readConfig));
    column->addWidget(
        button("Wpisz CFG do modułu", "writeConfigButton", &ConfiguratorWindow::writeConfig));
    progress_ = new QProgressBar;
    progress_->setObjectName("transferProgress");
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    column->addWidget(progress_);
    column->addWidget(
        button("Diagnostyka modułu", "diagnosticsButton", &ConfiguratorWindow::diagnostics));
    column->addWidget(
        button("Odczytaj CFG z pliku", "loadFileButton", &ConfiguratorWindow::loadFile));
    column->addWidget(
        button("Zapisz CFG do pliku", "saveFileButton", &ConfiguratorWindow::saveFile));
    column->addSpacing(8);
    const auto editor = [&](const QString& text, const QString& name, QDialog& dialog) {
        auto* pushButton = new QPushButton(text);
        pushButton->setObjectName(name);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, [this, &dialog] { editIn(dialog); });
        column->addWidget(pushButton);
    };
    editor("Ust. ogólne", "generalButton", general_);
    editor("Kalibracje", "calibrationButton", calibration_);
    editor("Sterow. O1-O4", "rules1Button", rules_[0]);
    editor("Sterow. O5-O8", "rules5Button", rules_[1]);
    editor("Ster. O9-O12", "rules9Button", rules_[2]);
    editor("Sterow. PWM", "pwmButton", pwm_);
    QPushButton* test = button("Testuj", "lcdTestButton", &ConfiguratorWindow::lcdTest);
    test->hide();
    column->addWidget(test);
    column->addStretch();
    return column;
}

QGroupBox* ConfiguratorWindow::buildLive() {
    auto* box = new QGroupBox("Pomiary");
    auto* grid = new QGridLayout(box);
    for (int k = 0; k < 4; ++k) {
        LiveColumn& column = live_[static_cast<std::size_t>(k)];
        column.bar = new QProgressBar;
        column.bar->setObjectName(QString("liveBar%1").arg(k + 1));
        column.bar->setOrientation(Qt::Vertical);
        column.bar->setTextVisible(false);
        column.bar->setRange(0, LiveBarMaximum);
        column.bar->setValue(0);
        column.bar->setMinimumHeight(120);
        auto* name = new QLabel(QString("L%1").arg(k + 1));
        name->setAlignment(Qt::AlignCenter);
        grid->addWidget(name, 0, k);
        grid->addWidget(column.bar, 1, k, Qt::AlignHCenter);
        grid->addWidget(column.volts = readOnlyEdit(QString("liveVolts%1").arg(k + 1), 6), 2, k);
        grid->addWidget(column.degrees = readOnlyEdit(QString("liveDegrees%1").arg(k + 1), 6), 3,
                        k);
    }
    grid->addWidget(new QLabel("V"), 2, 4);
    grid->addWidget(new QLabel("°C"), 3, 4);
    grid->addWidget(
        button("Odczyt pomiarów L1...L4", "liveButton", &ConfiguratorWindow::liveReading), 4, 0, 1,
        5);
    return box;
}

QGroupBox* ConfiguratorWindow::buildRegisters() {
    auto* box = new QGroupBox("Opcje zaawansowane - bezpośredni dostęp do rejestrów DKQ-1");
    auto* grid = new QGridLayout(box);
    const auto readButton = [&](const QString& name, void (ConfiguratorCore::*read)(MainFields&)) {
        auto* pushButton = new QPushButton("ODCZYTAJ");
        pushButton->setObjectName(name);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, [this, read] {
            if (core_.link().IsOpen()) takeFields();
            (core_.*read)(fields_);
            showFields();
        });
        return pushButton;
    };
    const auto writeButton = [&](const QString& text, const QString& name,
                                 void (ConfiguratorCore::*write)(const MainFields&), bool refresh) {
        auto* pushButton = new QPushButton(text);
        pushButton->setObjectName(name);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, [this, write, refresh] {
            if (core_.link().IsOpen()) takeFields();
            (core_.*write)(fields_);
            if (refresh) showFields();
        });
        return pushButton;
    };
    grid->addWidget(twoLineLabel("EEPROM", "ADR"), 0, 0);
    grid->addWidget(configRegister_ = numberEdit("configRegister", 3), 0, 1);
    grid->addWidget(readButton("readConfigRegisterButton", &ConfiguratorCore::ReadConfigRegister),
                    0, 2);
    grid->addWidget(configValue_ = numberEdit("configValue", 6), 0, 3);
    grid->addWidget(writeButton("Zapisz", "writeConfigRegisterButton",
                                &ConfiguratorCore::WriteConfigRegister, true),
                    0, 4);
    grid->addWidget(twoLineLabel("Rejestr", "wejściowy"), 0, 6);
    grid->addWidget(inputRegister_ = numberEdit("inputRegister", 3), 0, 7);
    grid->addWidget(readButton("readInputRegisterButton", &ConfiguratorCore::ReadInputRegister), 0,
                    8);
    grid->addWidget(inputValue_ = numberEdit("inputValue", 6), 0, 9);
    grid->addWidget(twoLineLabel("Rejestr", "wyjściowy"), 1, 0);
    grid->addWidget(outputRegister_ = numberEdit("outputRegister", 3), 1, 1);
    grid->addWidget(readButton("readOutputRegisterButton", &ConfiguratorCore::ReadOutputRegister),
                    1, 2);
    grid->addWidget(outputValue_ = numberEdit("outputValue", 6), 1, 3);
    grid->addWidget(writeButton("Zapisz", "writeOutputRegisterButton",
                                &ConfiguratorCore::WriteOutputRegister, true),
                    1, 4);
    grid->addWidget(twoLineLabel("Tekst", "LCD"), 1, 6);
    displayText_ = new QLineEdit;
    displayText_->setObjectName("displayText");
    grid->addWidget(displayText_, 1, 7, 1, 3);
    grid->addWidget(writeButton("Wyświetl", "showTextButton", &ConfiguratorCore::ShowText, false),
                    1, 10);
    grid->setColumnMinimumWidth(5, 24);
    grid->setColumnStretch(9, 1);
    return box;
}

// --- fields -------------------------------------------------------------------------

void ConfiguratorWindow::takeFields() {
    FieldTaker taker(prompter_);
    MainFields& f = fields_;
    const bool good = taker.integer(comPort_, f.comPort, 1, HighestComPort) &&
                      taker.integer(speed_, f.speed, 1, 300000) &&
                      taker.integer(busAddress_, f.busAddress, 0, 31);
    if (good) f.useTcp = useTcp_->isChecked();
    if (taker.ok()) taker.text(ipAddress_, f.ipAddress, 255);
    if (taker.ok()) taker.integer(tcpPort_, f.tcpPort);
    if (taker.ok()) f.echo = echo_->isChecked();
    if (taker.ok())
        taker.integer(configRegister_, f.configRegister, 0, 255) &&
            taker.integer(configValue_, f.configValue) &&
            taker.integer(inputRegister_, f.inputRegister, 0, 19) &&
            taker.integer(inputValue_, f.inputValue) &&
            taker.integer(outputRegister_, f.outputRegister, 0, 19) &&
            taker.integer(outputValue_, f.outputValue) &&
            taker.text(displayText_, f.displayText, MaxDisplayTextChars);
    taker.finish();
}

void ConfiguratorWindow::showFields() {
    const MainFields& f = fields_;
    showNumber(comPort_, f.comPort);
    showNumber(speed_, f.speed);
    showNumber(busAddress_, f.busAddress);
    useTcp_->setChecked(f.useTcp);
    ipAddress_->setText(QString::fromStdString(f.ipAddress));
    showNumber(tcpPort_, f.tcpPort);
    echo_->setChecked(f.echo);
    showNumber(configRegister_, f.configRegister);
    showNumber(configValue_, f.configValue);
    showNumber(inputRegister_, f.inputRegister);
    showNumber(inputValue_, f.inputValue);
    showNumber(outputRegister_, f.outputRegister);
    showNumber(outputValue_, f.outputValue);
    displayText_->setText(QString::fromStdString(f.displayText));
    for (std::size_t k = 0; k < live_.size(); ++k) {
        live_[k].bar->setValue(std::clamp(f.live[k], 0, LiveBarMaximum));
        live_[k].volts->setText(QString::fromStdString(displayNumber(f.liveVolts[k])));
        live_[k].degrees->setText(QString::fromStdString(displayNumber(f.liveDegrees[k])));
    }
}

void ConfiguratorWindow::applyTcpBox() {
    const bool tcp = useTcp_->isChecked();
    comPort_->setEnabled(!tcp);
    speed_->setEnabled(!tcp);
    ipAddress_->setEnabled(tcp);
    tcpPort_->setEnabled(tcp);
    showTransportTexts(tcp);
}

void ConfiguratorWindow::showTransportTexts(bool tcp) {
    const ConnectionTexts texts = connectionTexts(tcp);
    portOpen_->setText(texts.open);
    disconnect_->setText(texts.disconnect);
}

// The link's transport, which a diagnostics run may have opened unlike the box.
void ConfiguratorWindow::showLinkOpen() {
    showTransportTexts(core_.link().UseTcp != 0);
    portOpen_->show();
}

void ConfiguratorWindow::showConnected() {
    showLinkOpen();
    for (QWidget* field :
         std::initializer_list<QWidget*>{comPort_, speed_, ipAddress_, tcpPort_, useTcp_})
        field->setEnabled(false);
    disconnect_->setEnabled(true);
    connect_->setEnabled(false);
}

void ConfiguratorWindow::showDisconnected() {
    portOpen_->hide();
    for (QWidget* field :
         std::initializer_list<QWidget*>{comPort_, speed_, ipAddress_, tcpPort_, useTcp_})
        field->setEnabled(true);
    showTransportTexts(useTcp_->isChecked());
    connect_->setEnabled(true);
    disconnect_->setEnabled(false);
}

// --- actions --------------------------------------------------------------------------

void ConfiguratorWindow::runConnecting(const std::function<void()>& action) {
    const bool wasOpen = core_.link().IsOpen();
    action();
    if (!wasOpen && core_.link().IsOpen()) showConnected();
}

void ConfiguratorWindow::connectClicked() {
    takeFields();
    if (core_.link().IsOpen()) portOpen_->hide();
    if (core_.Connect(fields_)) showConnected();
}

void ConfiguratorWindow::disconnectClicked() {
    core_.Disconnect();
    showDisconnected();
}

void ConfiguratorWindow::readConfig() {
    runConnecting([this] {
        takeFields();
        if (core_.ReadConfig(fields_)) showFields();
    });
}

void ConfiguratorWindow::writeConfig() {
    if (core_.link().IsOpen()) takeFields();
    if (core_.WriteConfig(fields_)) showFields();
}

void ConfiguratorWindow::loadFile() {
    if (const auto path = prompter_.chooseOpenFile(ConfigFileFilter)) core_.LoadConfigFile(*path);
}

void ConfiguratorWindow::saveFile() {
    const auto path = prompter_.chooseSaveFileInCapitals(ConfigFileFilter, ConfigFileExtension);
    if (!path) return;
    core_.SaveConfigFile(*path);
    showFields();
}

void ConfiguratorWindow::liveReading() {
    for (const LiveColumn& column : live_) column.bar->setRange(0, LiveBarMaximum);
    runConnecting([this] {
        takeFields();
        if (core_.LiveReading(fields_)) showFields();
    });
}

void ConfiguratorWindow::diagnostics() {
    takeFields();
    if (core_.ShowDiagnostics(fields_)) showLinkOpen();
}

void ConfiguratorWindow::lcdTest() {
    core_.LcdTest();
}

void ConfiguratorWindow::editIn(QDialog& dialog) {
    dialog.exec();
}

// --- keyboard and closing ------------------------------------------------------------

void ConfiguratorWindow::setRange(int maximum) {
    progress_->setRange(0, maximum);
}

void ConfiguratorWindow::setPosition(int position) {
    progress_->setValue(position);
}

void ConfiguratorWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ConfiguratorWindow::reject() {}

void ConfiguratorWindow::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        takeFields();
        core_.shutDown(fields_);
    }
    event->accept();
    QDialog::done(QDialog::Accepted);
}

}  // namespace dkq
