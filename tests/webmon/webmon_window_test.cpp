// webmon's window offscreen: its own controls, the shaped communication
// dialog and the line setup title. (Recording, uploading and closing by
// signal are run whole by webmon_program_test.)
#include <gtest/gtest.h>
#include <stdlib.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
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
    EXPECT_EQ(widget<QLabel>("nameLine1")->text().toStdString(), "Linia1");
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
    const QLabel* name = widget<QLabel>("nameLine1");
    EXPECT_EQ(name->text().toStdString(), "Piec");
    // A name of a configuration file's 15 characters fits its place whole.
    ChannelTable channels = window_->core().module().channels;
    channels[0].name = "Temperatura pie";
    window_->core().lineSetupClosed(channels);
    EXPECT_EQ(name->text().toStdString() + "|" + name->toolTip().toStdString(),
              "Temperatura pie|Temperatura pie");
    EXPECT_TRUE(name->contentsRect().contains(name->fontMetrics().boundingRect(
        name->contentsRect(), Qt::AlignCenter | Qt::TextWordWrap, name->text())));
}

}  // namespace
}  // namespace dkq
