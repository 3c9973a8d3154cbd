// webmon's window offscreen against the simulated module and a loopback HTTP
// server: its own controls, the shaped communication dialog, the line setup
// title, the upload label, closing by signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

#include "common/registry_key.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "tests/support/widget_helpers.h"
#include "webmon/web_monitor_dialog.h"
#include "widgets/close_on_signal.h"

namespace dkq {
namespace {

class WebWindowTest : public ::testing::Test {
  protected:
    WebWindowTest() {
        static int argc = 1;
        static char name[] = "webmon_window_test";
        static char* argv[] = {name, nullptr};
        static QApplication* app = new QApplication(argc, argv);  // left to the process end
        (void)app;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        FILE* dat = std::fopen("web-monitor.dat", "w");
        std::fprintf(dat, "URL=127.0.0.1:%d\nUID=5\n", server_.port());
        std::fclose(dat);
        window_ = std::make_unique<WebMonitorDialog>();
        window_->startUp({});
        window_->show();
    }
    template <typename T = QWidget>
    T* widget(const QString& name) {
        return child<T>(window_.get(), name);
    }

    test::ScratchDir dir_;
    test::SimProcess sim_{{"--tcp", "127.0.0.1:0", "--deterministic"}};
    test::HttpServer server_{test::HttpMode::Answer};
    std::unique_ptr<WebMonitorDialog> window_;
};

TEST_F(WebWindowTest, OneModuleControlsTheShapedDialogsAndTheUploadLabel) {
    EXPECT_EQ(window_->windowTitle().toStdString(), "Monitor DKQ-1");
    EXPECT_TRUE(window_->findChildren<QRadioButton*>().isEmpty());
    EXPECT_EQ(widget<QPushButton>("clearButton3")->text().toStdString(), "CLR 3");
    EXPECT_FALSE(widget<QPushButton>("clearButton3")->isEnabled());
    EXPECT_EQ(widget<QLineEdit>("nameLine1")->text().toStdString(), "Linia1");
    EXPECT_FALSE(widget<QLabel>("uploadingLabel")->isVisible());

    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Ustawienia komunikacji z modułem DKQ-1");
        EXPECT_FALSE(child<QCheckBox>(dialog, "echoBox")->isVisible() ||
                     child<QCheckBox>(dialog, "echoBox")->isEnabled());
        click(child<QCheckBox>(dialog, "useTcpBox"));
        child(dialog, "ipAddressField")->setText("127.0.0.1");
        child(dialog, "tcpPortField")->setText(QString::number(sim_.tcpPort()));
        child(dialog, "busAddressField")->setText("1");
        child<QCheckBox>(dialog, "disconnectBox")->click();
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("commButton"));
    EXPECT_EQ(window_->core().settings().disconnectAfterReading, 1);
    EXPECT_EQ(window_->core().settings().tcpPort, sim_.tcpPort());

    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Ustawienia prezentacji wyników pomiarów");
        EXPECT_FALSE(child<QLabel>(dialog, "moduleLabel")->isVisible());
        child(dialog, "nameL1")->setText("Piec");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("lineSetupButton"));
    EXPECT_EQ(widget<QLineEdit>("nameLine1")->text().toStdString(), "Piec");

    click(widget<QPushButton>("startButton"));
    EXPECT_TRUE(widget<QPushButton>("clearButton3")->isEnabled());
    EXPECT_TRUE(waitFor([&] { return widget<QLabel>("uploadingLabel")->isVisible(); }));
    EXPECT_EQ(server_.requests().size(), 1u);
    EXPECT_EQ(widget<QLineEdit>("savedCountField")->text().toStdString(), "1");

    // A signal closes the window as its close command does: STOP, settings saved.
    SignalCloser closer(window_.get());
    raise(SIGTERM);
    EXPECT_TRUE(waitFor([&] { return window_->closed(); }));
    EXPECT_FALSE(window_->core().monitoring());
    EXPECT_FALSE(widget<QLabel>("uploadingLabel")->isVisible());
    RegistryKey key;
    ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, MonitorKeyPath));
    std::uint32_t disconnect = 0;
    EXPECT_TRUE(key.ReadDword("Rozlaczaj_po_odczytaniu", disconnect) && disconnect == 1);
}

}  // namespace
}  // namespace dkq
