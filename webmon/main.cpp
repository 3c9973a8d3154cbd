// webmon: the one-module monitor of the DKQ-1 suite that records a CSV row
// every period and sends each recorded reading to a web server.
#include <QApplication>

#include "common/version.h"
#include "upload/http_upload.h"
#include "webmon/web_monitor_dialog.h"
#include "widgets/close_on_signal.h"
#include "widgets/program_run.h"

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("webmon", argc, argv)) return 0;
    const dkq::CurlLibrary curl;
    QApplication application(argc, argv);
    dkq::usePolishStandardDialogs();
    dkq::WebMonitorDialog dialog;
    dkq::SignalCloser closer(&dialog);
    dkq::takePictureWhenAsked(dialog, "WEBMON_PICTURE");
    dialog.run(dkq::commandWordsOf(QApplication::arguments()));
    return 0;
}
