// DKQ-Logger window benchmark: "Odczytaj dane" clicked in the window
// (offscreen) downloads 20000 records of 30 bytes from the simulated record
// memory over a pseudo-terminal paced at 115200 baud, driven by the window's
// timer one batch per tick. The figure is records per second, from the click
// to the final message, divided by what the line can carry, 11520 / (L + 2)
// records per second (goal: at least 0.9).
// Usage: logger_window_bench  (dkqsim from $DKQSIM)
#include <stdlib.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "dkq-logger/logger_dialog.h"
#include "settings/com_ports.h"
#include "settings/registry_key.h"
#include "tests/support/sim_process.h"

namespace {

using namespace dkq;

constexpr int kRecords = 20000;
constexpr int kRecordLength = 30;  // ten logged items
constexpr int kBaud = 115200;
constexpr int kComPort = 1;

// COM1 is the simulator's pseudo-terminal; the window starts on the serial line.
bool prepareSettings(const std::string& device) {
    RegistryKey ports;
    ports.CreateKey(RegistryRoot::CurrentUser, PortsKeyPath);
    if (!ports.Open(RegistryRoot::CurrentUser, PortsKeyPath) ||
        !ports.WriteString("COM" + std::to_string(kComPort), device))
        return false;
    RegistryKey().CreateKey(RegistryRoot::CurrentUser, LoggerKeyPath);
    LoggerFields fields;
    fields.link.comPort = kComPort;
    fields.splitFiles = false;
    return saveLoggerSettings(fields);
}

// Answers the file dialog with `file` and notes when the final message
// opens, which it closes.
class User : public QObject {
  public:
    explicit User(std::string file) : file_(std::move(file)) {
        poll_.setInterval(1);
        connect(&poll_, &QTimer::timeout, this, &User::look);
        poll_.start();
    }
    bool finished() const { return finishedAtMs_ >= 0; }
    qint64 finishedAtMs() const { return finishedAtMs_; }
    std::string message;

  private:
    void look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialog->selectFile(QString::fromStdString(file_));
            QMetaObject::invokeMethod(dialog, "accept");
            clock_.start();
            return;
        }
        finishedAtMs_ = clock_.elapsed();
        message = modal->property("text").toString().toStdString();
        modal->close();
        poll_.stop();
    }

    std::string file_;
    QTimer poll_;
    QElapsedTimer clock_;
    qint64 finishedAtMs_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    test::ScratchDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    test::SimProcess sim({"--pty", dir.file("module"), "--baud", std::to_string(kBaud),
                          "--rec-count", std::to_string(kRecords), "--rec-items", "1-10"});
    if (!prepareSettings(sim.ptyPath())) return EXIT_FAILURE;

    LoggerDialog window;
    window.show();
    window.startUp();
    window.findChild<QPushButton*>("connectButton")->click();
    auto* download = window.findChild<QPushButton*>("downloadButton");
    if (!download->isEnabled()) return EXIT_FAILURE;
    User user(dir.file("bench.csv"));
    download->click();
    while (!user.finished()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = static_cast<double>(user.finishedAtMs()) / 1000.0;
    window.close();
    std::printf("%s\n", user.message.c_str());
    const std::int64_t records = window.core().download().recordsDone();
    if (records != kRecords) return EXIT_FAILURE;

    const double rate = static_cast<double>(records) / seconds;
    const double lineLimit = kBaud / 10.0 / (kRecordLength + logger::CrcBytes);
    std::printf(
        "window: %lld records of %d bytes over a pty at %d baud in %.2f s: %.1f records/s, line "
        "limit %.1f records/s, figure %.3f (goal >= 0.9)\n",
        static_cast<long long>(records), kRecordLength, kBaud, seconds, rate, lineLimit,
        rate / lineLimit);
    return EXIT_SUCCESS;
}
