// The fixed texts the record memory reader shows the user.
#pragma once

namespace dkq::logger::text {

// Opening the line.
inline constexpr const char* PortOpenFailed = "Błąd otwarcia portu COM%d !";
inline constexpr const char* NetworkNoAnswer =
    "Błąd połączenia w sieci !\nAdres IP (%s:%d) nie odpowiada.";
inline constexpr const char* WinSockFailed = "Błąd inicjacji biblioteki WinSock";
inline constexpr const char* SocketFailed = "Błąd tworzenia socketa";
inline constexpr const char* IoctlFailed = "Błąd funkcji ioctlsocket()";
inline constexpr const char* TcpFailed = "Błąd (%d) połączenia TCP/IP";

// The status request.
inline constexpr const char* TcpLinkLost = "Połączenie TCP/IP zostało zerwane!";
inline constexpr const char* SerialLinkLost = "Połączenie zostało zerwane!";
inline constexpr const char* NoStatusAnswer = "Brak odpowiedzi S z modułu!";
inline constexpr const char* StatusUnknownFormat = "Nierozpoznany format odpowiedzi S!";
inline constexpr const char* StatusWrongLength = "Niewłaściwa długość odpowiedzi S!";
inline constexpr const char* StatusDamaged = "Błąd w odpowiedzi S!";
inline constexpr const char* NotConnected = "Brak połączenia z modułem!";

// Module commands.
inline constexpr const char* AskClear =
    "Czy na pewno chcesz skasować\nzawartość pamięci w module ?";
inline constexpr const char* Cleared = "Zawartość pamięci skasowana.";
inline constexpr const char* NotConfirmed = "Brak potwierdzenia.";
inline constexpr const char* AskSetClock =
    "Czy ustawić zegar modułu zgodnie \nz zegarem systemowym komputera PC ?";
inline constexpr const char* ClockSet = "Zegar ustawiony.";
inline constexpr const char* AskChangeItems =
    "Czy na pewno chcesz zmienić ustawienia rejestracji ?\n\nPo zmianie listy logowanych "
    "rejestrów\nnie będzie możliwy odczyt wcześniej zapisanych danych!";
inline constexpr const char* SettingsSent = "Ustawienia przesłane.";
inline constexpr const char* ClearAfterItemsChange =
    "UWAGA!\n\nTeraz należy skasować zawartość pamięci\nprzyciskiem \"Skasuj pamięć\" !";

// The download.
inline constexpr const char* NoRecords = "Brak danych do odczytania z modułu";
inline constexpr const char* UnusableRecordLength =
    "Nieobsługiwana długość rekordu (%d B) w odpowiedzi S!\nOdczyt danych nie został rozpoczęty.";
inline constexpr const char* FileOpenFailed = "Błąd otwarcia pliku do zapisu.";
inline constexpr const char* FileWriteFailed = "Błąd zapisu do pliku.";
inline constexpr const char* NoData = "Moduł nie odsyła danych!";
inline constexpr const char* RecordUnknownFormat = "Nierozpoznany format odpowiedzi R!";
inline constexpr const char* RecordWrongLength = "Niewłaściwa długość odpowiedzi R!";
inline constexpr const char* Finished =
    "Transfer zakończony.\nPrzesłano %lld rekordów w czasie %lld s\nLiczba powtórzeń "
    "transmisji: %d\nLiczba niepoprawnych rekordów: %d";
inline constexpr const char* FinishedWithRate =
    "Transfer zakończony.\nPrzesłano %lld rekordów w czasie %lld s (%4.1f rek/s)\nLiczba "
    "powtórzeń transmisji: %d\nLiczba niepoprawnych rekordów: %d";
inline constexpr const char* OlderRecordsSkipped = "\nPominięto końcowe starsze rekordy.";

}  // namespace dkq::logger::text
