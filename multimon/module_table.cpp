#include "multimon/module_table.h"

namespace dkq {

ModuleTable defaultModuleTable() {
    ModuleTable table;
    for (int module = 0; module < ModuleCount; ++module) {
        table[module].busAddress = module == 0 ? 1 : 0;
        table[module].channels = defaultChannels(module);
        for (int entry = 0; entry < EntryCount; ++entry)
            table[module].raw[entry] = table[module].channels[entry].min;
    }
    return table;
}

}  // namespace dkq
