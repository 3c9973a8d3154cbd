#include "multimon/monitor_app.h"

#include "multimon/monitor_dialog.h"
#include "widgets/close_on_signal.h"
#include "widgets/program_run.h"
#include "widgets/trend_window.h"

namespace dkq {

MonitorApp::MonitorApp(int& argc, char** argv)
    : application_(argc, argv), commandWords_(commandWordsOf(QApplication::arguments())) {
    usePolishStandardDialogs();
}

int MonitorApp::run() {
    MonitorDialog dialog;
    SignalCloser closer(&dialog);
    takePictureWhenAsked(dialog, "MULTIMON_PICTURE");
    dialog.run(commandWords_, [&dialog] {
        saveChartAtCloseWhenAsked(
            dialog, [&dialog] { return dialog.openChart(); }, "MULTIMON_CHART_PICTURE",
            "MULTIMON_CHART_DATA");
    });
    return 0;
}

}  // namespace dkq
