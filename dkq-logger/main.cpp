// DKQ-Logger: the record memory reader of the DKQ-1 suite.
#include <QApplication>

#include "common/version.h"
#include "dkq-logger/logger_dialog.h"
#include "widgets/close_on_signal.h"
#include "widgets/program_run.h"

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("DKQ-Logger", argc, argv)) return 0;
    QApplication application(argc, argv);
    dkq::usePolishStandardDialogs();
    dkq::LoggerDialog dialog;
    dkq::SignalCloser closer(&dialog);
    dialog.startUp();
    dialog.exec();
    return 0;
}
