#include "multimon/monitor_messages.h"

#include "link/result_codes.h"
#include "monitor/measurement.h"

namespace dkq {

std::string openFailureText(int code, const MonitorSettings& settings) {
    if (settings.useTcp == 0)
        return "Błąd otwarcia portu COM" + std::to_string(settings.comPort) + " !";
    switch (code) {
        case open::ConnectTimeout:
            return "Błąd połączenia w sieci !\nAdres IP (" + settings.ipAddress + ":" +
                   std::to_string(settings.tcpPort) + ") nie odpowiada.";
        case open::NetworkFailed:
            return "Błąd inicjacji biblioteki WinSock";
        case open::SocketFailed:
            return "Błąd tworzenia socketa";
        case open::IoctlFailed:
            return "Błąd funkcji ioctlsocket()";
        default:
            return "Błąd (" + std::to_string(code) + ") połączenia TCP/IP";
    }
}

std::string diagnosticsFailureText(int code, bool tcp, int module) {
    const std::string letter(1, moduleLetter(module));
    if (!tcp)
        return "Nie odebrano odpowiedzi z modułu " + letter + "!\n(Próba odczytu diagnostyki)";
    switch (code) {
        case tx::NoAnswer:
            return "Brak odpowiedzi z modułu " + letter + "!\n(Przekroczono czas oczekiwania)";
        case tx::BadLength:
            return "Nieprawidłowa długość odpowiedzi z modułu " + letter + ".";
        case tx::PeerClosed:
            return "Brak połączenia TCP/IP (moduł " + letter + ").";
        case tx::SendFailed:
            return "Przerwane połączenie TCP/IP (moduł " + letter + ")!";
        case tx::NoFrameStart:
            return "Nieprawidłowy format odpowiedzi Modbus (moduł " + letter + ").";
        case tx::LrcError:
            return "Błąd sumy kontrolnej w odpowiedzi Modbus (moduł " + letter + ").";
        case tx::NotOpen:
            return "Zerwane połączenie TCP/IP (moduł " + letter + ")!";
        default:
            return "Błąd (" + std::to_string(code) + ") połączenia TCP/IP z modułem " + letter +
                   "!";
    }
}

std::string lostRecordsText(std::size_t count) {
    return "Utracono pomiary, których nie udało się zapisać do pliku: " + std::to_string(count) +
           ".";
}

}  // namespace dkq
