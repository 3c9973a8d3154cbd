// DKQ-Logger's window for the closing test, in a file of its own: its field
// numbers and the monitors' bear the same names.
#include "dkq-logger/logger_dialog.h"

namespace dkq::test {

QDialog* startedLoggerWindow() {
    auto* window = new LoggerDialog;
    window->startUp();
    return window;
}

}  // namespace dkq::test
