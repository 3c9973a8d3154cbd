// The readings of one module as both monitors show them: the bars of the 16
// lines and 4 counters with their names and values and the counter clear
// buttons (ReadingsPanel), and the outputs with their checks, the PWM values
// and the mode indicators (OutputsPanel). Views only: they show what they are
// given and report clicks.
#pragma once

#include <QFrame>
#include <QGroupBox>
#include <array>

#include "monitor/measurement.h"
#include "monitor/monitor_report.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace dkq {

class ReadingsPanel : public QFrame {
    Q_OBJECT

  public:
    // clearCaption: the clear buttons' text with %1 for the counter number.
    explicit ReadingsPanel(const QString& clearCaption, QWidget* parent = nullptr);

    // Names above the bars, whole in up to two lines (the font made smaller
    // when they need it; the tooltip holds the name too), and the bars'
    // ranges; the C2 column is hidden in PWM mode.
    void showChannels(const ModuleSlot& slot);
    // Bar positions and value texts.
    void showValues(const ModuleSlot& slot);
    void enableClearButtons(bool enabled);

  signals:
    void clearRequested(int counter);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // One bar column: name above, bar, value below.
    struct BarColumn {
        QLabel* name = nullptr;
        QProgressBar* bar = nullptr;
        QLineEdit* value = nullptr;
        QWidget* column = nullptr;
    };
    BarColumn addBarColumn(int entry);
    void showName(QLabel* plate, const QString& name) const;

    std::array<BarColumn, EntryCount> bars_;
    std::array<QPushButton*, CounterCount> clearButtons_{};
};

class OutputsPanel : public QGroupBox {
    Q_OBJECT

  public:
    explicit OutputsPanel(QWidget* parent = nullptr);

    // The four indicators; in PWM mode O11 and O12 are hidden.
    void showModeFlags(ModeFlags flags);
    // Output boxes from the output word, "???" marks, PWM1 and PWM2.
    void showReadback(const OutputReadback& readback);

  signals:
    void outputClicked(int output, bool on);

  private:
    std::array<QCheckBox*, OutputCount> outputs_{};
    std::array<QLabel*, OutputCount> mismatches_{};
    std::array<QLineEdit*, 2> pwm_{};
    std::array<QCheckBox*, 4> modeBoxes_{};  // PWM, Auto-OUT, LCD wewn., Kalibr. wewn.
    ModeFlags shownFlags_;                   // the flags the indicators show
};

}  // namespace dkq
