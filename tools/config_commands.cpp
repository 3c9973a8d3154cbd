// Configuration image commands of dkq: back up, restore and compare module
// configurations from scripts with the configurator's own transfers and file
// format. config-read starts from default.dkq in the current folder when it
// is there, as the configurator does at start-up.
#include <cerrno>
#include <filesystem>

#include "config/config_file.h"
#include "config/config_transfer.h"
#include "tools/dkq_command.h"

namespace dkq::tool {
namespace {

using Args = std::vector<std::string>;
using Prepared = std::optional<PreparedCommand>;

// Exit statuses of file failures (sysexits): no input file, a file of the
// wrong length, a file that cannot be written.
constexpr int NoInput = 66;
constexpr int DataError = 65;
constexpr int CannotCreate = 73;

struct NoProgress : TransferProgress {
    void setRange(int) override {}
    void setPosition(int) override {}
};

// Loads path into image; the exit status of a failure, 0 on success.
int loadImage(const std::string& path, ConfigImage& image, std::ostream& err) {
    std::size_t size = 0;
    errno = 0;
    switch (loadConfigFile(path, image, &size)) {
        case ConfigFileResult::Ok:
            return 0;
        case ConfigFileResult::OpenFailed:
            return reportFileError(err, "open", path, errno, NoInput);
        default:
            err << "dkq: cannot read " << path << ": " << size << " bytes long, not "
                << ConfigFileBytes << '\n';
            return DataError;
    }
}

void loadDefaultImage(ConfigImage& image, std::ostream& err) {
    if (std::filesystem::exists(DefaultConfigFile)) loadImage(DefaultConfigFile, image, err);
}

int reportTransfer(CommandContext& c, const std::string& message, const TransferResult& result) {
    c.err << "dkq: " << message << '\n';
    return reportFailure(c, "transfer", result.code);
}

Prepared configRead(const Args& a) {
    if (!argumentCount(a, 2, 2)) return std::nullopt;
    const auto addr = addressArgument(a[0], false);
    if (!addr) return std::nullopt;
    return [addr = *addr, path = a[1]](CommandContext& c) {
        ConfigImage image{};
        loadDefaultImage(image, c.err);
        NoProgress progress;
        const TransferResult result = ReadConfigFromModule(c.link, addr, image, progress);
        if (!result.ok()) return reportTransfer(c, readTransferMessage(result), result);
        errno = 0;
        if (saveConfigFile(path, image) == ConfigFileResult::Ok) return tx::Ok;
        return reportFileError(c.err, "write", path, errno, CannotCreate);
    };
}

Prepared configWrite(const Args& a) {
    if (!argumentCount(a, 2, 2)) return std::nullopt;
    const auto addr = addressArgument(a[0], true);
    if (!addr) return std::nullopt;
    return [addr = *addr, path = a[1]](CommandContext& c) {
        ConfigImage image{};
        if (const int status = loadImage(path, image, c.err); status != 0) return status;
        NoProgress progress;
        const TransferResult result = WriteConfigToModule(c.link, addr, image, progress);
        return result.ok() ? tx::Ok : reportTransfer(c, writeTransferMessage(result), result);
    };
}

constexpr ToolCommand kCommands[] = {
    {"config-read", "ADDR FILE.DKQ",
     "back up the configuration memory, registers 0..223, into a file (function 30)", false,
     configRead},
    {"config-write", "ADDR FILE.DKQ",
     "restore the configuration memory, registers 4..239, from a file (function 31)", false,
     configWrite},
};

}  // namespace

std::span<const ToolCommand> configCommands() {
    return kCommands;
}

std::optional<int> runFileCommand(const std::vector<std::string>& words, std::ostream& out,
                                  std::ostream& err) {
    if (words.empty() || words[0] != "config-show") return std::nullopt;
    if (words.size() != 2) {
        err << "usage: dkq config-show FILE.DKQ\n";
        return UsageError;
    }
    ConfigImage image{};
    if (const int status = loadImage(words[1], image, err); status != 0) return status;
    out << configImageText(image);
    return 0;
}

}  // namespace dkq::tool
