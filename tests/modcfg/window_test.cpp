// modcfg offscreen: every editing window loads from the image when it opens,
// stores on OK only and leaves the image alone on Cancel; the main window
// against dkqsim.
#include <gtest/gtest.h>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "modcfg/configurator_window.h"
#include "tests/support/sim_process.h"
#include "tests/support/stored_settings.h"
#include "tests/support/widget_helpers.h"

namespace dkq {
namespace {

void setText(QWidget* dialog, const QString& name, const QString& text) {
    child(dialog, name)->setText(text);
}

// Clicks the button and answers the message box it opens; its text.
std::string clickAndAnswer(QPushButton* button) {
    std::string text = "no message box";
    onNextModal([&](QWidget* box) { text = answerBox(box); });
    button->click();
    return text;
}

ConfigImage sampleImage() {
    ConfigImage image{};
    for (std::size_t n = 0; n < image.size(); ++n)
        image[n] = static_cast<std::int32_t>(n * 37 % 65536);
    image[6] = 0xFF04;    // ModeFlags with bits 8..15 set
    image[192] = 0xFFE5;  // CounterFlags with bit 5 and bits 8..15 set
    image[120] = -1;      // O5's switch-on word 0 as read: every field at its top
    EncodeLcdText("T#27#05", image);
    return image;
}

struct EditingCase {
    std::function<ImageDialog*(ConfigImage&)> open;
    const char* field;  // an edit that shows a value of the image
    std::string shown;  // what it shows when the window opens
    std::function<void(ImageDialog*)> edit;
    std::function<void(ConfigImage&)> expected;  // the same change through the core
};

TEST(ModcfgWindows, EachEditingWindowLoadsOnOpenStoresOnOkOnly) {
    application();
    const EditingCase cases[] = {
        {[](ConfigImage& i) { return new OutputRulesDialog(i, 5); }, "reg1On5", "255",
         [](ImageDialog* d) {
             setText(d, "reg1On5", "300");
             setText(d, "valOff8", "70000");
             child<QButtonGroup>(d, "cpOn6")->button(2)->setChecked(true);
             child<QCheckBox>(d, "sterOnBox")->setChecked(false);
         },
         [](ConfigImage& i) {
             OutputRuleSet o5 = outputRules(i, 5), o6 = outputRules(i, 6), o8 = outputRules(i, 8);
             o5.on.reg1 = 300;
             o8.off.val = 70000;
             o6.on.cp = 2;
             storeOutputRules(i, 5, o5);
             storeOutputRules(i, 6, o6);
             storeOutputRules(i, 7, outputRules(i, 7));
             storeOutputRules(i, 8, o8);
             setModeFlag(i, ModeBit::SterOn, false);
         }},
        {[](ConfigImage& i) { return new CalibrationDialog(i); }, "a16", std::to_string(86 * 37),
         [](ImageDialog* d) {
             setText(d, "a16", "40000");
             setText(d, "b1", "-3");
             child<QCheckBox>(d, "enabledBox")->setChecked(true);
         },
         [](ConfigImage& i) {
             i[86] = 40000;
             i[57] = -3;
             i[6] |= 1;
         }},
        {[](ConfigImage& i) { return new PwmDialog(i); }, "reg2Pwm1",
         std::to_string(185 * 37 % 256),
         [](ImageDialog* d) {
             setText(d, "k2", "-2");
             child<QButtonGroup>(d, "opPwm1")->button(3)->setChecked(true);
             child<QCheckBox>(d, "pwmOnBox")->setChecked(true);
         },
         [](ConfigImage& i) {
             PwmRule one = pwmRule(i, 1), two = pwmRule(i, 2);
             one.op = 3;
             two.k = -2;
             storePwmRule(i, 1, one);
             storePwmRule(i, 2, two);
             setModeFlag(i, ModeBit::Pwm, true);
         }},
        {[](ConfigImage& i) { return new GeneralDialog(i); }, "serialNumber", "25004A006F00",
         [](ImageDialog* d) {
             child<QPlainTextEdit>(d, "lcdText")->setPlainText("AB#5");
             child<QCheckBox>(d, "modeBox7")->setChecked(true);
             child<QButtonGroup>(d, "counterMode2_")->button(1)->setChecked(true);
         },
         [](ConfigImage& i) {
             EncodeLcdText("AB#5", i);
             i[6] = 0x84;    // bits 8..15 cleared, HV-2C on
             i[192] = 0xC7;  // C2 counts pulses; bit 5 and 8..15 cleared
         }},
    };
    for (const EditingCase& c : cases) {
        ConfigImage image = sampleImage();
        const ConfigImage before = image;
        std::unique_ptr<ImageDialog> dialog(c.open(image));
        for (int round = 0; round < 2; ++round) {  // a Cancel leaves nothing behind
            dialog->open();
            EXPECT_EQ(child(dialog.get(), c.field)->text().toStdString(), c.shown) << c.field;
            c.edit(dialog.get());
            child<QPushButton>(dialog.get(), "cancelButton")->click();
            EXPECT_EQ(image, before) << c.field;
        }
        dialog->open();
        c.edit(dialog.get());
        child<QPushButton>(dialog.get(), "okButton")->click();
        EXPECT_FALSE(dialog->isVisible()) << c.field;
        ConfigImage expected = before;
        c.expected(expected);
        EXPECT_EQ(image, expected) << c.field;
    }
}

TEST(ModcfgWindows, RefusedFieldStoresNothingAndDebugTextWritesNothing) {
    application();
    ConfigImage image = sampleImage();
    const ConfigImage before = image;
    PwmDialog pwm(image);
    pwm.open();
    setText(&pwm, "c1", "32768");
    EXPECT_EQ(clickAndAnswer(child<QPushButton>(&pwm, "okButton")),
              "Please enter an integer between -32767 and 32767.");
    EXPECT_TRUE(pwm.isVisible());
    EXPECT_EQ(image, before);

    OutputRulesDialog rules(image, 1);
    rules.open();
    setText(&rules, "t2On1", "7");
    child<QButtonGroup>(&rules, "relOff1")->button(0)->setChecked(true);
    child<QPushButton>(&rules, "testButton")->click();
    OutputRule shown = outputRules(image, 1).on;
    shown.cp = -1;  // the controls' values: no mode chosen
    shown.t2 = 7;
    EXPECT_EQ(child(&rules, "debugOnText")->text().toStdString(), switchOnDebugText(true, shown));
    EXPECT_NE(child(&rules, "debugOffText")->text().indexOf("  rel=0  "), -1);
    EXPECT_EQ(image, before);
}

class MainWindow : public ::testing::Test {
  protected:
    MainWindow() {
        application();
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        test::chooseLoopbackTcp(ConfiguratorKeyPath, sim.tcpPort());
        test::storeSettings(ConfiguratorKeyPath, {{"BusAdr", 2u}});
    }
    ~MainWindow() override { unsetenv("XDG_CONFIG_HOME"); }

    QPushButton* button(const char* name) { return child<QPushButton>(&window(), name); }
    QLineEdit* edit(const char* name) { return child(&window(), name); }
    // Fills fields, then clicks a button.
    void fillAndClick(const std::vector<std::pair<const char*, const char*>>& texts,
                      const char* name) {
        for (const auto& [field, text] : texts) edit(field)->setText(text);
        button(name)->click();
    }
    ConfiguratorWindow& window() {
        if (!window_) {
            window_ = std::make_unique<ConfiguratorWindow>();
            window_->show();
            window_->startUp();
        }
        return *window_;
    }

    test::ScratchDir dir;
    test::SimProcess sim{{"--deterministic", "--modules", "1,2", "--tcp", "127.0.0.1:0"}};
    std::unique_ptr<ConfiguratorWindow> window_;
};

TEST_F(MainWindow, TransfersReadingsRegistersAndConnectionState) {
    ConfigImage defaults{};
    defaults.fill(5);
    ASSERT_EQ(saveConfigFile(dir.file("default.dkq"), defaults), ConfigFileResult::Ok);
    ConfiguratorWindow& w = window();
    EXPECT_EQ(w.core().image()[300], 5) << "default.dkq loaded at start";
    EXPECT_FALSE(edit("comPort")->isEnabled()) << "TCP/IP box set from the registry";
    EXPECT_TRUE(edit("ipAddress")->isEnabled());
    EXPECT_EQ(edit("busAddress")->text(), "2");
    EXPECT_EQ(edit("liveDegrees1")->text(), "0") << "no reading yet";

    EXPECT_EQ(clickAndAnswer(button("writeConfigButton")), "Port niepołączony !");
    EXPECT_EQ(clickAndAnswer(button("readConfigRegisterButton")), "Port niepołączony !");
    EXPECT_EQ(clickAndAnswer(button("readConfigButton")), "Konfiguracja odczytana z modułu.");
    EXPECT_EQ(std::pair(w.core().image()[3], w.core().image()[224]),
              std::pair(0x9A02 - 0x10000, 5));
    EXPECT_TRUE(child<QLabel>(&w, "portOpenLabel")->isVisible() &&
                !button("connectButton")->isEnabled())
        << "Connect opened the link";
    EXPECT_EQ(child<QProgressBar>(&w, "transferProgress")->value(), 15);

    EXPECT_EQ(child<QLabel>(&w, "portOpenLabel")->text() + button("disconnectButton")->text(),
              "Połączenie nawiązaneRozłącz TCP/IP");
    w.core().image()[100] = 1234;
    // The module's configuration is replaced only on Tak: Enter answers Nie.
    const std::string question =
        "Czy na pewno chcesz wpisać CFG do modułu ?\n\nDotychczasowa konfiguracja "
        "modułu\nzostanie zastąpiona!";
    {
        Modals modals({[](QWidget* box) { answerByEnter(box); }});
        button("writeConfigButton")->click();
        EXPECT_EQ(modals.texts, std::vector<std::string>{question});
    }
    EXPECT_EQ(child<QProgressBar>(&w, "transferProgress")->maximum(), 15) << "nothing written";
    Modals modals({press(QMessageBox::Yes), press(QMessageBox::Ok)});
    button("writeConfigButton")->click();
    EXPECT_EQ(modals.texts,
              (std::vector<std::string>{question, "Konfiguracja zapisana do modułu."}));
    EXPECT_EQ(child<QProgressBar>(&w, "transferProgress")->maximum(), 31);
    fillAndClick({{"configRegister", "100"}}, "readConfigRegisterButton");
    EXPECT_EQ(edit("configValue")->text(), "1234");
    fillAndClick({{"configValue", "-2"}, {"configRegister", "101"}}, "writeConfigRegisterButton");
    fillAndClick({{"outputRegister", "16"}, {"outputValue", "5"}}, "writeOutputRegisterButton");
    fillAndClick({{"outputValue", "0"}}, "readOutputRegisterButton");
    EXPECT_EQ(edit("outputValue")->text(), "5");
    fillAndClick({{"inputRegister", "17"}}, "readInputRegisterButton");
    EXPECT_EQ(edit("inputValue")->text(), "201");
    edit("configValue")->setText("4294967296");
    EXPECT_EQ(clickAndAnswer(button("writeConfigRegisterButton")), "Please enter an integer.");
    edit("configRegister")->setText("256");
    EXPECT_EQ(clickAndAnswer(button("readConfigRegisterButton")),
              "Please enter an integer between 0 and 255.");
    EXPECT_EQ(edit("configValue")->text(), "-2") << "read from register 101 still";

    fillAndClick({{"configRegister", "0"}, {"inputRegister", "0"}}, "liveButton");
    EXPECT_EQ(edit("liveVolts1")->text(), "2.95");  // 2930 + 10·2
    EXPECT_EQ(edit("liveDegrees4")->text(), "22.1");
    EXPECT_EQ(child<QProgressBar>(&w, "liveBar2")->value(), 2951);

    const std::string diagnostics = clickAndAnswer(button("diagnosticsButton"));
    EXPECT_EQ(diagnostics.substr(0, 30), "Wersja = v25\nSN=123456789A02\nU") << diagnostics;
    edit("displayText")->setText("Zażółć→ж→");
    EXPECT_EQ(clickAndAnswer(button("showTextButton")),
              "Znaki spoza strony kodowej Windows-1250 zastąpiono znakiem '?': →ж");
    edit("displayText")->setText("");
    edit("busAddress")->setText("3");
    EXPECT_EQ(clickAndAnswer(button("showTextButton")), "Brak odpowiedzi!");

    button("disconnectButton")->click();
    EXPECT_TRUE(edit("comPort")->isEnabled() && edit("ipAddress")->isEnabled())
        << "all four fields after Disconnect";
    EXPECT_FALSE(child<QLabel>(&w, "portOpenLabel")->isVisible());
    child<QCheckBox>(&w, "useTcp")->click();
    EXPECT_FALSE(edit("ipAddress")->isEnabled());
    EXPECT_EQ(button("disconnectButton")->text(), "Rozłącz port COM");

    w.core().SaveConfigFile(dir.file("KOPIA.SM3"));
    ConfigImage copy{};
    EXPECT_EQ(loadConfigFile(dir.file("KOPIA.SM3"), copy), ConfigFileResult::Ok);
    EXPECT_EQ(copy, w.core().image());
    w.close();
    EXPECT_NE(test::readFileBytes(dir.file("Veldmark/DKQ-1.conf")).find("BusAdr=3"),
              std::string::npos)
        << "settings written on close";
}

}  // namespace
}  // namespace dkq
