// The main window and its dialogs, offscreen, against the simulated bus over
// loopback TCP: real widgets are clicked and what a user would see is checked.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "common/com_ports.h"
#include "common/registry_key.h"
#include "common/text.h"
#include "common/text_file.h"
#include "multimon/monitor_dialog.h"
#include "tests/support/sim_process.h"
#include "tests/support/widget_helpers.h"
#include "widgets/close_on_signal.h"
#include "widgets/qt_prompter.h"
#include "widgets/serial_device_picker.h"

namespace dkq {
namespace {

// What the named widgets show, each followed by "|": an edit's or label's text, a bar's
// "min..max:value", whether a button is checked, and "-" or "x" for a widget
// that is hidden or disabled.
std::string shownIn(QWidget* parent, std::initializer_list<const char*> names) {
    std::string all;
    for (const char* name : names) {
        QWidget* widget = child<QWidget>(parent, name);
        if (!widget->isVisible()) all += "-";
        if (!widget->isEnabled()) all += "x";
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) all += edit->text().toStdString();
        if (auto* label = qobject_cast<QLabel*>(widget)) all += label->text().toStdString();
        if (auto* bar = qobject_cast<QProgressBar*>(widget))
            all += std::to_string(bar->minimum()) + ".." + std::to_string(bar->maximum()) + ":" +
                   std::to_string(bar->value());
        if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
            all += button->isChecked() ? "on" : "off";
        all += "|";
    }
    return all;
}

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() {
        static int argc = 1;
        static char name[] = "multimon_window_test";
        static char* argv[] = {name, nullptr};
        static QApplication* app = new QApplication(argc, argv);  // left to the process end
        (void)app;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        modules_[1].busAddress = 2;
        modules_[2].busAddress = 3;
    }

    void startSim(std::vector<std::string> args = {}) {
        args.insert(args.begin(),
                    {"--tcp", "127.0.0.1:0", "--modules", "1,2,3", "--deterministic"});
        sim_ = std::make_unique<test::SimProcess>(args);
        settings_.useTcp = 1;
        settings_.ipAddress = "127.0.0.1";
        settings_.tcpPort = sim_->tcpPort();
    }

    // The window started with a configuration file of settings_ and modules_.
    void openWindow(bool start = false) {
        const std::string path = dir_.file("SIM.CFG");
        ASSERT_TRUE(writeWholeFile(path, encodeTextFile(configFileText(settings_, modules_, 0))));
        window_ = std::make_unique<MonitorDialog>();
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->startUp(start ? std::vector<std::string>{path, "/start"}
                               : std::vector<std::string>{path});
    }

    template <typename T = QPushButton>
    T* widget(const QString& name) {
        return child<T>(window_.get(), name);
    }
    std::string shown(std::initializer_list<const char*> names) {
        return shownIn(window_.get(), names);
    }
    // Waits for the next acquisition tick to have shown its values.
    bool waitForTick() {
        const int saved = window_->core().savedCount();
        return waitFor([&] { return window_->core().savedCount() > saved; });
    }

    test::ScratchDir dir_;
    std::unique_ptr<test::SimProcess> sim_;
    MonitorSettings settings_;
    ModuleTable modules_ = defaultModuleTable();
    std::unique_ptr<MonitorDialog> window_;
};

TEST_F(WindowTest, StartFillsEveryModuleAndTheSelectedOneIsShownAndDriven) {
    startSim();
    ASSERT_EQ(sim_->command("set-config 3 6 8"), "ok");  // module C in PWM mode
    modules_[1].channels[0] = {KindCelsius, 2732, 3232, "WodaB"};
    modules_[1].channels[17] = {0, 0, 500, "ImpB"};
    openWindow();
    click(widget("startButton"));
    ASSERT_TRUE(window_->core().monitoring());
    EXPECT_EQ(shown({"startButton", "splitFileBox", "stopButton", "clearButton1", "firmwareField"}),
              "x|xoff|||v25  SN=123456789A01 SUM=A5|");
    ASSERT_TRUE(waitForTick());
    // Module A at address 1: L1 = 2940 mV, L6 = 1251 mV, counters 100..103.
    EXPECT_EQ(shown({"valueLine1", "valueLine6", "barLine6", "valueCounter2", "barCounter2",
                     "barCounter3", "errorCountA", "errorCountB", "errorCountC"}),
              "2.940 V|1.251 V|0..4092:1251|101|0..65535:101|0..1000:102|0|0|0|");

    // O3 and CLR2 reach module A on the next tick: O3 reads back on, C2 cleared.
    click(widget<QCheckBox>("outputBox3"));
    click(widget("clearButton2"));
    ASSERT_TRUE(waitForTick());
    EXPECT_EQ(shown({"valueCounter2", "valueCounter1", "pwm1Field", "outputBox3"}),
              "0|100|100|on|");

    click(widget<QRadioButton>("moduleRadioB"));
    EXPECT_EQ(shown({"nameLine1", "barLine1", "valueLine1", "nameCounter2", "barCounter2",
                     "valueLine6", "firmwareField", "pwmModeBox"}),
              "WodaB|2732..3232:2950|21.9°C|ImpB|0..500:201|1.252 V|v25  SN=123456789A02 "
              "SUM=A5|off|");
    // Module C in PWM mode hides O11, O12 and C2; the mode indicators cannot be changed.
    const auto pwmParts = {"outputColumn11", "outputColumn12", "columnCounter2", "pwmModeBox"};
    click(widget<QRadioButton>("moduleRadioC"));
    EXPECT_EQ(shown(pwmParts), "-|-|-|on|");
    click(widget<QCheckBox>("pwmModeBox"));
    click(widget<QCheckBox>("autoOutBox"));
    EXPECT_EQ(shown({"pwmModeBox", "autoOutBox"}), "on|off|");

    // A module that stops answering counts errors and shows "???".
    ASSERT_EQ(sim_->command("mute 3"), "ok");
    ASSERT_TRUE(waitFor([&] { return std::stoi(shown({"errorCountC"})) >= 2; }));
    EXPECT_EQ(shown({"errorCountA", "valueLine1", "barLine1"}), "0|???|0..4092:0|");
    click(widget<QRadioButton>("moduleRadioA"));
    EXPECT_EQ(shown(pwmParts), "|||off|");
    click(widget("stopButton"));
    EXPECT_EQ(shown({"startButton", "clearButton1"}), "|x|");
}

TEST_F(WindowTest, TheDialogsShowTakeAndRefuseTheirFields) {
    modules_[0].channels[0] = {KindCelsius, 2732, 3732, "Woda"};
    openWindow();
    click(widget<QRadioButton>("moduleRadioC"));
    onNextModal([](QWidget* dialog) { click(child<QPushButton>(dialog, "cancelButton")); });
    click(widget("commButton"));
    EXPECT_EQ(window_->core().settings().tcpPort, 0);  // Cancel takes not even the proposal
    EXPECT_EQ(shown({"moduleRadioC"}), "on|");
    std::vector<std::string> prompts;
    // Communication: a proposed address, fields enabled by the TCP box, module A not at 0.
    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Ustawienia komunikacji");
        EXPECT_EQ(shownIn(dialog, {"ipAddressField", "tcpPortField"}), "x192.168.2.1|x23|");
        click(child<QCheckBox>(dialog, "useTcpBox"));
        EXPECT_EQ(shownIn(dialog, {"ipAddressField", "comPortField"}), "192.168.2.1|x1|");
        child(dialog, "busAddressFieldA")->setText("0");
        child(dialog, "busAddressFieldD")->setText("9");
        child(dialog, "busAddressFieldC")->setText("0");  // the selected module switched off
        onNextModal([&](QWidget* box) { prompts.push_back(answerBox(box)); }, dialog);
        click(child<QPushButton>(dialog, "okButton"));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), child(dialog, "busAddressFieldA"));
        EXPECT_EQ(window_->core().modules()[3].busAddress, 0);  // nothing taken
        child(dialog, "busAddressFieldA")->setText("1");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget("commButton"));
    const MonitorSettings& settings = window_->core().settings();
    EXPECT_EQ(settings.ipAddress + ":" + std::to_string(settings.tcpPort), "192.168.2.1:23");
    EXPECT_EQ(settings.useTcp, 1);
    EXPECT_EQ(window_->core().modules()[3].busAddress, 9);
    EXPECT_EQ(
        shown({"moduleRadioA", "moduleRadioC", "moduleRadioD", "lineSetupButtonD", "nameLine1"}),
        "on|xoff|off||Woda|");

    // Line setup: ranges converted by kind, a field that is no number refused.
    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(),
                  "Ustawienia linii wejściowych: Moduł A (adres: 01)");
        EXPECT_EQ(shownIn(dialog, {"minL1", "maxL1", "kindL1_0", "maxL2", "maxC1"}),
                  "0|100|on|4.092|65535|");
        child(dialog, "maxL1")->setText("100.05");
        child(dialog, "minL3")->setText("zero");
        onNextModal([&](QWidget* box) { prompts.push_back(answerBox(box)); }, dialog);
        click(child<QPushButton>(dialog, "okButton"));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), child(dialog, "minL3"));
        child(dialog, "minL3")->setText("0");
        click(child<QRadioButton>(dialog, "kindL2_3"));  // T[K]: 0..4.092 K
        child(dialog, "nameL2")->setText("Piec");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget("lineSetupButtonA"));
    EXPECT_EQ(prompts, (std::vector<std::string>{"Please enter an integer between 1 and 31.",
                                                 "Please enter a number."}));
    const auto& channels = window_->core().modules()[0].channels;
    EXPECT_EQ(channels[1].kind, KindKelvin);
    EXPECT_EQ(channels[1].max, 40);
    EXPECT_EQ(shown({"barLine1", "nameLine2"}), "2732..3732:2732|Piec|");
}

class ClosingTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

// Esc and Enter do not close the window; the close command and a SIGTERM do.
// Both save the window's fields in the registry, try the records waiting for
// their file once more and tell how many are lost: in a message box, or on
// standard error when a signal closed the window.
TEST_P(ClosingTest, OnlyTheCloseCommandOrASignalClosesSavesAndCountsLostRecords) {
    RegistryKey key;  // the file of the command line overrides the registry
    key.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
    key.Open(RegistryRoot::CurrentUser, MonitorKeyPath);
    key.WriteDword("Speed", 4800);
    startSim();
    openWindow(true);
    SignalCloser closer(window_.get());
    ASSERT_TRUE(waitForTick());
    std::filesystem::remove(dir_.file("pomiary.csv"));
    std::filesystem::create_directory(dir_.file("pomiary.csv"));  // held by another program
    ASSERT_TRUE(waitFor([&] { return window_->core().recorder().waitingRecords() > 0; }));
    widget<QLineEdit>("periodMinutesField")->setText("2");
    widget<QLineEdit>("periodSecondsField")->setText("5");
    widget<QLineEdit>("fileNameField")->setText("dane zima.csv");
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(window_.get(), key);
        QTest::keyClick(widget<QLineEdit>("fileNameField"), key);
        EXPECT_TRUE(window_->isVisible()) << key;
    }
    std::string box;
    testing::internal::CaptureStderr();
    if (GetParam()) {
        raise(SIGTERM);
    } else {
        onNextModal([&](QWidget* modal) { box = answerBox(modal); });
        window_->close();
    }
    ASSERT_TRUE(waitFor([&] { return !window_->isVisible(); }));
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string lost = "Utracono pomiary, których nie udało się zapisać do pliku: ";
    EXPECT_EQ(box.starts_with(lost), !GetParam()) << box;
    EXPECT_EQ(errors.find(": " + lost) != std::string::npos, GetParam()) << errors;
    MonitorSettings saved;
    ModuleTable modules = defaultModuleTable();
    loadRegistrySettings(saved, modules);
    EXPECT_EQ(saved.recordPeriod(), 125);
    EXPECT_EQ(saved.speed, 9600);
    EXPECT_EQ(saved.fileName, "dane zima.csv");
    EXPECT_EQ(modules[2].busAddress, 3);
}

INSTANTIATE_TEST_SUITE_P(ByCloseCommandAndSignal, ClosingTest, ::testing::Bool());

// A modem no COM port number opens yet, picked beside a field of 1..9: the
// first number without a mapping names it by its stable name.
TEST_F(WindowTest, ThePickedDeviceGivesTheComFieldItsNumberAFreeOneMappedFirst) {
    const std::string sys = dir_.file("sys"), dev = dir_.file("dev");
    std::filesystem::create_directories(sys + "/devices/usb1/1-3:1.0");
    std::filesystem::create_directories(sys + "/class/tty/ttyACM0");
    std::filesystem::create_directories(dev + "/serial/by-id");
    std::filesystem::create_symlink("../../ttyACM0", dev + "/serial/by-id/usb-Modem-if00");
    std::filesystem::create_directory_symlink(sys + "/devices/usb1/1-3:1.0",
                                              sys + "/class/tty/ttyACM0/device");
    ASSERT_TRUE(writeWholeFile(dev + "/ttyACM0", ""));
    std::filesystem::create_directories(dir_.file("Veldmark"));
    ASSERT_TRUE(writeWholeFile(dir_.file("Veldmark/Ports.conf"), "[General]\nCOM1=/dev/null\n"));
    QLineEdit field("7");
    SerialDevicePicker picker(&field, 9, {sys, dev});
    QTest::keyClick(&picker, Qt::Key_Down);
    EXPECT_EQ(field.text().toStdString() + "|" + comPortDevice(2),
              "2|" + dev + "/serial/by-id/usb-Modem-if00");
    field.setText("5");
    field.setEnabled(false);
    EXPECT_EQ(std::to_string(picker.currentIndex()) + (picker.isEnabled() ? "on" : "off"), "0off");
}

TEST(QtPrompter, FileFiltersShowBothSpellingsOfTheExtension) {
    EXPECT_EQ(qtNameFilter("Arkusze CSV (*.CSV)|*.csv||").toStdString(),
              "Arkusze CSV (*.CSV *.csv)");
    EXPECT_EQ(qtNameFilter("Pliki (*.cfg)|*.cfg|Wszystkie|*.*||").toStdString(),
              "Pliki (*.cfg);;Wszystkie (*.*)");
}

}  // namespace
}  // namespace dkq
