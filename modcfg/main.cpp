// modcfg: the configurator of the DKQ-1 suite. The main window is the whole
// program; SIGTERM and SIGINT close it as its close box does.
#include <QApplication>

#include "common/version.h"
#include "modcfg/configurator_window.h"
#include "widgets/close_on_signal.h"
#include "widgets/program_run.h"

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("modcfg", argc, argv)) return 0;
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName("Konfiguracja DKQ-1");
    dkq::usePolishStandardDialogs();
    dkq::ConfiguratorWindow window;
    dkq::SignalCloser closer(&window);
    window.startUp();
    if (!window.closed()) window.exec();
    return 0;
}
