// The configurator's editing windows. Each works on the program's one image:
// it loads its fields from the image whenever it opens and stores them on OK
// only, after every field was taken; Cancel leaves the image alone.
#pragma once

#include <QDialog>
#include <array>

#include "config/config_image.h"
#include "widgets/qt_prompter.h"

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dkq {

class FieldTaker;

class ImageDialog : public QDialog {
    Q_OBJECT

  public:
    // Loads the fields, then runs the window modally.
    int exec() override;
    // Loads the fields, then shows the window (window-modal).
    void open() override;
    void accept() override;

  protected:
    ImageDialog(ConfigImage& image, const QString& title, QWidget* parent);
    // OK and Cancel under content.
    void finishLayout(QLayout* content);
    virtual void load() = 0;
    // Takes every field; stores into the image only when all were good.
    virtual bool store() = 0;

    ConfigImage& image_;
    QtPrompter prompter_{this};
};

// "Sterowanie liniami O1...O4" (O5...O8, O9...O12): one class, three instances.
class OutputRulesDialog : public ImageDialog {
    Q_OBJECT

  public:
    OutputRulesDialog(ConfigImage& image, int firstOutput, QWidget* parent = nullptr);

  private:
    struct RuleRow {
        QCheckBox* enabled = nullptr;
        QLineEdit* reg1 = nullptr;
        QButtonGroup* op = nullptr;
        QLineEdit* reg2 = nullptr;
        QButtonGroup* rel = nullptr;
        QLineEdit* val = nullptr;
        QButtonGroup* cp = nullptr;  // switch-on rows only
        QLineEdit* t1 = nullptr;
        QLineEdit* t2 = nullptr;
    };
    static constexpr int Outputs = 4;

    void load() override;
    bool store() override;
    RuleRow buildRow(QGridLayout* grid, int gridRow, int output, bool switchOn);
    void showRule(const RuleRow& row, const OutputRule& rule);
    OutputRule takeRule(FieldTaker& taker, const RuleRow& row);
    void showDebugText();

    int firstOutput_;
    QCheckBox* sterOn_ = nullptr;
    std::array<RuleRow, 2 * Outputs> rows_;  // on, off of each output
    QLineEdit* debugOn_ = nullptr;
    QLineEdit* debugOff_ = nullptr;
};

// "Poprawki kalibracyjne".
class CalibrationDialog : public ImageDialog {
    Q_OBJECT

  public:
    explicit CalibrationDialog(ConfigImage& image, QWidget* parent = nullptr);

  private:
    void load() override;
    bool store() override;

    QCheckBox* enabled_ = nullptr;
    std::array<QLineEdit*, cfg::CalibrationLines> a_{};
    std::array<QLineEdit*, cfg::CalibrationLines> b_{};
};

// "Sterowanie wyjściami PWM".
class PwmDialog : public ImageDialog {
    Q_OBJECT

  public:
    explicit PwmDialog(ConfigImage& image, QWidget* parent = nullptr);

  private:
    struct PwmRow {
        QCheckBox* enabled = nullptr;
        QLineEdit* k = nullptr;
        QLineEdit* reg1 = nullptr;
        QButtonGroup* op = nullptr;
        QLineEdit* reg2 = nullptr;
        QLineEdit* c = nullptr;
    };

    void load() override;
    bool store() override;
    QLayout* buildRow(int pwm);

    QCheckBox* sterOn_ = nullptr;
    QCheckBox* pwmOn_ = nullptr;
    std::array<PwmRow, cfg::PwmOutputs> rows_;
};

// "Kody zmiennych": the codes a display text may carry.
class VarCodesDialog : public QDialog {
    Q_OBJECT

  public:
    explicit VarCodesDialog(QWidget* parent = nullptr);
};

// "Ustawienia ogólne".
class GeneralDialog : public ImageDialog {
    Q_OBJECT

  public:
    explicit GeneralDialog(ConfigImage& image, QWidget* parent = nullptr);

  private:
    void load() override;
    bool store() override;
    QLayout* buildCounters();

    std::array<QCheckBox*, ModeBitCount> modes_{};
    std::array<QButtonGroup*, 4> counterModes_{};
    std::array<QCheckBox*, 4> saturation_{};  // C2's is hidden and disabled
    QPlainTextEdit* lcdText_ = nullptr;
    QLineEdit* serialNumber_ = nullptr;
    QLineEdit* pttDelay_ = nullptr;
    VarCodesDialog codes_{this};
};

}  // namespace dkq
