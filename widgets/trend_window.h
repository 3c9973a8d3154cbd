// "Wykres – Moduł X": the trend chart of one module with its series list
// (check boxes, names as configured, the colour of each), the span, pause,
// zoom reset, the value under the cursor, and "Zapisz obraz" (PNG) and
// "Zapisz dane" (CSV). Both monitors open it from their main windows and
// call showReadings after every tick.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "monitor/trend_buffer.h"
#include "widgets/qt_prompter.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace dkq {

class TrendChart;

class TrendWindow : public QWidget {
    Q_OBJECT

  public:
    // The window reads trend and channels, which outlive it, at every tick.
    TrendWindow(const QString& title, const TrendBuffer& trend,
                const std::array<ChannelConfig, EntryCount>& channels, QWidget* parent);

    // After every tick: the series names as configured now, and the chart
    // follows the readings unless paused.
    void showReadings();

    // What "Zapisz obraz" and "Zapisz dane" do with the file chosen; false
    // when it cannot be written.
    bool savePicture(const std::string& path);
    bool saveData(const std::string& path);

  private:
    QWidget* buildControls();
    void buildSeriesList();
    void choosePictureFile();
    void chooseDataFile();

    const TrendBuffer& trend_;
    const std::array<ChannelConfig, EntryCount>& channels_;
    QtPrompter prompter_{this};
    TrendChart* chart_ = nullptr;
    QListWidget* seriesList_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* pause_ = nullptr;
    QLabel* pointed_ = nullptr;
};

// When the environment variables name a PNG and a CSV file, the chart that
// openChart opens is opened at once and, just before the main window closes
// (also by a signal), saves its picture and its data there through its own
// two commands. For headless runs and the documentation.
void saveChartAtCloseWhenAsked(QWidget& mainWindow, const std::function<TrendWindow*()>& openChart,
                               const char* pictureVariable, const char* dataVariable);

}  // namespace dkq
