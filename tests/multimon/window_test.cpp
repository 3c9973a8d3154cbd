// The main window and its dialogs, offscreen, against the simulated bus over
// loopback TCP: real widgets are clicked and what a user would see is checked.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/registry_key.h"
#include "common/text.h"
#include "monitor/line_setup.h"
#include "monitor/qt_prompter.h"
#include "multimon/close_on_signal.h"
#include "multimon/monitor_dialog.h"
#include "tests/support/sim_process.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace dkq {
namespace {

constexpr int WaitMs = 8000;

// One application for all tests, left to the end of the process.
void startApplication() {
    static int argc = 1;
    static char name[] = "multimon_window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// Keeps the event loop running until the condition holds or time runs out.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = WaitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QTest::qWait(20);
    }
    return true;
}

// Runs action on the next modal dialog or message box that opens other than
// `current`, from inside the event loop that the box runs.
void onNextModal(std::function<void(QWidget*)> action, QWidget* current = nullptr) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action, current] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == current || !modal->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

template <typename T>
T* child(QWidget* parent, const QString& name) {
    T* widget = parent->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Answers a message box: its text, then a click on its button.
std::string answerBox(QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return "no message box";
    const std::string text = box->text().toStdString();
    click(box->buttons().constFirst());
    return text;
}

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() {
        startApplication();
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        modules_[1].busAddress = 2;
        modules_[2].busAddress = 3;
    }

    void startSim(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--tcp", "127.0.0.1:0", "--modules", "1,2,3",
                                         "--deterministic"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<test::SimProcess>(args);
        settings_.useTcp = 1;
        settings_.ipAddress = "127.0.0.1";
        settings_.tcpPort = sim_->tcpPort();
    }

    // The window started with a configuration file of settings_ and modules_.
    void openWindow(bool start = false) {
        const std::string path = dir_.file("SIM.CFG");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const std::string bytes = encodeTextFile(configFileText(settings_, modules_, 0));
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        window_ = std::make_unique<MonitorDialog>();
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        std::vector<std::string> words = {path};
        if (start) words.push_back("/start");
        window_->startUp(words);
    }

    template <typename T = QLineEdit>
    T* widget(const QString& name) {
        return child<T>(window_.get(), name);
    }
    QString text(const QString& name) { return widget(name)->text(); }

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

TEST_F(WindowTest, StartFillsTheSelectedModuleAndCountsErrorsOfEveryModule) {
    startSim();
    openWindow();
    click(widget<QPushButton>("startButton"));
    ASSERT_TRUE(window_->core().monitoring());
    EXPECT_FALSE(widget<QPushButton>("startButton")->isEnabled());
    EXPECT_TRUE(widget<QPushButton>("stopButton")->isEnabled());
    EXPECT_TRUE(widget<QPushButton>("clearButton1")->isEnabled());
    EXPECT_FALSE(widget<QCheckBox>("splitFileBox")->isEnabled());
    EXPECT_EQ(text("firmwareField"), "v25  SN=123456789A01 SUM=A5");
    ASSERT_TRUE(waitForTick());

    // Module A at address 1: L1 = 2940 mV, L6 = 1251 mV, counters 100..103.
    EXPECT_EQ(text("valueLine1"), "2.940 V");
    EXPECT_EQ(text("valueLine6"), "1.251 V");
    EXPECT_EQ(widget<QProgressBar>("barLine6")->value(), 1251);
    EXPECT_EQ(widget<QProgressBar>("barLine6")->maximum(), 4092);
    EXPECT_EQ(text("nameLine6"), "Linia6A");
    EXPECT_EQ(text("valueCounter2"), "101");
    EXPECT_EQ(widget<QProgressBar>("barCounter2")->maximum(), 65535);
    EXPECT_EQ(widget<QProgressBar>("barCounter2")->value(), 101);
    EXPECT_EQ(widget<QProgressBar>("barCounter3")->maximum(), 1000);
    for (const char* field : {"errorCountA", "errorCountB", "errorCountC"})
        EXPECT_EQ(text(field), "0") << field;
    EXPECT_TRUE(widget("errorCountC")->isEnabled());
    EXPECT_FALSE(widget("errorCountD")->isEnabled());
    EXPECT_FALSE(widget<QRadioButton>("moduleRadioE")->isEnabled());

    // A module that stops answering counts errors and shows "???".
    ASSERT_EQ(sim_->command("mute 3"), "ok");
    ASSERT_TRUE(waitFor([&] { return text("errorCountC").toInt() >= 2; }));
    EXPECT_EQ(text("errorCountA"), "0");
    EXPECT_EQ(text("valueLine1"), "2.940 V");
    click(widget<QRadioButton>("moduleRadioC"));
    EXPECT_EQ(text("valueLine1"), "???");
    EXPECT_EQ(text("valueCounter4"), "???");
    EXPECT_EQ(text("nameLine1"), "Linia1C");
    EXPECT_EQ(widget<QProgressBar>("barLine1")->value(), 0);

    click(widget<QPushButton>("stopButton"));
    EXPECT_TRUE(widget<QPushButton>("startButton")->isEnabled());
    EXPECT_FALSE(widget<QPushButton>("clearButton1")->isEnabled());
}

TEST_F(WindowTest, SelectingAModuleShowsItsNamesRangesAndValuesAtOnce) {
    startSim();
    modules_[1].channels[0] = {KindCelsius, 2732, 3232, "WodaB"};
    modules_[1].channels[17] = {0, 0, 500, "ImpB"};
    openWindow(true);
    ASSERT_TRUE(window_->core().monitoring());
    ASSERT_TRUE(waitForTick());
    EXPECT_EQ(text("nameLine1"), "Linia1A");

    click(widget<QRadioButton>("moduleRadioB"));
    EXPECT_EQ(text("nameLine1"), "WodaB");
    EXPECT_EQ(widget<QProgressBar>("barLine1")->minimum(), 2732);
    EXPECT_EQ(widget<QProgressBar>("barLine1")->maximum(), 3232);
    EXPECT_EQ(widget<QProgressBar>("barLine1")->value(), 2950);
    EXPECT_EQ(text("valueLine1").toStdString(), lineReading(2950, KindCelsius).text);
    EXPECT_EQ(text("nameCounter2"), "ImpB");
    EXPECT_EQ(widget<QProgressBar>("barCounter2")->maximum(), 500);
    EXPECT_EQ(widget<QProgressBar>("barCounter2")->value(), 201);
    EXPECT_EQ(text("valueLine6"), "1.252 V");
    EXPECT_EQ(text("firmwareField"), "v25  SN=123456789A02 SUM=A5");
}

TEST_F(WindowTest, APwmModuleHidesO11O12AndTheC2ColumnAndIndicatorsCannotChange) {
    startSim();
    ASSERT_EQ(sim_->command("set-config 2 6 8"), "ok");
    openWindow(true);
    ASSERT_TRUE(window_->core().monitoring());
    const QStringList pwmParts = {"outputColumn11", "outputColumn12", "columnCounter2"};
    for (const QString& name : pwmParts)
        EXPECT_TRUE(widget<QWidget>(name)->isVisible()) << name.toStdString();
    EXPECT_FALSE(widget<QCheckBox>("pwmModeBox")->isChecked());

    click(widget<QRadioButton>("moduleRadioB"));
    for (const QString& name : pwmParts)
        EXPECT_FALSE(widget<QWidget>(name)->isVisible()) << name.toStdString();
    EXPECT_TRUE(widget<QWidget>("outputColumn10")->isVisible());
    EXPECT_TRUE(widget<QCheckBox>("pwmModeBox")->isChecked());

    for (const char* name : {"pwmModeBox", "autoOutBox"}) {
        const bool shown = widget<QCheckBox>(name)->isChecked();
        click(widget<QCheckBox>(name));
        EXPECT_EQ(widget<QCheckBox>(name)->isChecked(), shown) << name;
    }

    click(widget<QRadioButton>("moduleRadioA"));
    for (const QString& name : pwmParts)
        EXPECT_TRUE(widget<QWidget>(name)->isVisible()) << name.toStdString();
}

TEST_F(WindowTest, OutputBoxAndClrReachTheSelectedModuleOnTheNextTick) {
    startSim({"--trace"});
    openWindow(true);
    ASSERT_TRUE(window_->core().monitoring());
    ASSERT_TRUE(waitForTick());
    EXPECT_EQ(text("valueCounter2"), "101");
    sim_->takeLines("rx");

    click(widget<QCheckBox>("outputBox3"));
    click(widget<QPushButton>("clearButton2"));
    ASSERT_TRUE(waitForTick());
    // Register 16 of module 1 := 4 (O3), then counters of module 1 with mask 2 (C2).
    const std::vector<std::string> requests = sim_->takeLines("rx");
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], "rx :010600100004E5");
    EXPECT_EQ(requests[1].substr(0, 8), "rx :010A");
    EXPECT_EQ(text("valueCounter2"), "0");
    EXPECT_EQ(text("valueCounter1"), "100");
    EXPECT_TRUE(widget<QCheckBox>("outputBox3")->isChecked());
    EXPECT_EQ(text("pwm1Field"), "100");
}

TEST_F(WindowTest, StartFailureShowsItsMessageAndStaysIdle) {
    startSim({"--mute", "2"});
    openWindow();
    std::string shown;
    onNextModal([&](QWidget* box) { shown = answerBox(box); });
    click(widget<QPushButton>("startButton"));
    EXPECT_EQ(shown, "Brak odpowiedzi z modułu B!\n(Przekroczono czas oczekiwania)");
    EXPECT_FALSE(window_->core().monitoring());
    EXPECT_TRUE(widget<QPushButton>("startButton")->isEnabled());
    EXPECT_EQ(text("errorCountB"), "1");
}

// --- dialogs ---------------------------------------------------------------------

TEST_F(WindowTest, CommunicationDialogProposesAnAddressAndRefusesModuleAAtZero) {
    openWindow();
    std::string prompt;
    QWidget* focused = nullptr;
    bool stayedOpen = false;
    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Ustawienia komunikacji");
        EXPECT_EQ(child<QLineEdit>(dialog, "ipAddressField")->text(), "192.168.2.1");
        EXPECT_EQ(child<QLineEdit>(dialog, "tcpPortField")->text(), "23");
        EXPECT_FALSE(child<QLineEdit>(dialog, "ipAddressField")->isEnabled());
        click(child<QCheckBox>(dialog, "useTcpBox"));
        EXPECT_TRUE(child<QLineEdit>(dialog, "ipAddressField")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(dialog, "comPortField")->isEnabled());

        child<QLineEdit>(dialog, "busAddressFieldA")->setText("0");
        child<QLineEdit>(dialog, "busAddressFieldD")->setText("9");
        onNextModal([&](QWidget* box) { prompt = answerBox(box); }, dialog);
        click(child<QPushButton>(dialog, "okButton"));
        focused = dialog->focusWidget();
        stayedOpen = dialog->isVisible();
        EXPECT_EQ(focused, child<QLineEdit>(dialog, "busAddressFieldA"));
        click(child<QPushButton>(dialog, "cancelButton"));
    });
    click(widget<QPushButton>("commButton"));
    EXPECT_EQ(prompt, "Please enter an integer between 1 and 31.");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(window_->core().modules()[0].busAddress, 1);
    EXPECT_EQ(window_->core().modules()[3].busAddress, 0);
    EXPECT_EQ(window_->core().settings().useTcp, 0);

    // OK stores the proposal and switches module D on.
    onNextModal([&](QWidget* dialog) {
        child<QLineEdit>(dialog, "busAddressFieldD")->setText("9");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("commButton"));
    EXPECT_EQ(window_->core().settings().ipAddress, "192.168.2.1");
    EXPECT_EQ(window_->core().settings().tcpPort, 23);
    EXPECT_EQ(window_->core().modules()[3].busAddress, 9);
    EXPECT_TRUE(widget<QRadioButton>("moduleRadioD")->isEnabled());
    EXPECT_TRUE(widget<QPushButton>("lineSetupButtonD")->isEnabled());
}

TEST_F(WindowTest, LineSetupShowsAndStoresConvertedRanges) {
    modules_[0].channels[0] = {KindCelsius, 2732, 3732, "Woda"};
    openWindow();
    std::string prompt;
    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(),
                  "Ustawienia linii wejściowych: Moduł A (adres: 01)");
        EXPECT_EQ(child<QLineEdit>(dialog, "minL1")->text(), "0");
        EXPECT_EQ(child<QLineEdit>(dialog, "maxL1")->text(), "100");
        EXPECT_TRUE(child<QRadioButton>(dialog, "kindL1_0")->isChecked());
        EXPECT_EQ(child<QLineEdit>(dialog, "maxL2")->text(), "4.092");
        EXPECT_EQ(child<QLineEdit>(dialog, "maxC1")->text(), "65535");

        child<QLineEdit>(dialog, "maxL1")->setText("100.05");
        child<QLineEdit>(dialog, "nameL1")->setText("Woda");
        child<QLineEdit>(dialog, "minL3")->setText("zero");
        onNextModal([&](QWidget* box) { prompt = answerBox(box); }, dialog);
        click(child<QPushButton>(dialog, "okButton"));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), child<QLineEdit>(dialog, "minL3"));

        child<QLineEdit>(dialog, "minL3")->setText("0");
        click(child<QRadioButton>(dialog, "kindL2_3"));  // T[K]: 0..4.092 K
        child<QLineEdit>(dialog, "nameL2")->setText("Piec");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("lineSetupButtonA"));
    EXPECT_EQ(prompt, "Please enter a number.");
    const ChannelTable& channels = window_->core().modules()[0].channels;
    EXPECT_EQ(channels[0].max, 3732);
    EXPECT_EQ(channels[1].kind, KindKelvin);
    EXPECT_EQ(channels[1].max, 40);
    EXPECT_EQ(widget<QProgressBar>("barLine1")->maximum(), 3732);
    EXPECT_EQ(text("nameLine2"), "Piec");
}

TEST_F(WindowTest, AboutBoxOnF1AndInTheContextMenu) {
    openWindow();
    QStringList texts;
    onNextModal([&](QWidget* box) {
        EXPECT_EQ(box->windowTitle(), "O programie ...");
        for (const QLabel* label : box->findChildren<QLabel*>()) texts << label->text();
        click(child<QPushButton>(box, "okButton"));
    });
    QTest::keyClick(window_.get(), Qt::Key_F1);
    EXPECT_TRUE(texts.contains("wersja 2.5C"));
    EXPECT_TRUE(texts.contains("Wersja 5-modułowa (max. 100 linii wejściowych)"));
    EXPECT_EQ(window_->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(window_->actions().size(), 1);
    EXPECT_EQ(window_->actions()[0]->text(), "&O programie...");
}

// --- keyboard and closing ----------------------------------------------------------

TEST_F(WindowTest, EscapeAndEnterDoNotCloseTheWindow) {
    openWindow();
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(window_.get(), key);
        QTest::keyClick(widget<QLineEdit>("fileNameField"), key);
        EXPECT_TRUE(window_->isVisible()) << key;
    }
    EXPECT_FALSE(window_->core().monitoring());
}

class ClosingTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

// The close command and a SIGTERM both save the window's fields in the registry.
TEST_P(ClosingTest, SavesTheRegistrySettings) {
    const bool bySignal = GetParam();
    openWindow();
    SignalCloser closer(window_.get());
    widget("periodMinutesField")->setText("2");
    widget("periodSecondsField")->setText("5");
    widget("fileNameField")->setText("dane zima.csv");
    if (bySignal)
        raise(SIGTERM);
    else
        window_->close();
    ASSERT_TRUE(waitFor([&] { return !window_->isVisible(); }));
    EXPECT_TRUE(window_->closed());

    RegistryKey key;
    ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, MonitorKeyPath));
    std::uint32_t period = 0;
    std::uint32_t busAddressC = 99;
    std::string fileName;
    EXPECT_TRUE(key.ReadDword("RecPeriod", period));
    EXPECT_TRUE(key.ReadDword("BusAdr_C", busAddressC));
    EXPECT_TRUE(key.ReadString("Fname", fileName, 256));
    EXPECT_EQ(period, 125u);
    EXPECT_EQ(busAddressC, 3u);
    EXPECT_EQ(fileName, "dane zima.csv");
}

INSTANTIATE_TEST_SUITE_P(ByCloseCommandAndSignal, ClosingTest, ::testing::Bool());

TEST(QtPrompter, FileFiltersShowBothSpellingsOfTheExtension) {
    EXPECT_EQ(qtNameFilter("Arkusze CSV (*.CSV)|*.csv||"), "Arkusze CSV (*.CSV *.csv)");
    EXPECT_EQ(qtNameFilter("Pliki (*.cfg)|*.cfg|Wszystkie|*.*||"),
              "Pliki (*.cfg);;Wszystkie (*.*)");
}

}  // namespace
}  // namespace dkq
