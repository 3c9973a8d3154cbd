// multimon: the five-module monitor and CSV recorder of the DKQ-1 suite.
#include "common/version.h"
#include "multimon/monitor_app.h"

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("multimon", argc, argv)) return 0;
    dkq::MonitorApp app(argc, argv);
    return app.run();
}
