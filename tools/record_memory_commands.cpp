// Record memory commands of dkq.
#include "tools/dkq_command.h"

namespace dkq::tool {

std::span<const ToolCommand> recordMemoryCommands() {
    return {};
}

}  // namespace dkq::tool
