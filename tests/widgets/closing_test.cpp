// Each window program closed by one SIGTERM in each of its modal states: the
// boxes and dialogs close with the window at once, no box opens while it
// closes, nothing connects and no file changes afterwards but the settings
// the close command saves. Qt's standard dialogs speak Polish. On the way,
// webmon's own window and dialogs.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <QAction>
#include <QChartView>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <map>

#include "modcfg/configurator_window.h"
#include "multimon/monitor_dialog.h"
#include "settings/com_ports.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/sim_process.h"
#include "tests/support/stored_settings.h"
#include "tests/support/widget_helpers.h"
#include "webmon/web_monitor_dialog.h"
#include "widgets/close_on_signal.h"
#include "widgets/program_run.h"

namespace dkq {
namespace test {
QDialog* startedLoggerWindow();  // logger_window.cpp
}  // namespace test
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// Every file below the folder with its bytes, but the settings.
Files filesIn(const std::string& folder) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".conf")
            files[entry.path().string()] = test::readFileBytes(entry.path().string());
    return files;
}

// A box's text or a dialog's title, then its buttons.
std::string shownIn(QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    std::string shown = (box != nullptr ? box->text() : modal->windowTitle()).toStdString();
    for (const QPushButton* button : modal->findChildren<QPushButton*>())
        if (button->isVisible()) shown += "|" + button->text().toStdString();
    return shown;
}

// A listener that never answers: a connection made after the signal waits in it.
struct Listener {
    int port = 0;
    int socket = test::listenOnLoopback(4, port);
};
const Listener& listener() {
    static const Listener loopback;
    return loopback;
}

// A window in its own folder and settings, with the signal's closer.
struct Rig {
    template <typename Window>
    Window& open(Window* opened = new Window) {
        window.reset(opened);
        closer = std::make_unique<SignalCloser>(opened);
        opened->show();
        return *opened;
    }
    void click(const char* name) { dkq::click(child<QPushButton>(window.get(), name)); }
    // The files as the signal finds them; then the signal.
    void signal() {
        before = filesIn(dir.path());
        sinceSignal.start();
        raise(SIGTERM);
    }

    test::ScratchDir dir;
    std::unique_ptr<QDialog> window;
    std::unique_ptr<SignalCloser> closer;
    Files before;
    QElapsedTimer sinceSignal;
};

struct ModalState {
    const char* name;
    std::function<void(Rig&)> enter;  // opens the window and leads it there
    // Sees each modal window as it opens; true for the one the signal comes
    // in (by default the first). May answer the others.
    std::function<bool(QWidget*)> atModal = [](QWidget*) { return true; };
};

// The state is the first modal window, showing this.
std::function<bool(QWidget*)> showing(const std::string& shown) {
    return [shown](QWidget* modal) {
        EXPECT_EQ(shownIn(modal), shown);
        return true;
    };
}

// Types a name in the working folder into a file dialog and accepts it.
bool saveAs(QWidget* dialog, const char* name) {
    child(dialog, "fileNameEdit")->setText(QString::fromStdString(fs::current_path() / name));
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    return false;
}

const ModalState states[] = {
    {"multimon, a start-up box, /start after it",
     [](Rig& r) {
         test::chooseLoopbackTcp(MonitorKeyPath, listener().port);
         std::ofstream("WEB.CFG") << "DKQ-1\n";
         r.open<MonitorDialog>().startUp({"WEB.CFG", "/start"});
     },
     showing("Nieprawidłowy format pliku !|OK")},
    {"multimon, a port setup box of START",
     [](Rig& r) {
         test::storeSettings(PortsKeyPath, {{"COM1", "/dev/null"}});  // no serial settings
         r.open<MonitorDialog>().startUp({"", "/start"});
     },
     showing("Getcommstate ERROR|OK")},
    {"multimon, asked before SETUP.CFG is replaced",
     [](Rig& r) {
         std::ofstream("SETUP.CFG") << "DKQ-1-5\n";
         r.open<MonitorDialog>().startUp({});
         r.click("saveConfigButton");
     },
     [](QWidget* modal) {
         if (qobject_cast<QFileDialog*>(modal) != nullptr) return saveAs(modal, "setup.cfg");
         return showing("SETUP.CFG już istnieje.\nCzy chcesz go zastąpić?|&Tak|&Nie")(modal);
     }},
    {"webmon, a start-up box, /start after it",
     [](Rig& r) {
         test::chooseLoopbackTcp(MonitorKeyPath, listener().port);
         std::ofstream("MULTI.CFG") << "DKQ-1-5\n";
         r.open<WebMonitorDialog>().startUp({"MULTI.CFG", "/start"});
     },
     showing("Nieprawidłowy format pliku !|OK")},
    {"webmon, a port setup box of START",
     [](Rig& r) {
         test::storeSettings(PortsKeyPath, {{"COM1", "/dev/null"}});  // no serial settings
         r.open<WebMonitorDialog>().startUp({"/start"});
     },
     showing("Getcommstate ERROR|OK")},
    {"webmon, the About box after its own dialogs",
     [](Rig& r) {
         auto& w = r.open<WebMonitorDialog>();
         w.startUp({});
         EXPECT_EQ(w.windowTitle().toStdString(), "Monitor DKQ-1");
         EXPECT_TRUE(w.findChildren<QRadioButton*>().isEmpty());
         EXPECT_FALSE(child<QPushButton>(&w, "clearButton3")->isEnabled() ||
                      child<QLabel>(&w, "uploadingLabel")->isVisible());
         r.click("lineSetupButton");
         const QLabel* name = child<QLabel>(&w, "nameLine1");
         EXPECT_EQ(name->text().toStdString(), "Piec");
         // A name of a configuration file's 15 characters fits its place whole.
         ChannelTable channels = w.core().module().channels;
         channels[0].name = "Temperatura pie";
         w.core().lineSetupClosed(channels);
         EXPECT_EQ(name->text().toStdString() + "|" + name->toolTip().toStdString(),
                   "Temperatura pie|Temperatura pie");
         EXPECT_TRUE(name->contentsRect().contains(name->fontMetrics().boundingRect(
             name->contentsRect(), Qt::AlignCenter | Qt::TextWordWrap, name->text())));
         r.click("commButton");
         const WebMonitorSettings& settings = w.core().settings();
         EXPECT_EQ(std::pair(settings.busAddress, settings.disconnectAfterReading),
                   std::pair(7, true));
         child<QAction>(&w, "aboutAction")->trigger();
     },
     [](QWidget* modal) {
         if (modal->objectName() == "aboutBox") return true;
         if (auto* echo = modal->findChild<QCheckBox*>("echoBox")) {
             EXPECT_EQ(shownIn(modal), "Ustawienia komunikacji z modułem DKQ-1|OK|Anuluj");
             EXPECT_FALSE(echo->isVisible() || echo->isEnabled());
             child(modal, "busAddressField")->setText("7");
             child<QCheckBox>(modal, "disconnectBox")->click();
         } else {
             EXPECT_EQ(shownIn(modal), "Ustawienia prezentacji wyników pomiarów|OK|Anuluj");
             EXPECT_FALSE(child<QLabel>(modal, "moduleLabel")->isVisible());
             child(modal, "nameL1")->setText("Piec");
         }
         QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
         return false;
     }},
    {"webmon, the save dialog of the chart of its module",
     [](Rig& r) {
         r.open<WebMonitorDialog>().startUp({});
         r.click("chartButton");
         QWidget* chart = child<QWidget>(r.window.get(), "trendWindow");
         const QChart* plot = child<QChartView>(chart, "trendChart")->chart();
         EXPECT_EQ(chart->windowTitle() + "|" + plot->series()[0]->name(),
                   "Wykres – Moduł 1|Linia1");
         click(child<QPushButton>(chart, "saveDataButton"));
     },
     showing("Zapisz jako|&Zachowaj|Anuluj")},
    {"modcfg, the start-up box of a cut default.dkq",
     [](Rig& r) {
         std::ofstream("default.dkq") << std::string(2047, 'x');
         auto& w = r.open<ConfiguratorWindow>();
         w.startUp();
         EXPECT_EQ(w.core().image(), ConfigImage{}) << "refused";
     },
     showing("Plik default.dkq ma długość 2047 B zamiast 2048 B.\nKonfiguracja nie została "
             "wczytana.|OK")},
    {"modcfg, a field out of range, no box open",
     [](Rig& r) {
         child(&r.open<ConfiguratorWindow>(), "comPort")->setText("300");
         r.signal();
     }},
    {"modcfg, Kody over Ust. ogólne",
     [](Rig& r) {
         r.open<ConfiguratorWindow>();
         r.click("generalButton");
     },
     [](QWidget* modal) {
         if (qobject_cast<GeneralDialog*>(modal) == nullptr) return true;
         QTimer::singleShot(0, [modal] { click(child<QPushButton>(modal, "codesButton")); });
         return false;
     }},
    {"modcfg, the file dialog again after No to replacing KOPIA.SM3",
     [](Rig& r) {
         std::ofstream("KOPIA.SM3") << "old";
         r.open<ConfiguratorWindow>();
         r.click("saveFileButton");
     },
     [asked = false](QWidget* modal) mutable {
         if (asked) return showing("Zapisz jako|&Zachowaj|Anuluj")(modal);
         if (qobject_cast<QFileDialog*>(modal) != nullptr) return saveAs(modal, "kopia.sm3");
         asked = true;
         click(qobject_cast<QMessageBox*>(modal)->button(QMessageBox::No));
         return false;
     }},
    {"DKQ-Logger, asked before the memory is cleared",
     [](Rig& r) {
         static test::SimProcess sim{{"--tcp", "127.0.0.1:0"}};
         test::chooseLoopbackTcp("Software\\Veldmark\\DKQ-Logger", sim.tcpPort());
         r.open(test::startedLoggerWindow());
         r.click("connectButton");
         r.click("clearButton");
     },
     showing("Czy na pewno chcesz skasować\nzawartość pamięci w module ?|&Tak|&Nie")},
};

// With "/start" a monitor's window is on the screen before START's first
// box. Its least size fits a screen of 1280 x 720 below the title bar and
// a panel; made larger, its bars grow.
TEST(MonitorWindows, ShowBeforeStartFitA1280x720ScreenAndGrowTheirBars) {
    application();
    int refused = 0;
    ::close(test::listenOnLoopback(1, refused));
    for (const bool multimon : {true, false}) {
        test::ScratchDir dir;
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        test::chooseLoopbackTcp(MonitorKeyPath, refused);
        std::unique_ptr<MonitorWindow> window;
        if (multimon)
            window = std::make_unique<MonitorDialog>();
        else
            window = std::make_unique<WebMonitorDialog>();
        std::string shownUnder;
        onNextModal([&](QWidget* box) {
            shownUnder = (window->isVisible() ? "window|" : "") + answerBox(box);
            QTimer::singleShot(0, window.get(), &QWidget::close);
        });
        window->run({multimon ? "" : "/start", "/start"});
        EXPECT_TRUE(shownUnder.starts_with("window|Błąd połączenia w sieci !")) << shownUnder;
        window->show();
        const QSize least = window->minimumSize();
        EXPECT_TRUE(least.width() <= 1280 && least.height() <= 660) << least.width() << multimon;
        const auto* bar = child<QWidget>(window.get(), "barLine1");
        window->resize(least);
        QTest::qWait(20);
        const QSize small = bar->size();
        window->resize(1920, 1000);
        QTest::qWait(20);
        EXPECT_TRUE(bar->width() > small.width() && bar->height() > small.height() + 300)
            << multimon;
    }
    unsetenv("XDG_CONFIG_HOME");
}

TEST(ClosingBySignal, EveryProgramInEachModalStateClosesAtOnceAndWritesNothingMore) {
    application();
    usePolishStandardDialogs();
    for (const ModalState& state : states) {
        SCOPED_TRACE(state.name);
        Rig rig;
        setenv("XDG_CONFIG_HOME", rig.dir.path().c_str(), 1);
        QWidget* previous = nullptr;
        QTimer modals;
        modals.callOnTimeout([&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == previous || modal == rig.window.get()) return;
            previous = modal;
            if (modal == nullptr) return;
            if (!rig.sinceSignal.isValid()) {
                if (state.atModal(modal)) rig.signal();
                return;
            }
            ADD_FAILURE() << "opened while closing: " << shownIn(modal);
            modal->close();
        });
        modals.start(10);
        state.enter(rig);
        ASSERT_TRUE(rig.sinceSignal.isValid()) << "the state was not reached";
        EXPECT_TRUE(waitFor([&] {
            return !rig.window->isVisible() && QApplication::activeModalWidget() == nullptr;
        }));
        EXPECT_LT(rig.sinceSignal.elapsed(), 1000);
        QTest::qWait(1200);  // a tick would have come
        EXPECT_EQ(filesIn(rig.dir.path()), rig.before);
        pollfd waiting{listener().socket, POLLIN, 0};
        EXPECT_EQ(::poll(&waiting, 1, 0), 0) << "a connection waits";
        EXPECT_TRUE(fs::exists(rig.dir.file("Veldmark/DKQ-1.conf")) ||
                    fs::exists(rig.dir.file("Veldmark/DKQ-Logger.conf")));
    }
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace dkq
