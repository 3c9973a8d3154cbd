// multimon: the five-module monitor and CSV recorder of the DKQ-1 suite.
#include "multimon/monitor_app.h"

int main(int argc, char** argv) {
    dkq::MonitorApp app(argc, argv);
    return app.run();
}
