// DKQ-Logger's window offscreen against the simulated record memory (and a
// scripted peer for answers no module gives): real widgets are clicked, every
// message box and dialog is answered as a user would, and what the module
// received is read from the simulator's trace.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include <deque>
#include <filesystem>
#include <regex>

#include "common/text_file.h"
#include "dkq-logger/logger_dialog.h"
#include "dkq-logger/logging_settings_dialog.h"
#include "logger/logger_messages.h"
#include "settings/registry_key.h"
#include "tests/logger/logger_rig.h"
#include "tests/support/widget_helpers.h"
#include "widgets/close_on_signal.h"

namespace dkq::test {
namespace {

using namespace dkq::logger;
class LoggerWindow : public ::testing::Test {
  protected:
    LoggerWindow() {
        application();
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }

    // The window as started with these settings in the registry.
    void openWindow(int tcpPort, bool temperatures = false) {
        LoggerFields kept;
        kept.link.useTcp = true;
        kept.link.ipAddress = "127.0.0.1";
        kept.link.tcpPort = tcpPort;
        kept.readAsTemperatures = temperatures;
        RegistryKey().CreateKey(RegistryRoot::CurrentUser, LoggerKeyPath);
        ASSERT_TRUE(saveLoggerSettings(kept));
        window_ = std::make_unique<LoggerDialog>();
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->startUp();
    }
    void startSim(Lines options) {
        options.insert(options.end(), {"--tcp", "127.0.0.1:0", "--trace"});
        options.insert(options.end(), kItems.begin(), kItems.end());
        sim_ = std::make_unique<SimProcess>(options);
        openWindow(sim_->tcpPort(), true);
        click(widget("connectButton"));
        received();
    }
    Lines received() {
        Lines commands;
        for (const auto& line : sim_->takeLines("rx *")) commands.push_back(line.substr(3));
        return commands;
    }

    template <typename T = QWidget>
    T* widget(const char* name) {
        return child<T>(window_.get(), name);
    }
    std::string text(const char* name) { return widget<QLineEdit>(name)->text().toStdString(); }
    bool shown(const char* name) { return widget(name)->isVisible(); }
    bool checked(const char* name) { return widget<QCheckBox>(name)->isChecked(); }
    // Clicks a button whose handler opens modal windows; their texts.
    Lines clickAnswering(const char* name, const std::vector<Reply>& replies) {
        Modals modals(replies);
        click(widget(name));
        EXPECT_TRUE(waitFor([&] { return modals.done(); })) << name;
        return modals.texts;
    }
    // Which of the connection fields (or of the module buttons) are enabled.
    std::string enabling(bool moduleButtons = false) {
        std::string states;
        for (const char* name :
             moduleButtons ? std::vector{"statusButton", "downloadButton", "settingsButton",
                                         "clearButton", "clockButton", "connectButton"}
                           : std::vector{"comPortField", "speedField", "tcpBox", "ipAddressField",
                                         "tcpPortField"})
            states += widget(name)->isEnabled() ? '1' : '0';
        return states;
    }

    ScratchDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<LoggerDialog> window_;
};

TEST_F(LoggerWindow, StatesBeforeAndAfterAStatusAndAfterAnErrorEndedIt) {
    std::string badStatus = statusBytes(30, 10000);
    badStatus[0] = 'R';
    ScriptedPeer peer({ScriptedReply::silence(), ScriptedReply::silence(),
                       ScriptedReply::text(statusBytes(30, 10000)),
                       ScriptedReply::text(badStatus)});
    ASSERT_TRUE(
        writeWholeFile("DKQ-Logger.cfg", encodeTextFile("DKQ-1\n1,2\nx.csv\n0,0,1,Piec\n")));
    openWindow(peer.port(), true);
    const std::vector status{"versionField",      "memorySizeField",   "recordCountField",
                             "maxRecordsField",   "recordLengthField", "capacityField",
                             "downloadTimeField", "occupancyField"};
    const auto statusTexts = [&] {
        Lines texts;
        for (const char* name : status) texts.push_back(text(name));
        return texts;
    };

    // Before a status: the registry's TCP choice, the table's units.
    EXPECT_EQ(text("ipAddressField") + " " + text("comPortField") + " " + text("speedField"),
              "127.0.0.1 1 9600");
    EXPECT_EQ(enabling() + enabling(true), "00111000001");
    EXPECT_FALSE(checked("temperaturesBox") || widget("temperaturesBox")->isEnabled());
    EXPECT_TRUE(checked("splitBox"));
    EXPECT_FALSE(shown("connectedLabel") || shown("recordNumberField") ||
                 shown("recordNumberLabel"));
    EXPECT_EQ(statusTexts(), Lines({"", "", "0", "0", "0", "0", "", ""}));
    click(widget("tcpBox"));
    EXPECT_EQ(enabling(), "11100");
    click(widget("tcpBox"));

    // A field out of range connects nothing; a line that does not open
    // enables all five connection fields.
    widget<QLineEdit>("tcpPortField")->setText("70000");
    EXPECT_EQ(clickAnswering("connectButton", {press(QMessageBox::Ok)}),
              Lines{"Please enter an integer between 0 and 65535."});
    const int nobody = std::make_unique<ScriptedPeer>(std::vector<ScriptedReply>{})->port();
    widget<QLineEdit>("tcpPortField")->setText(QString::number(nobody));
    EXPECT_EQ(clickAnswering("connectButton", {press(QMessageBox::Ok)}),
              Lines{formatText(text::NetworkNoAnswer, "127.0.0.1", nobody)});
    EXPECT_EQ(enabling(), "11111");

    // A status fills the fields and opens the module buttons.
    widget<QLineEdit>("tcpPortField")->setText(QString::number(peer.port()));
    click(widget("connectButton"));
    EXPECT_EQ(enabling() + enabling(true), "00000111111");
    EXPECT_TRUE(shown("connectedLabel"));
    EXPECT_EQ(statusTexts(),
              Lines({"V0.0", " 1.9", "10000", "65520", "30", "0", "65.6 sekund", "0 %"}));
    click(widget("loggingOnBox"));
    EXPECT_FALSE(checked("loggingOnBox"));  // shows the module's flag only

    // A bad status ends the connection; the connection fields stay closed.
    EXPECT_EQ(clickAnswering("statusButton", {press(QMessageBox::Ok)}),
              Lines{text::StatusUnknownFormat});
    EXPECT_EQ(enabling() + enabling(true), "00000000001");
    EXPECT_FALSE(shown("connectedLabel"));
    EXPECT_EQ(text("recordCountField"), "10000");
    Lines requests;
    EXPECT_TRUE(waitFor([&] {
        requests = peer.requests();
        return std::count(requests.begin(), requests.end(), "*EOT!") == 2;
    }));
    EXPECT_EQ(Lines(requests.end() - 3, requests.end()), (Lines{"*RD_0,0", "*EOT!", "*EOT!"}));

    // Esc leaves the window open; "&O programie..." shows the About box.
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(window_->isVisible());
    bool versionShown = false;
    Modals aboutBox({[&](QWidget* box) {
        for (const QLabel* label : box->findChildren<QLabel*>())
            versionShown |= label->text() == "DKQ-Logger, wersja 1.7B";
        box->close();
    }});
    widget<QAction>("aboutAction")->trigger();
    EXPECT_TRUE(waitFor([&] { return aboutBox.done(); }) && versionShown);
}

// The window's file holds what dkq logger-download writes for the same module,
// damaged records included. A link found at the name is replaced ("Tak"), not
// written through.
TEST_F(LoggerWindow, DownloadWritesWhatTheCommandLineToolWrites) {
    startSim({"--rec-count", "300", "--rec-bad-crc", "5,40", "--rec-bad-letter", "77:2"});
    click(widget("writeInvalidBox"));
    ASSERT_TRUE(writeWholeFile("target", "kept"));
    std::filesystem::create_symlink("target", "okno.csv");
    std::string atTheEnd;  // the record number as the final message shows
    Modals modals({saveAs(dir_.file("okno.csv")), press(QMessageBox::Yes), [&](QWidget* box) {
                       atTheEnd =
                           (shown("recordNumberField") ? "shown " : "") + text("recordNumberField");
                       press(QMessageBox::Ok)(box);
                   }});
    click(widget("downloadButton"));
    ASSERT_TRUE(waitFor([&] { return shown("recordNumberField"); }));
    EXPECT_TRUE(shown("recordNumberLabel"));
    EXPECT_EQ(enabling(true), "000000");
    EXPECT_EQ(widget<QProgressBar>("progressBar")->maximum(), 300);
    ASSERT_TRUE(waitFor([&] { return modals.done(); }));
    EXPECT_TRUE(modals.texts[2].starts_with("Transfer zakończony.\nPrzesłano 300 rekordów"));
    EXPECT_TRUE(modals.texts[2].ends_with(
        "Liczba powtórzeń transmisji: 4\nLiczba niepoprawnych rekordów: 2"));
    EXPECT_EQ(atTheEnd, "shown 300");
    EXPECT_FALSE(shown("recordNumberField") || shown("recordNumberLabel"));
    EXPECT_EQ(enabling(true), "111111");
    EXPECT_EQ(widget<QProgressBar>("progressBar")->value(), 300);
    EXPECT_EQ(text("recordNumberField"), "300");
    const std::string tool = "'" + toolPath("DKQ_TOOL") +
                             "' --tcp 127.0.0.1:" + std::to_string(sim_->tcpPort()) +
                             " logger-download dkq.csv --split --write-invalid --temperatures";
    ASSERT_EQ(std::system((tool + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(csvLines(dir_.file("okno.csv")).size(), 301u);
    EXPECT_EQ(readFileBytes(dir_.file("okno.csv")), readFileBytes(dir_.file("dkq.csv")));
    EXPECT_EQ(readFileBytes("target"), "kept");
}

TEST_F(LoggerWindow, ClearClockAndSettingsAskFirstAndSendOnlyOnYes) {
    startSim({"--rec-count", "120", "--rec-period", "60"});
    // Declined questions are seen in the session's tests.
    EXPECT_EQ(clickAnswering("clockButton", {press(QMessageBox::Yes), press(QMessageBox::Ok)}),
              (Lines{text::AskSetClock, text::ClockSet}));
    const Lines commands = received();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_TRUE(std::regex_match(commands[0], std::regex(R"(\*CK=\d\d:\d\d:\d\d \d\d-\d\d-\d\d)")))
        << commands[0];
    EXPECT_EQ(commands[1], "*RD_0,0");

    // The dialog shows the module's settings; Anuluj, a refused period and a
    // declined question send nothing.
    std::string shownItems;
    const auto choose = [&](const char* period, const char* button) {
        return [=, &shownItems](QWidget* dialog) {
            shownItems.clear();
            for (int item = 1; item <= LoggingSettingsDialog::ItemBoxes; ++item)
                if (dialog->findChild<QCheckBox*>(QString("itemBox%1").arg(item))->isChecked())
                    shownItems += std::to_string(item) + " ";
            shownItems += dialog->findChild<QLineEdit*>("periodField")->text().toStdString();
            dialog->findChild<QCheckBox*>("itemBox1")->setChecked(false);
            dialog->findChild<QCheckBox*>("loggingOnBox")->setChecked(true);
            dialog->findChild<QLineEdit*>("periodField")->setText(period);
            click(dialog->findChild<QPushButton*>(button));
        };
    };
    EXPECT_EQ(clickAnswering("settingsButton", {choose("120", "cancelButton")}),
              Lines{"Ustawienia logowania"});
    EXPECT_EQ(shownItems, "1 2 17 21 33 34 35 36 37 60");
    EXPECT_EQ(
        clickAnswering("settingsButton", {choose("65536", "acceptButton"), press(QMessageBox::Ok),
                                          choose("120", "acceptButton"), press(QMessageBox::No)}),
        (Lines{"Ustawienia logowania", "Please enter an integer between 0 and 65535.",
               "Ustawienia logowania", text::AskChangeItems}));
    EXPECT_EQ(received(), Lines{});
    EXPECT_EQ(
        clickAnswering("settingsButton", {choose("120", "acceptButton"), press(QMessageBox::Yes),
                                          press(QMessageBox::Ok), press(QMessageBox::Ok)}),
        (Lines{"Ustawienia logowania", text::AskChangeItems, text::SettingsSent,
               text::ClearAfterItemsChange}));
    EXPECT_EQ(received(), (Lines{"*LG=1,0,120,2,0,17,0,31", "*RD_0,0"}));
    EXPECT_TRUE(checked("loggingOnBox"));
    EXPECT_EQ(text("periodField"), "120");
    // The same items: no question.
    EXPECT_EQ(
        clickAnswering("settingsButton", {choose("30", "acceptButton"), press(QMessageBox::Ok)}),
        (Lines{"Ustawienia logowania", text::SettingsSent}));
    EXPECT_EQ(shownItems, "2 17 21 33 34 35 36 37 120");

    // Enter keeps the records; Tak clears them.
    EXPECT_EQ(clickAnswering("clearButton", {[](QWidget* box) { answerByEnter(box); }}),
              Lines{text::AskClear});
    EXPECT_EQ(text("recordCountField"), "120");
    EXPECT_EQ(clickAnswering("clearButton", {press(QMessageBox::Yes), press(QMessageBox::Ok)}),
              (Lines{text::AskClear, text::Cleared}));
    EXPECT_EQ(received(),
              (Lines{"*LG=1,0,30,2,0,17,0,31", "*RD_0,0", "*RD_0,0", "*CLR=1,0", "*RD_0,0"}));
    EXPECT_EQ(text("recordCountField"), "0");

    // A lost line ends the connection: the window is as before "Połącz".
    ASSERT_EQ(sim_->command("drop"), "ok");
    EXPECT_EQ(clickAnswering("statusButton", {press(QMessageBox::Ok)}), Lines{text::TcpLinkLost});
    EXPECT_EQ(enabling() + enabling(true), "00111000001");
    EXPECT_FALSE(shown("connectedLabel"));
}

// Closing in the middle of a download, by the close command or a signal:
// every row written stays, the module is told "*EOT!" twice, the fields are saved.
class ClosingMidDownload : public LoggerWindow, public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingMidDownload, KeepsTheRowsEndsTheConnectionAndSavesTheFields) {
    startSim({"--rec-count", "3000", "--delay", "10"});
    SignalCloser closer(window_.get());
    click(widget("splitBox"));
    Modals modals({saveAs(dir_.file("dane.csv"))});
    click(widget("downloadButton"));
    ASSERT_TRUE(waitFor([&] { return window_->core().download().recordsDone() >= 150; }));
    GetParam() ? (void)raise(SIGTERM) : click(widget("endButton"));
    ASSERT_TRUE(waitFor([&] { return !window_->isVisible(); }));
    EXPECT_TRUE(window_->closed());

    const Lines lines = csvLines(dir_.file("dane.csv"));
    ASSERT_GE(lines.size(), 151u);
    EXPECT_LT(lines.size(), 3001u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
              expectedRows(1, static_cast<int>(lines.size()) - 1));
    const Lines commands = received();
    EXPECT_EQ(Lines(commands.end() - 2, commands.end()), (Lines{"*EOT!", "*EOT!"}));
    LoggerFields saved;
    loadLoggerSettings(saved);
    EXPECT_EQ(
        std::tie(saved.link.useTcp, saved.link.tcpPort, saved.readAsTemperatures, saved.splitFiles),
        std::make_tuple(true, sim_->tcpPort(), true, false));
}

INSTANTIATE_TEST_SUITE_P(ByCloseCommandAndSignal, ClosingMidDownload, ::testing::Bool());

// The program itself starts without a display and saves its settings, under
// its own key, on SIGTERM.
TEST(LoggerProgram, StartsOffscreenAndSavesItsSettingsOnSigterm) {
    ScratchDir dir;
    const pid_t child = fork();
    if (child == 0) {
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(DKQ_LOGGER_PATH, DKQ_LOGGER_PATH, nullptr);
        _exit(127);
    }
    const std::string settings = dir.file("Veldmark/DKQ-Logger.conf");
    // The key is created at start-up, empty; the values come with the end.
    for (int wait = 0; wait < 1000 && !std::filesystem::exists(settings); ++wait) usleep(10000);
    usleep(200000);  // the window's event loop is running
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(readFileBytes(settings).find("Divide_Files=1"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Veldmark/DKQ-1.conf")));
}

}  // namespace
}  // namespace dkq::test
