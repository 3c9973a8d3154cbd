// The configurator's program core: the one link and image of the program and
// every action of the main window "Konfiguracja DKQ-1", on the window's
// fields as plain variables. Reports through Prompter and TransferProgress;
// the window moves the fields in and out and switches its controls.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "common/prompter.h"
#include "config/config_file.h"
#include "config/config_transfer.h"
#include "link/module_link.h"

namespace dkq {

// The main window's fields as variables.
struct MainFields {
    int comPort = 1;      // "COM:" 1..9
    int speed = 9600;     // "BPS:" 1..300000
    int busAddress = 1;   // "Adres Modbus:" 0..31
    bool useTcp = false;  // "Połączenie TCP/IP"
    std::string ipAddress = "192.168.2.1";
    int tcpPort = 23;
    bool echo = false;       // hidden "ECHO"
    int configRegister = 0;  // "EEPROM ADR" 0..255
    int configValue = 0;
    int inputRegister = 0;  // 0..19
    int inputValue = 0;
    int outputRegister = 0;  // 0..19
    int outputValue = 0;
    std::string displayText;  // "Tekst LCD"
    // Under L1..L4: the bars' raw readings, the "V" and the "°C" row; all 0
    // until the first reading.
    std::array<int, 4> live{};
    std::array<float, 4> liveVolts{};
    std::array<float, 4> liveDegrees{};
};

// A display text goes to the module in Windows-1250: characters the code
// page cannot hold become '?', and the user is told which.
void tellReplacedCharacters(Prompter& prompter, std::string_view text);

// The state label of an open link and the caption of its disconnect button,
// for a serial port or a TCP connection.
struct ConnectionTexts {
    const char* open;
    const char* disconnect;
};
ConnectionTexts connectionTexts(bool tcp);

// The longest display text one WriteText call carries.
inline constexpr int MaxDisplayTextChars = 246;

class ConfiguratorCore {
  public:
    ConfiguratorCore(Prompter& prompter, TransferProgress& progress);

    ModuleLink& link() { return link_; }
    ConfigImage& image() { return image_; }

    // Link defaults, InitNetwork, loadConfiguratorSettings into fields.
    void startUp(MainFields& fields);
    // At the end of the window's initialisation: default.dkq, when present.
    void LoadDefaultConfig();
    void shutDown(const MainFields& fields);

    // True when the link is open afterwards (the window then switches its
    // connection controls).
    bool Connect(const MainFields& fields);
    void Disconnect();

    // True when every block went through (the window then shows its fields).
    bool ReadConfig(const MainFields& fields);
    // Asks first: the module's own configuration is replaced.
    bool WriteConfig(const MainFields& fields);
    void LoadConfigFile(const std::string& path);
    // path as the save dialog gives it, its file name in capitals.
    void SaveConfigFile(const std::string& path);

    // Fills the live fields; false when the link could not be opened.
    bool LiveReading(MainFields& fields);
    void ReadConfigRegister(MainFields& fields);
    void WriteConfigRegister(const MainFields& fields);
    void ReadInputRegister(MainFields& fields);
    void ReadOutputRegister(MainFields& fields);
    void WriteOutputRegister(const MainFields& fields);
    void ShowText(const MainFields& fields);
    // True when it opened the link itself ("Port COM otwarty" is shown).
    bool ShowDiagnostics(const MainFields& fields);
    void LcdTest();

  private:
    bool linkReady();
    bool answered(int code);
    void copyTransport(const MainFields& fields);

    Prompter& prompter_;
    TransferProgress& progress_;
    ModuleLink link_;
    ConfigImage image_{};
};

}  // namespace dkq
