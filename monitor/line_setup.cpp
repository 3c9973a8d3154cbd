#include "monitor/line_setup.h"

#include <cstdio>

namespace dkq {

std::string moduleLabel(int module, int busAddress) {
    char address[16];
    std::snprintf(address, sizeof address, "%02d", busAddress);
    return std::string("Moduł ") + moduleLetter(module) + " (adres: " + address + ")";
}

std::string lineSetupCaption(int module, int busAddress) {
    return "Ustawienia linii wejściowych: " + moduleLabel(module, busAddress);
}

LineSetupFields lineSetupFields(const ChannelTable& channels) {
    LineSetupFields fields;
    for (int entry = 0; entry < EntryCount; ++entry) {
        const ChannelConfig& channel = channels[entry];
        const int kind = entry < LineCount ? channel.kind : KindRaw;
        fields.names[entry] = channel.name;
        fields.mins[entry] = displayNumber(rawToDisplay(channel.min, kind));
        fields.maxes[entry] = displayNumber(rawToDisplay(channel.max, kind));
        if (entry < LineCount) fields.kinds[entry] = kind >= 0 && kind < KindCount ? kind : -1;
    }
    return fields;
}

std::optional<FieldProblem> applyLineSetup(const LineSetupFields& fields, ChannelTable& channels) {
    FieldReader reader;
    ChannelTable taken = channels;
    for (int entry = 0; entry < EntryCount; ++entry) {
        ChannelConfig& channel = taken[entry];
        if (entry < LineCount && fields.kinds[entry] >= 0) channel.kind = fields.kinds[entry];
        const int kind = entry < LineCount ? channel.kind : KindRaw;
        channel.name = reader.text(lineSetupField(entry, LineSetupPart::Name), fields.names[entry],
                                   MaxLineSetupNameChars);
        const float min =
            reader.number(lineSetupField(entry, LineSetupPart::Min), fields.mins[entry]);
        const float max =
            reader.number(lineSetupField(entry, LineSetupPart::Max), fields.maxes[entry]);
        channel.min = displayToRaw(min, kind);
        channel.max = displayToRaw(max, kind);
    }
    if (!reader.ok()) return reader.problem();
    channels = taken;
    return std::nullopt;
}

}  // namespace dkq
