// MonitorApp: the application object of multimon. It runs the main window,
// "Monitor DKQ-1-5", and ends when the window closes.
#pragma once

#include <QApplication>
#include <string>
#include <vector>

namespace dkq {

class MonitorApp {
  public:
    MonitorApp(int& argc, char** argv);
    // The command line (a configuration file, "/start"), the window, its end.
    int run();

  private:
    QApplication application_;
    std::vector<std::string> commandWords_;
};

}  // namespace dkq
