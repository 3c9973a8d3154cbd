// "DKQ-1-5", multimon's configuration file: any file is taken or refused as a
// whole, and what it leaves in the settings is written back as a file that
// reads into the same settings.
#include "common/text.h"
#include "fuzz/fuzz_check.h"
#include "multimon/monitor_settings.h"

using namespace dkq;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    MonitorSettings settings;
    ModuleTable modules = defaultModuleTable();
    if (!applyConfigLines(decodeTextLines(input.text()), settings, modules)) return 0;

    const std::string text = configFileText(settings, modules, 0);
    MonitorSettings settingsAgain;
    ModuleTable modulesAgain = defaultModuleTable();
    const bool again =
        applyConfigLines(decodeTextLines(encodeTextFile(text)), settingsAgain, modulesAgain);
    fuzz::check(again, "a written file reads back");
    fuzz::check(configFileText(settingsAgain, modulesAgain, 0) == text,
                "a written file reads into the same settings");
    return 0;
}
