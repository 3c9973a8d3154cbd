// The two block transfers between a module and the image: "Odczytaj CFG z
// modułu" (14 blocks of 16 registers, function 30) and "Wpisz CFG do modułu"
// (registers 4..7, then 29 blocks of 8, function 31). Each block is tried up
// to four times; a block that fails four times ends the transfer, with no
// rollback. Registers 0..3 are never written, 224..239 never read.
#pragma once

#include <string>

#include "config/config_image.h"
#include "link/module_link.h"

namespace dkq {

inline constexpr int BlockTries = 4;
inline constexpr int ReadBlockCount = 14;
inline constexpr int ReadBlockRegisters = 16;
inline constexpr int FirstWrittenRegister = 4;
inline constexpr int FirstWriteRegisters = 4;
inline constexpr int WriteBlockRegisters = 8;
inline constexpr int WriteBlockCount = ConfigRegisterCount / WriteBlockRegisters;  // 0..29

// The main window's progress bar, or dkq's progress on stderr.
class TransferProgress {
  public:
    virtual ~TransferProgress() = default;
    virtual void setRange(int maximum) = 0;
    virtual void setPosition(int position) = 0;
};

struct TransferResult {
    int failedBlock = -1;  // -1: every block went through
    int code = 0;          // transaction code of the last attempt
    bool ok() const { return failedBlock < 0; }
};

// Reads into the image block by block; blocks after a failed one keep what
// the image held.
TransferResult ReadConfigFromModule(ModuleLink& link, int address, ConfigImage& image,
                                    TransferProgress& progress);
TransferResult WriteConfigToModule(ModuleLink& link, int address, const ConfigImage& image,
                                   TransferProgress& progress);

// "Konfiguracja odczytana z modułu." or "Błąd przy odczycie bloku %d !"
std::string readTransferMessage(const TransferResult& result);
// "Konfiguracja zapisana do modułu.", "Błąd przy zapisie blokuUU %d !" for
// the first block, "Błąd przy zapisie bloku %d !" for the others.
std::string writeTransferMessage(const TransferResult& result);

inline constexpr const char* PortNotConnectedMessage = "Port niepołączony !";

}  // namespace dkq
