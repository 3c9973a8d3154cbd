#include "config/config_transfer.h"

#include <cstdio>
#include <functional>
#include <span>

namespace dkq {
namespace {

// Up to four attempts of one block; the code of the last one.
int tryBlock(const std::function<int()>& attempt) {
    int code = tx::Ok;
    for (int n = 0; n < BlockTries; ++n) {
        code = attempt();
        if (code == tx::Ok) break;
    }
    return code;
}

std::string blockMessage(const char* pattern, int block) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, block);
    return text;
}

std::span<std::int32_t> slots(ConfigImage& image, int first, int count) {
    return std::span(image).subspan(static_cast<std::size_t>(first),
                                    static_cast<std::size_t>(count));
}

std::span<const std::int32_t> slots(const ConfigImage& image, int first, int count) {
    return std::span(image).subspan(static_cast<std::size_t>(first),
                                    static_cast<std::size_t>(count));
}

}  // namespace

TransferResult ReadConfigFromModule(ModuleLink& link, int address, ConfigImage& image,
                                    TransferProgress& progress) {
    progress.setRange(ReadBlockCount + 1);
    progress.setPosition(0);
    for (int block = 0; block < ReadBlockCount; ++block) {
        const int first = ReadBlockRegisters * block;
        const int code = tryBlock([&] {
            return link.ReadSignedRegisters(address, first, ReadBlockRegisters,
                                            slots(image, first, ReadBlockRegisters));
        });
        if (code != tx::Ok) return {block, code};
        progress.setPosition(block + 2);
    }
    return {};
}

TransferResult WriteConfigToModule(ModuleLink& link, int address, const ConfigImage& image,
                                   TransferProgress& progress) {
    progress.setRange(WriteBlockCount + 1);
    progress.setPosition(0);
    for (int block = 0; block < WriteBlockCount; ++block) {
        const int first = block == 0 ? FirstWrittenRegister : WriteBlockRegisters * block;
        const int count = block == 0 ? FirstWriteRegisters : WriteBlockRegisters;
        const int code = tryBlock(
            [&] { return link.WriteRegisters(address, first, count, slots(image, first, count)); });
        if (code != tx::Ok) return {block, code};
        progress.setPosition(block == 0 ? 1 : block + 2);
    }
    return {};
}

std::string readTransferMessage(const TransferResult& result) {
    if (result.ok()) return "Konfiguracja odczytana z modułu.";
    return blockMessage("Błąd przy odczycie bloku %d !", result.failedBlock);
}

std::string writeTransferMessage(const TransferResult& result) {
    if (result.ok()) return "Konfiguracja zapisana do modułu.";
    return blockMessage(
        result.failedBlock == 0 ? "Błąd przy zapisie blokuUU %d !" : "Błąd przy zapisie bloku %d !",
        result.failedBlock);
}

}  // namespace dkq
