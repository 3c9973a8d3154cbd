#include "widgets/close_on_signal.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#endif

namespace dkq {

#ifndef _WIN32
namespace {

constexpr std::array ClosingSignals = {SIGTERM, SIGINT};
constexpr int MaxOpenDialogs = 8;
int signalPipe[2] = {-1, -1};
bool closedBySignal = false;  // the closer of this process has closed its window

extern "C" void onClosingSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandlers(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : ClosingSignals) sigaction(signal, &action, nullptr);
}

}  // namespace

SignalCloser::SignalCloser(QWidget* window) : window_(window) {
    closedBySignal = false;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalCloser::closeWindow);
    setHandlers(onClosingSignal);
}

SignalCloser::~SignalCloser() {
    if (notifier_ == nullptr) return;
    setHandlers(SIG_DFL);
    closedBySignal = false;
    delete notifier_;
    close(signalPipe[0]);
    close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

// A message box or dialog still waiting for an answer is closed first, so
// that the window's own event loop can end.
void SignalCloser::closeWindow() {
    char bytes[16];
    while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    closedBySignal = true;
    for (int i = 0; i < MaxOpenDialogs; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == window_) break;
        modal->close();
    }
    window_->close();
}

#else  // Windows ends console programs by its own means.

namespace {
constexpr bool closedBySignal = false;
}  // namespace

SignalCloser::SignalCloser(QWidget* window) : window_(window) {}
SignalCloser::~SignalCloser() = default;
void SignalCloser::closeWindow() {}

#endif

bool closingBySignal() {
    return closedBySignal;
}

}  // namespace dkq
