#include "multimon/monitor_app.h"

#include <QTimer>

#include "common/text.h"
#include "multimon/monitor_dialog.h"
#include "widgets/close_on_signal.h"

namespace dkq {
namespace {

// A picture of the running window for documentation and headless runs:
// MULTIMON_PICTURE names the PNG file, taken ten seconds after start.
constexpr int PictureDelayMs = 10000;

void takePictureWhenAsked(MonitorDialog& dialog) {
    const QString path = qEnvironmentVariable("MULTIMON_PICTURE");
    if (path.isEmpty()) return;
    QTimer::singleShot(PictureDelayMs, &dialog, [&dialog, path] {
        if (!dialog.grab().save(path)) qWarning("multimon: cannot write %s", qPrintable(path));
    });
}

}  // namespace

// The words after the program name, at most as many as the command line
// of the original platform held.
MonitorApp::MonitorApp(int& argc, char** argv) : application_(argc, argv) {
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size() && commandWords_.size() < MaxCommandWords; ++i)
        commandWords_.push_back(arguments[i].toStdString());
}

int MonitorApp::run() {
    MonitorDialog dialog;
    SignalCloser closer(&dialog);
    dialog.startUp(commandWords_);
    if (dialog.closed()) return 0;  // closed by a signal while START was asking
    takePictureWhenAsked(dialog);
    dialog.exec();
    return 0;
}

}  // namespace dkq
