// "Wykres – Moduł X": the trend chart of one module with the span, pause,
// zoom reset, and "Zapisz obraz" (PNG of the chart with its title, axes and
// legend) and "Zapisz dane" (CSV of the time and the series shown). Both
// monitors open it from their main windows and call showReadings after
// every tick.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "monitor/trend_buffer.h"
#include "widgets/qt_prompter.h"

class QComboBox;
class QPushButton;

namespace dkq {

class TrendChart;

class TrendWindow : public QWidget {
    Q_OBJECT

  public:
    // The window reads trend and channels, which outlive it, at every tick.
    TrendWindow(const QString& moduleName, const TrendBuffer& trend,
                const std::array<ChannelConfig, EntryCount>& channels, QWidget* parent);

    // "Wykres – " and the module's name in the title bar; the name in the chart's title.
    void showModuleName(const QString& moduleName);
    // After every tick: the series as configured now, and the chart follows
    // the readings unless paused.
    void showReadings();

    // What "Zapisz obraz" and "Zapisz dane" do with the file chosen; false
    // when it cannot be written.
    bool savePicture(const std::string& path);
    bool saveData(const std::string& path);

  private:
    QWidget* buildControls();
    void choosePictureFile();
    void chooseDataFile();

    const TrendBuffer& trend_;
    const std::array<ChannelConfig, EntryCount>& channels_;
    QtPrompter prompter_{this};
    TrendChart* chart_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* pause_ = nullptr;
};

// When the environment variables name a PNG and a CSV file, the chart that
// openChart opens is opened at once and, just before the main window closes
// (also by a signal), saves its picture and its data there through its own
// two commands. For headless runs and the documentation.
void saveChartAtCloseWhenAsked(QWidget& mainWindow, const std::function<TrendWindow*()>& openChart,
                               const char* pictureVariable, const char* dataVariable);

}  // namespace dkq
