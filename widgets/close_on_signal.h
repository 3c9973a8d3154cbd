// SIGTERM and SIGINT (a shutdown, kill, Ctrl+C in the terminal) close a
// window the way its close command does, so the program saves its settings
// and ends normally. The handler only writes to a pipe; the window is closed
// from the event loop, where it is safe.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace dkq {

// True from the moment a signal closes the window on: nobody is there to
// answer a message box, and the program starts and writes nothing more.
bool closingBySignal();

class SignalCloser : public QObject {
    Q_OBJECT

  public:
    // Installs the handlers; one instance per process.
    explicit SignalCloser(QWidget* window);
    // Restores the default handlers.
    ~SignalCloser() override;

  private:
    void closeWindow();

    QWidget* window_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace dkq
