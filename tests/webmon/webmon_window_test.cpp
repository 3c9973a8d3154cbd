// webmon's window offscreen: its own controls, the shaped communication
// dialog, the line setup title and the chart of its module. (Recording, uploading and closing by
// signal are run whole by webmon_program_test.)
#include <gtest/gtest.h>
#include <stdlib.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "tests/support/sim_process.h"
#include "tests/support/widget_helpers.h"
#include "webmon/web_monitor_dialog.h"

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
        window_ = std::make_unique<WebMonitorDialog>();
        window_->startUp({});
        window_->show();
    }
    template <typename T = QWidget>
    T* widget(const QString& name) {
        return child<T>(window_.get(), name);
    }

    test::ScratchDir dir_;
    std::unique_ptr<WebMonitorDialog> window_;
};

TEST_F(WebWindowTest, OneModuleControlsAndTheShapedDialogs) {
    EXPECT_EQ(window_->windowTitle().toStdString(), "Monitor DKQ-1");
    EXPECT_TRUE(window_->findChildren<QRadioButton*>().isEmpty());
    EXPECT_FALSE(widget<QPushButton>("clearButton3")->isEnabled());
    EXPECT_EQ(widget<QLineEdit>("nameLine1")->text().toStdString(), "Linia1");
    EXPECT_FALSE(widget<QLabel>("uploadingLabel")->isVisible());

    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Ustawienia komunikacji z modułem DKQ-1");
        EXPECT_FALSE(child<QCheckBox>(dialog, "echoBox")->isVisible() ||
                     child<QCheckBox>(dialog, "echoBox")->isEnabled());
        child(dialog, "busAddressField")->setText("7");
        child<QCheckBox>(dialog, "disconnectBox")->click();
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("commButton"));
    EXPECT_EQ(window_->core().settings().disconnectAfterReading, 1);
    EXPECT_EQ(window_->core().settings().busAddress, 7);

    onNextModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Ustawienia prezentacji wyników pomiarów");
        EXPECT_FALSE(child<QLabel>(dialog, "moduleLabel")->isVisible());
        child(dialog, "nameL1")->setText("Piec");
        click(child<QPushButton>(dialog, "okButton"));
    });
    click(widget<QPushButton>("lineSetupButton"));
    EXPECT_EQ(widget<QLineEdit>("nameLine1")->text().toStdString(), "Piec");
    click(widget<QPushButton>("chartButton"));  // the chart of the module, names as set
    QWidget* chart = widget("trendWindow");
    EXPECT_EQ(chart->windowTitle().toStdString() + "|" +
                  child<QListWidget>(chart, "seriesList")->item(0)->text().toStdString(),
              "Wykres – Moduł 7|Piec");
}

}  // namespace
}  // namespace dkq
