// The main window and its dialogs, offscreen, against the simulated bus over
// loopback TCP: real widgets are clicked and what a user would see is checked.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "common/text.h"
#include "common/text_file.h"
#include "multimon/monitor_dialog.h"
#include "tests/support/sim_process.h"
#include "tests/support/widget_helpers.h"
#include "widgets/close_on_signal.h"
#include "widgets/qt_prompter.h"

namespace dkq {
namespace {

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

    template <typename T = QLineEdit>
    T* widget(const QString& name) {
        return child<T>(window_.get(), name);
    }
    std::string text(const QString& name) { return widget(name)->text().toStdString(); }
    QProgressBar* bar(const QString& name) { return widget<QProgressBar>(name); }
    bool visible(const QString& name) { return widget<QWidget>(name)->isVisible(); }
    bool enabled(const QString& name) { return widget<QWidget>(name)->isEnabled(); }

    // Waits for the next acquisition tick to have shown its values.
    bool waitForTick() {
        const int shown = window_->core().savedCount();
        return waitFor([&] { return window_->core().savedCount() > shown; });
    }

    test::ScratchDir dir_;
    std::unique_ptr<test::SimProcess> sim_;
    MonitorSettings settings_;
    ModuleTable modules_ = defaultModuleTable();
    std::unique_ptr<MonitorDialog> window_;
};

// --- monitoring -----------------------------------------------------------------

TEST_F(WindowTest, StartFillsEveryModuleAndTheSelectedOneIsShownAndDriven) {
    startSim({"--trace"});
    ASSERT_EQ(sim_->command("set-config 3 6 8"), "ok");  // module C in PWM mode
    modules_[1].channels[0] = {KindCelsius, 2732, 3232, "WodaB"};
    modules_[1].channels[17] = {0, 0, 500, "ImpB"};
    openWindow();
    click(widget<QPushButton>("startButton"));
    ASSERT_TRUE(window_->core().monitoring());
    EXPECT_FALSE(enabled("startButton") || enabled("splitFileBox"));
    EXPECT_TRUE(enabled("stopButton") && enabled("clearButton1"));
    EXPECT_EQ(text("firmwareField"), "v25  SN=123456789A01 SUM=A5");
    ASSERT_TRUE(waitForTick());

    // Module A at address 1: L1 = 2940 mV, L6 = 1251 mV, counters 100..103.
    EXPECT_EQ(text("valueLine1"), "2.940 V");
    EXPECT_EQ(text("valueLine6"), "1.251 V");
    EXPECT_EQ(bar("barLine6")->value(), 1251);
    EXPECT_EQ(bar("barLine6")->maximum(), 4092);
    EXPECT_EQ(text("valueCounter2"), "101");
    EXPECT_EQ(bar("barCounter2")->maximum(), 65535);
    EXPECT_EQ(bar("barCounter2")->value(), 101);
    EXPECT_EQ(bar("barCounter3")->maximum(), 1000);
    for (const char* field : {"errorCountA", "errorCountB", "errorCountC"})
        EXPECT_EQ(text(field), "0") << field;

    // O3 and CLR2 reach module A on the next tick: register 16 := 4, then C2 cleared.
    sim_->takeLines("rx");
    click(widget<QCheckBox>("outputBox3"));
    click(widget<QPushButton>("clearButton2"));
    ASSERT_TRUE(waitForTick());
    const std::vector<std::string> requests = sim_->takeLines("rx");
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], "rx :010600100004E5");
    EXPECT_EQ(requests[1], "rx :010A0202F1");
    EXPECT_EQ(text("valueCounter2"), "0");
    EXPECT_EQ(text("valueCounter1"), "100");
    EXPECT_TRUE(widget<QCheckBox>("outputBox3")->isChecked());
    EXPECT_EQ(text("pwm1Field"), "100");

    click(widget<QRadioButton>("moduleRadioB"));
    EXPECT_EQ(text("nameLine1"), "WodaB");
    EXPECT_EQ(bar("barLine1")->minimum(), 2732);
    EXPECT_EQ(bar("barLine1")->maximum(), 3232);
    EXPECT_EQ(bar("barLine1")->value(), 2950);
    EXPECT_EQ(text("valueLine1"), "21.9°C");
    EXPECT_EQ(text("nameCounter2"), "ImpB");
    EXPECT_EQ(bar("barCounter2")->maximum(), 500);
    EXPECT_EQ(bar("barCounter2")->value(), 201);
    EXPECT_EQ(text("valueLine6"), "1.252 V");
    EXPECT_EQ(text("firmwareField"), "v25  SN=123456789A02 SUM=A5");
    EXPECT_FALSE(widget<QCheckBox>("pwmModeBox")->isChecked());

    // Module C in PWM mode hides O11, O12 and C2; the mode indicators cannot be changed.
    const QStringList pwmParts = {"outputColumn11", "outputColumn12", "columnCounter2"};
    for (const QString& name : pwmParts) EXPECT_TRUE(visible(name)) << name.toStdString();
    click(widget<QRadioButton>("moduleRadioC"));
    for (const QString& name : pwmParts) EXPECT_FALSE(visible(name)) << name.toStdString();
    EXPECT_TRUE(widget<QCheckBox>("pwmModeBox")->isChecked());
    for (const char* name : {"pwmModeBox", "autoOutBox"}) {
        const bool shown = widget<QCheckBox>(name)->isChecked();
        click(widget<QCheckBox>(name));
        EXPECT_EQ(widget<QCheckBox>(name)->isChecked(), shown) << name;
    }

    // A module that stops answering counts errors and shows "???".
    ASSERT_EQ(sim_->command("mute 3"), "ok");
    ASSERT_TRUE(waitFor([&] { return std::stoi(text("errorCountC")) >= 2; }));
    EXPECT_EQ(text("errorCountA"), "0");
    EXPECT_EQ(text("valueLine1"), "???");
    EXPECT_EQ(text("valueCounter4"), "???");
    EXPECT_EQ(bar("barLine1")->value(), 0);
    click(widget<QRadioButton>("moduleRadioA"));
    EXPECT_EQ(text("valueLine1"), "2.940 V");
    for (const QString& name : pwmParts) EXPECT_TRUE(visible(name)) << name.toStdString();

    click(widget<QPushButton>("stopButton"));
    EXPECT_TRUE(enabled("startButton"));
    EXPECT_FALSE(enabled("clearButton1"));
}

TEST_F(WindowTest, StartFailureShowsItsMessageAndStaysIdle) {
    startSim({"--close-after", "1"});  // module A's mode flags find the connection closed
    openWindow();
    std::string shown;
    onNextModal([&](QWidget* box) { shown = answerBox(box); });
    click(widget<QPushButton>("startButton"));
    EXPECT_EQ(shown, "Błąd komunikacji z modułem A!");
    EXPECT_FALSE(window_->core().monitoring());
    EXPECT_TRUE(enabled("startButton"));
    EXPECT_EQ(text("errorCountA"), "1");
}

// --- dialogs ---------------------------------------------------------------------

TEST_F(WindowTest, CommunicationDialogProposesAnAddressAndRefusesModuleAAtZero) {
    openWindow();
    onNextModal([](QWidget* dialog) { click(child<QPushButton>(dialog, "cancelButton")); });
    click(widget<QPushButton>("commButton"));
    EXPECT_EQ(window_->core().settings().tcpPort, 0);  // Cancel takes not even the proposal
    std::string prompt;
    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Ustawienia komunikacji");
        EXPECT_EQ(
            child(dialog, "ipAddressField")->text() + ":" + child(dialog, "tcpPortField")->text(),
            "192.168.2.1:23");
        EXPECT_FALSE(child(dialog, "ipAddressField")->isEnabled());
        click(child<QCheckBox>(dialog, "useTcpBox"));
        EXPECT_TRUE(child(dialog, "ipAddressField")->isEnabled());
        EXPECT_FALSE(child(dialog, "comPortField")->isEnabled());
        child(dialog, "busAddressFieldA")->setText("0");
        child(dialog, "busAddressFieldD")->setText("9");
        onNextModal([&](QWidget* box) { prompt = answerBox(box); }, dialog);
        click(child<QPushButton>(dialog, "okButton"));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), child(dialog, "busAddressFieldA"));
        EXPECT_EQ(window_->core().modules()[3].busAddress, 0);  // nothing taken
        child(dialog, "busAddressFieldA")->setText("1");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("commButton"));
    EXPECT_EQ(prompt, "Please enter an integer between 1 and 31.");
    const MonitorSettings& settings = window_->core().settings();
    EXPECT_EQ(settings.ipAddress + ":" + std::to_string(settings.tcpPort), "192.168.2.1:23");
    EXPECT_EQ(settings.useTcp, 1);
    EXPECT_EQ(window_->core().modules()[3].busAddress, 9);
    EXPECT_TRUE(enabled("moduleRadioD") && enabled("lineSetupButtonD"));
}

TEST_F(WindowTest, LineSetupShowsAndStoresConvertedRanges) {
    modules_[0].channels[0] = {KindCelsius, 2732, 3732, "Woda"};
    openWindow();
    std::string prompt;
    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(),
                  "Ustawienia linii wejściowych: Moduł A (adres: 01)");
        EXPECT_EQ(child(dialog, "minL1")->text() + ".." + child(dialog, "maxL1")->text(), "0..100");
        EXPECT_TRUE(child<QRadioButton>(dialog, "kindL1_0")->isChecked());
        EXPECT_EQ(child(dialog, "maxL2")->text() + " " + child(dialog, "maxC1")->text(),
                  "4.092 65535");
        child(dialog, "maxL1")->setText("100.05");
        child(dialog, "minL3")->setText("zero");
        onNextModal([&](QWidget* box) { prompt = answerBox(box); }, dialog);
        click(child<QPushButton>(dialog, "okButton"));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), child(dialog, "minL3"));
        child(dialog, "minL3")->setText("0");
        click(child<QRadioButton>(dialog, "kindL2_3"));  // T[K]: 0..4.092 K
        child(dialog, "nameL2")->setText("Piec");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("lineSetupButtonA"));
    EXPECT_EQ(prompt, "Please enter a number.");
    const auto& channels = window_->core().modules()[0].channels;
    EXPECT_EQ(channels[0].max, 3732);
    EXPECT_EQ(channels[1].kind, KindKelvin);
    EXPECT_EQ(channels[1].max, 40);
    EXPECT_EQ(bar("barLine1")->maximum(), 3732);
    EXPECT_EQ(text("nameLine2"), "Piec");
}

// --- keyboard and closing ----------------------------------------------------------

class ClosingTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

// Esc and Enter do not close the window; the close command and a SIGTERM do,
// and both save the window's fields in the registry.
TEST_P(ClosingTest, OnlyTheCloseCommandOrASignalClosesAndTheRegistryIsSaved) {
    openWindow();
    SignalCloser closer(window_.get());
    widget("periodMinutesField")->setText("2");
    widget("periodSecondsField")->setText("5");
    widget("fileNameField")->setText("dane zima.csv");
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(window_.get(), key);
        QTest::keyClick(widget("fileNameField"), key);
        EXPECT_TRUE(window_->isVisible()) << key;
    }
    GetParam() ? (void)raise(SIGTERM) : (void)window_->close();
    ASSERT_TRUE(waitFor([&] { return !window_->isVisible(); }));
    EXPECT_TRUE(window_->closed());
    MonitorSettings saved;
    ModuleTable modules = defaultModuleTable();
    loadRegistrySettings(saved, modules);
    EXPECT_EQ(saved.recordPeriod(), 125);
    EXPECT_EQ(saved.fileName, "dane zima.csv");
    EXPECT_EQ(modules[2].busAddress, 3);
}

INSTANTIATE_TEST_SUITE_P(ByCloseCommandAndSignal, ClosingTest, ::testing::Bool());

TEST(QtPrompter, FileFiltersShowBothSpellingsOfTheExtension) {
    EXPECT_EQ(qtNameFilter("Arkusze CSV (*.CSV)|*.csv||").toStdString(),
              "Arkusze CSV (*.CSV *.csv)");
    EXPECT_EQ(qtNameFilter("Pliki (*.cfg)|*.cfg|Wszystkie|*.*||").toStdString(),
              "Pliki (*.cfg);;Wszystkie (*.*)");
}

}  // namespace
}  // namespace dkq
