// What the two monitor windows share: the link, the prompter and the clock
// the window owns for the core, the readings panel above, the recording
// block, the program's module block and the outputs below, the button row
// ("Komunikacja", the program's line setup buttons, the configuration file
// buttons, "Wykres", START, STOP), the 1000 ms acquisition timer, and closing.
// A program's window derives from it, builds its core on the members here
// and hands both to assemble().
#pragma once

#include <QDialog>
#include <QList>
#include <QTimer>
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "link/module_link.h"
#include "monitor/comm_settings.h"
#include "monitor/line_setup.h"
#include "monitor/monitor_commands.h"
#include "monitor/trend_buffer.h"
#include "widgets/qt_prompter.h"

class QHBoxLayout;
class QLabel;
class QLayout;
class QPushButton;

namespace dkq {

class OutputsPanel;
class ReadingsPanel;
class RecordingPanel;
class TrendWindow;

// The program's own parts of the window.
struct MonitorWindowParts {
    QLayout* fileOptions = nullptr;  // a row under the CSV file name, or nullptr
    QWidget* stateLabel = nullptr;   // a label or a row of them, beside "Brak połączenia TCP/IP!"
    QWidget* moduleBlock = nullptr;  // between the recording block and the outputs
    QList<QPushButton*> lineSetupButtons;  // after "Komunikacja"
    QString saveConfigText;                // the configuration file buttons
    QString loadConfigText;
};

class MonitorWindow : public QDialog, public virtual RecordingView {
    Q_OBJECT

  public:
    // The program's start-up: settings, files and the command words.
    virtual void startUp(const std::vector<std::string>& commandWords) = 0;
    // The program's run: the window shown and painted first, so that the
    // start-up's messages stand over it and a slow first read at "/start"
    // leaves it on the screen; then the start-up, `started` (unless a signal
    // closed the window meanwhile), and the window until it closes.
    void run(const std::vector<std::string>& commandWords,
             const std::function<void()>& started = {});

    // The close command has run (the registry settings are saved).
    bool closed() const { return closed_; }
    // "Wykres": the trend chart of the module shown.
    virtual TrendWindow* openChart() = 0;

    // Esc does not close the main window.
    void reject() override;

    // --- RecordingView ----------------------------------------------------------
    void showCountdown(int seconds) override;
    void showSavedCount(int count) override;
    void showReadback(const OutputReadback& readback) override;
    void showConnectionLost(bool visible) override;
    void showMonitoring(bool monitoring) override;

  protected:
    // clearLabel: the CLR buttons' text with %1 for the counter;
    // portSetupIcon: the icon of the link's port setup messages.
    MonitorWindow(const QString& title, const QIcon& icon, const QString& clearLabel,
                  MessageIcon portSetupIcon, QWidget* parent);

    // Lays the window out and forwards its clicks and ticks to core.
    void assemble(MonitorCommands& core, const CommDialogShape& commShape,
                  const MonitorWindowParts& parts);
    // The chart of a module (0 for webmon's one), made on first use, named
    // ("Moduł A"), shown and drawn.
    TrendWindow* showChart(std::size_t module, const QString& moduleName, const TrendBuffer& trend,
                           const ChannelTable& channels);
    // The "Zasilanie !" labels in a row, for the program's module block.
    QHBoxLayout* supplyAlarmRow();

    void keyPressEvent(QKeyEvent* event) override;
    // The close command saves the registry settings and tells how many
    // records could not be written.
    void closeEvent(QCloseEvent* event) override;

    ModuleLink link_;
    QtPrompter prompter_{this};
    SystemClock clock_;
    ReadingsPanel* readings_ = nullptr;
    OutputsPanel* outputs_ = nullptr;
    RecordingPanel* recording_ = nullptr;

  private:
    void showPainted();
    QWidget* buildButtons(const MonitorWindowParts& parts);
    void openCommSettings();
    void loadConfigFile();
    void acquisitionTick();

    MonitorCommands* core_ = nullptr;
    const CommDialogShape* commShape_ = nullptr;
    QTimer acquisitionTimer_;
    std::array<QLabel*, 2> supplyAlarms_{};  // Uz, Vcc
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    std::vector<TrendWindow*> charts_;
    bool closed_ = false;
};

}  // namespace dkq
