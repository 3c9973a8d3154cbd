// The main window and its dialogs, offscreen, against the simulated bus over
// loopback TCP: real widgets are clicked and what a user would see is checked.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QValueAxis>

#include <filesystem>
#include <map>

#include "common/text.h"
#include "common/text_file.h"
#include "multimon/monitor_dialog.h"
#include "settings/com_ports.h"
#include "tests/support/sim_process.h"
#include "tests/support/stored_settings.h"
#include "tests/support/widget_helpers.h"
#include "widgets/close_on_signal.h"
#include "widgets/qt_prompter.h"
#include "widgets/serial_device_picker.h"
#include "widgets/trend_chart.h"
#include "widgets/trend_window.h"

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
        application();
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
    EXPECT_TRUE(settings.useTcp);
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
        child(dialog, "maxL1")->setText("100,05");  // a decimal comma
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

// The chart of the module shown is fed by the run; the data it saves are the
// rows recorded in the same run, Windows-1250 with CR LF, decimal comma.
TEST_F(WindowTest, TheChartSavesTheRowsRecordedInTheSameRun) {
    setenv("TZ", "Europe/Warsaw", 1);  // local time is not UTC
    tzset();
    startSim();
    modules_[1].busAddress = modules_[2].busAddress = 0;
    modules_[0].channels[0] = {KindCelsius, 2732, 2900, "Woda ciepła"};
    openWindow(true);
    click(widget("chartButton"));
    QWidget* chart = widget<QWidget>("trendWindow");
    EXPECT_EQ(chart->windowTitle().toStdString(), "Wykres – Moduł A");
    for (int tick = 0; tick < 3; ++tick) ASSERT_TRUE(waitForTick());
    onNextModal(saveAs(dir_.file("wykres.csv")));
    click(child<QPushButton>(chart, "saveDataButton"));
    const std::string saved = test::readFileBytes(dir_.file("wykres.csv"));
    const std::vector<std::string> rows = decodeTextLines(saved);
    const auto recorded = decodeTextLines(test::readFileBytes(dir_.file("pomiary.csv")));
    ASSERT_GE(rows.size(), 5u);
    ASSERT_GE(recorded.size(), rows.size());
    EXPECT_TRUE(rows[0].starts_with("Czas;Woda ciepła;Linia2A;Linia3A;") &&
                rows[1].starts_with(";T [°C];U [V];U [V];") && saved.ends_with(";\r\n"))
        << saved;
    for (std::size_t row = 2; row < rows.size(); ++row)
        EXPECT_EQ(rows[row], recorded[row].substr(recorded[row].find(';') + 1));
}

// On two hours of readings: the spans, pause, zoom in time by dragging, in
// value by the wheel and a drag with Shift, and the reset; an axis for each
// unit, legend entries that hide their series, the values at the cursor,
// the data of what is shown; the picture saved shows the line and the red
// marks of its values beyond the bar.
TEST_F(WindowTest, TheChartWindowSpansPausesZoomsAndSavesAPicture) {
    TrendBuffer trend;
    auto channels = defaultChannels("A");
    channels[0] = {KindVolts, 0, 3000, "Piec"};
    channels[1] = {KindCelsius, 2732, 3232, "Woda"};
    std::array<std::int32_t, EntryCount> raw{};
    raw[1] = 2932;  // 20 °C
    const std::int64_t start = 1700000000;
    const auto add = [&](std::int64_t from, std::int64_t to) {
        for (std::int64_t second = from; second <= to; ++second) {
            raw[0] = static_cast<std::int32_t>(second % 3600);
            trend.add(start + second, raw);
        }
    };
    add(0, 7199);
    TrendWindow window("Moduł A", trend, channels, nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle().toStdString(), "Wykres – Moduł A");
    auto* view = child<TrendChart>(&window, "trendChart");
    auto* axis = qobject_cast<QDateTimeAxis*>(view->chart()->axes(Qt::Horizontal).constFirst());
    auto* pause = child<QPushButton>(&window, "pauseButton");
    const auto range = [&] {
        return std::to_string(axis->min().toSecsSinceEpoch() - start) + ".." +
               std::to_string(axis->max().toSecsSinceEpoch() - start) + " " +
               pause->text().toStdString();
    };
    // The plot is repainted only where it changed: the window shows what a
    // whole repaint gives.
    const auto shownWhole = [&] {
        QTest::qWait(50);
        const auto image = [](const QPixmap& picture) {
            return picture.toImage().convertToFormat(QImage::Format_RGB32);
        };
        return image(window.screen()->grabWindow(window.winId())) == image(window.grab());
    };
    std::string ranges = range() + "|";
    auto* span = child<QComboBox>(&window, "spanBox");
    const auto spanOf = [&](int index) {
        span->setCurrentIndex(index);
        ranges += range() + "|";
    };
    for (const int index : {0, 2, 4, 3}) spanOf(index);
    click(pause);
    add(7200, 7259);
    window.showReadings();
    spanOf(3);
    spanOf(0);
    EXPECT_TRUE(shownWhole());
    click(pause);
    ranges += range() + "|";
    EXPECT_EQ(ranges,
              "6640..7240 Pauza|7140..7200 Pauza|4000..7600 Pauza|0..7199 Pauza|-800..7300 Pauza|"
              "-800..7300 Wznów|7140..7200 Wznów|7200..7260 Pauza|");
    QTest::qWait(50);
    raw[0] = 30;  // within the axes
    trend.add(start + 7260, raw);
    window.showReadings();
    EXPECT_TRUE(shownWhole());

    const QRectF plot = view->chart()->plotArea();
    const auto at = [&](double part, double height = 0.5) {
        return QPoint(static_cast<int>(plot.left() + plot.width() * part),
                      static_cast<int>(plot.top() + plot.height() * height));
    };
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at(0.25));
    QTest::mouseMove(view->viewport(), at(0.75));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at(0.75));
    const std::int64_t zoomed = axis->max().toSecsSinceEpoch() - axis->min().toSecsSinceEpoch();
    EXPECT_TRUE(zoomed >= 28 && zoomed <= 32 && pause->text() == "Wznów") << range();
    QTest::mouseMove(view->viewport(), at(0.5));
    const QStringList cursor = view->cursorReadings();  // the time, then every series
    EXPECT_TRUE(cursor.size() == 21 && cursor[1].startsWith("Piec: 0.0") &&
                cursor[2] == "Woda: 20.0°C");

    // The value axes of the units shown, their ends on round values.
    const auto valueAxes = [&] {
        QString shown;
        for (const QAbstractAxis* axis : view->chart()->axes(Qt::Vertical))
            if (const auto* values = qobject_cast<const QValueAxis*>(axis); values->isVisible())
                shown +=
                    values->titleText() + QString(" %1..%2|").arg(values->min()).arg(values->max());
        return shown.toStdString();
    };
    const auto markerOf = [&](int entry) {
        return view->chart()->legend()->markers(view->chart()->series()[entry]).constFirst();
    };
    // A level line at 20.05 °C is a step of 1 mV high; Piec 15..45 mV.
    EXPECT_EQ(valueAxes(), "°C 20.049..20.05|V -0.005..0.045|imp -0.001..0.001|");
    for (int entry = 2; entry < EntryCount; ++entry)
        if (entry != LineCount) emit markerOf(entry)->clicked();
    EXPECT_EQ(markerOf(16)->brush().color(), QColor(Qt::black));  // as Cnt1A's line
    EXPECT_EQ(markerOf(2)->labelBrush().color(), QColor(0xa0a0a0));
    EXPECT_TRUE(window.saveData(dir_.file("zakres.csv")));  // what is shown
    const auto saved = decodeTextLines(test::readFileBytes(dir_.file("zakres.csv")));
    EXPECT_EQ(saved[0] + saved[1] + std::to_string(saved.size() - 2 - zoomed),
              "Czas;Piec;Woda;Cnt1A;;U [V];T [°C];[imp];1");
    emit markerOf(16)->clicked();
    EXPECT_EQ(valueAxes(), "°C 20.049..20.05|V 0.014..0.044|");
    // A drag with Shift over the middle half zooms the values.
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(0.5, 0.25));
    QTest::mouseMove(view->viewport(), at(0.5, 0.75));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(0.5, 0.75));
    const auto* volts = qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Vertical)[1]);
    EXPECT_NEAR((volts->max() - volts->min()) * 1e5, 1500, 40);
    click(child<QPushButton>(&window, "resetZoomButton"));
    EXPECT_EQ(range() + " " + valueAxes(), "7200..7260 Wznów °C 20.049..20.05|V -0.005..0.06|");

    span->setCurrentIndex(4);
    EXPECT_TRUE(view->chart()->title().startsWith("Moduł A, 2023-11-1"));
    onNextModal(saveAs(dir_.file("wykres.png")));
    click(child<QPushButton>(&window, "savePictureButton"));
    const QImage picture(QString::fromStdString(dir_.file("wykres.png")));
    std::map<QRgb, int> pixels;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ++pixels[picture.pixel(x, y) & 0xFFFFFF];
    EXPECT_GT(pixels[0x1f77b4], 400);     // the line
    const int beyond = pixels[0xc00000];  // its values beyond 3 V alone
    EXPECT_TRUE(beyond > 400 && beyond < 2 * pixels[0x1f77b4]) << beyond;
}

class ClosingTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

// Esc and Enter do not close the window; the close command and a SIGTERM do.
// Both save the window's fields in the registry, try the records waiting for
// their file once more and tell how many are lost: in a message box, or on
// standard error when a signal closed the window.
TEST_P(ClosingTest, OnlyTheCloseCommandOrASignalClosesSavesAndCountsLostRecords) {
    test::storeSettings(MonitorKeyPath,
                        {{"Speed", 4800u}});  // the command line's file overrides it
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
    loadMonitorSettings(saved, modules);
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

// Round ends and steps about six to the chart, an end a step out when a value lies on it.
TEST(TrendChart, TheValueAxisTakesRoundEndsAndSteps) {
    std::string scales;
    for (const auto& [low, high] :
         {std::pair{0.0, 3.6}, {0.99, 117.0}, {20.0, 20.0}, {-5.3, 1.2}}) {
        const ValueScale s = valueScale(low, high);
        scales +=
            QString::asprintf("%g..%g/%g,%d ", s.low, s.high, s.step, s.decimals).toStdString();
    }
    EXPECT_EQ(scales, "-0.5..4/0.5,1 0..120/10,0 19.999..20.001/0.001,3 -6..2/1,0 ");
}

TEST(QtPrompter, FileFiltersShowBothSpellingsOfTheExtension) {
    EXPECT_EQ(qtNameFilter("Arkusze CSV (*.CSV)|*.csv||").toStdString(),
              "Arkusze CSV (*.CSV *.csv)");
    EXPECT_EQ(qtNameFilter("Pliki (*.cfg)|*.cfg|Wszystkie|*.*||").toStdString(),
              "Pliki (*.cfg);;Wszystkie (*.*)");
}

}  // namespace
}  // namespace dkq
