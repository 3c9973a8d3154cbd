#include "multimon/module_table.h"

namespace dkq {

ModuleTable defaultModuleTable() {
    ModuleTable table;
    for (int module = 0; module < ModuleCount; ++module) {
        table[module].busAddress = module == 0 ? 1 : 0;
        table[module].channels = defaultChannels(std::string(1, moduleLetter(module)));
        for (int entry = 0; entry < EntryCount; ++entry)
            table[module].raw[entry] = table[module].channels[entry].min;
    }
    return table;
}

std::string csvHeader(const ModuleTable& modules) {
    std::string names = "Lp;Czas   ;";
    std::string units = ";;";
    for (const ModuleSlot& slot : modules) {
        if (slot.busAddress == 0) continue;
        for (int entry = 0; entry < EntryCount; ++entry) {
            names += slot.channels[entry].name + ";";
            units += unitCell(entry, slot.channels[entry].kind);
        }
    }
    return names + "\n" + units + "\n";
}

}  // namespace dkq
