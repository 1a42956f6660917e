// Resources: the program's own user-visible texts and the string table.
// Sources are UTF-8; txt() and string_table() give Windows-1250, converted once.
#pragma once
#include <string>

#include "text/format_text.h"

namespace kc {

enum class Txt {
    // Status line (control 556).
    StatusDisconnected,      // "ROZŁĄCZONY"
    StatusTestMode,          // "TRYB TESTU"
    StatusConnected,         // "POŁĄCZONY"
    StatusTestModeScript,    // "TRYB TESTU SKRYPTU"
    StatusConnectedScript,   // "POŁĄCZONY SKRYPT"
    StatusTransmissionError, // "BŁĄD TRANSMISJI"
    // Message boxes.
    MsgDisconnected,         // "Rozłączony !     " (five blanks)
    MsgNotConnectedPanel,    // "Nie połączony !   " (three blanks)
    MsgNotConnected,         // "Nie połączony !"
    MsgAutoBacklight,        // "Automatyczne załączanie podświetlania.\n..."
    MsgScriptOpenFailed,     // "Błąd otwarcia skryptu"
    MsgCloseQuestion,        // "Czy zamknąć program?"
    MsgSettingsFailed,       // "Settings failed!"
    MsgCannotOpenPort,       // "Nie można otworzyć portu " (followed by the port name)
    MsgEventFailed,          // "Failed to create event for thread!"
    CaptionError,            // "Błąd"
    CaptionProgram,          // "Kavor Cen"
    CaptionTtyError,         // "TTY Error!"
    // Buttons.
    ButtonStart,             // "Start"
    ButtonStop,              // "Stop"
    // File chooser filters.
    FilterText,              // "Pliki Tekstowe"
    FilterAll,               // "Wszystkie Pliki (*.*)"
    TrayTip,                 // "Kavor Cen"
    // Program settings dialog: a caption the settings file cannot keep; "%d" is the row.
    MsgBadPriceCaption,      // "Opis ceny %d nie może być pusty ani zawierać spacji."
    // Why a file could not be written (storage/safe_file).
    FileErrReadOnly,         // "folder jest tylko do odczytu"
    FileErrNoPermission,     // "brak uprawnień do zapisu"
    FileErrDiskFull,         // "brak miejsca na dysku"
    FileErrIsFolder,         // "w miejscu pliku jest folder"
    FileErrOther,            // "błąd zapisu"
    MsgBadLinesInFile,       // "Plik %s: pominięto błędne wiersze: %s" (file, line numbers)

    // -- Connection: port discovery, open failures, reconnect, saves.
    ConnOpenFailed,           // "Nie można otworzyć portu %s (urządzenie %s)."
    ConnMissing,              // "Nie ma takiego urządzenia: adapter jest odłączony albo port "
    ConnPresentList,          // "Obecne porty szeregowe:"
    ConnNonePresent,          // "Nie znaleziono żadnego portu szeregowego."
    ConnPickDevice,           // "Urządzenie portu wybierzesz w „Ustawieniach transmisji” (Urz"
    ConnNoPermission,         // "Brak uprawnień do urządzenia."
    ConnNotInGroup,           // "Urządzenia może używać grupa „%s”, a użytkownik %s do niej n"
    ConnRelogin,              // "Użytkownik %s należy już do grupy „%s”, ale to logowanie jes"
    ConnInGroup,              // "Użytkownik należy do grupy „%s”, a mimo to system odmówił do"
    ConnBusyBy,               // "Port jest zajęty przez inny program: %s. Zamknij go i połącz"
    ConnBusy,                 // "Port jest zajęty przez inny program. Zamknij go i połącz pon"
    ConnNotSerial,            // "To nie jest port szeregowy (plik, folder albo inne urządzeni"
    ConnOther,                // "Błąd systemu: %s."
    ConnNoAnswer,             // "Wieża nie odpowiada na porcie %s (urządzenie %s)."
    ConnLost,                 // "Połączenie przerwane: urządzenie %s portu %s zniknęło."
    ConnLostWillReconnect,    // "Program połączy się ponownie sam, gdy urządzenie wróci."
    ConnLostReconnectOff,     // "Podłącz je ponownie i wybierz „Połącz”."
    ConnSaveFailed,           // "Nie zapisano ustawień w pliku %s: %s."
    ConnLogFailed,            // "Nie można zapisać dziennika %s: %s."
    ConnLinkFailed,           // "Nie można ustawić urządzenia portu %s: %s."
    ConnBuiltIn,              // "Port wbudowany"
    ConnSerialNumber,         // "nr"

    // -- Price confirmation, journal and schedule.
    PricePanelConfirmed,      // "Potwierdzone przez wieżę %s"
    PricePanelMismatch,       // "Wieża pokazuje inne ceny: %s"
    PricePanelNotConfirmed,   // "Nie potwierdzono"
    PricePanelGivenUp,        // "Wieża nie przyjęła cen"
    PricePanelAcknowledged,   // "Przyjęte przez wieżę %s, bez potwierdzenia"
    PriceMismatchCaption,     // "Wieża pokazuje inne ceny"
    PriceMismatchLine,        // "Cena %d (%s): wysłano %s, wieża pokazuje %s"
    PriceBlinking,            // "mruga"
    PriceSteady,              // "nie mruga"
    PriceBlank,               // "puste pole" (a field that shows nothing)
    PriceReasonNoAnswer,      // "wieża nie odpowiedziała na odczyt cen"
    PriceReasonLinkClosed,    // "połączenie zamknięte"
    PriceReasonSuperseded,    // "zastąpione nowszymi cenami"
    PriceReasonScript,        // "działa skrypt, potwierdzenie pominięte"
    PriceReasonOff,           // "potwierdzanie wyłączone"
    PriceReasonSendFailed,    // "wieża nie przyjęła polecenia"
    PriceRefusedNotConnected, // "Nie połączony: ceny nie zostały wysłane."
    PriceRefusedTestMode,     // "Tryb testu: ceny nie zostały wysłane."
    PriceRefusedScript,       // "Działa skrypt: ceny nie zostały wysłane."
    PriceTooLong,             // "Cena %d: więcej niż 6 znaków."
    PriceBadCharacter,        // "Cena %d: dozwolone są tylko cyfry, kropka, minus i spacja."
    OutcomeAcknowledged,      // "przyjęte"
    OutcomeConfirmed,         // "potwierdzone"
    OutcomeMismatch,          // "niezgodne"
    OutcomeNotConfirmed,      // "niepotwierdzone"
    OutcomeGivenUp,           // "porzucone"
    OutcomeReadBack,          // "odczytane"
    OutcomeScriptStarted,     // "start"
    OutcomeScriptStopped,     // "stop"
    MsgFileSetAside,          // "Nie można odczytać pliku %s; zachowano go jako %s."
    MsgJournalWriteFailed,    // "Nie można zapisać historii cen w pliku %s: %s."
    MsgScheduleWriteFailed,   // "Nie można zapisać harmonogramu cen: %s"
    MsgScheduleLateApplied,   // "Zastosowano zaległą zmianę cen zaplanowaną na %s."
    MsgScheduleLateSkipped,   // "Pominięto starsze zaległe zmiany cen: %d."
    MsgScheduleBadTime,       // "Podaj datę jako RRRR-MM-DD (lub pustą dla codziennie) i godzinę jako GG:MM."
    MsgScheduleNoSelection,   // "Wybierz zmianę z listy."
    MsgScheduleNoPrices,      // "Podaj co najmniej jedną cenę."
    PriceMismatchAdvice,      // "Krótsza cena nie gasi dalszych miejsc: aby je wygasić, dopisz spacje (np. „12 ”)."
    MsgHistoryBadDate,        // "Podaj datę jako RRRR-MM-DD lub zostaw pole puste."
    ScheduleDaily,            // "codziennie"

    // -- Head office link.
    HoReasonTooLarge,        // "wiadomość jest za duża"
    HoReasonNotJson,         // "wiadomość nie jest poprawnym JSON"
    HoReasonNotObject,       // "wiadomość nie jest obiektem JSON"
    HoReasonDuplicateKey,    // "pole występuje dwa razy"
    HoReasonUnknownField,    // "nieznane pole"
    HoReasonMissingField,    // "brak pola"
    HoReasonWrongType,       // "pole ma zły typ"
    HoReasonBadId,           // "zły identyfikator zmiany"
    HoReasonWrongStation,    // "zmiana dla innej stacji"
    HoReasonWrongCount,      // "potrzeba dokładnie pięciu wartości"
    HoReasonPriceTooLong,    // "cena dłuższa niż 6 znaków"
    HoReasonPriceBadCharacter,// "cena ze znakiem, którego wieża nie pokaże"
    HoReasonBadTime,         // "zły czas zmiany"
    HoLinkConnecting,        // "Centrala: łączenie z %s..."
    HoLinkConnected,         // "Centrala: połączono z %s"
    HoLinkUnreachable,       // "Centrala: brak połączenia z %s (%s), ponowna próba za %d s"
    HoLinkRefused,           // "Centrala: serwer %s odmówił połączenia: %s"
    HoLinkBadLogin,          // "złe hasło lub użytkownik"
    HoCaFileUnreadable,      // "nie można odczytać pliku CA %s"
    HoLinkOff,               // "Centrala: wyłączona, %s"
    HoPasswordFileOpen,      // "plik hasła %s może czytać ktoś poza właścicielem (popraw: chmod 600)"
    HoPasswordFileUnreadable,// "nie można odczytać pliku hasła %s"
    HoNoCaFile,              // "brak pliku CA do szyfrowania (head_office_ca_file)"
    HoBadStation,            // "zły identyfikator stacji (head_office_station)"
    HoBadBroker,             // "zły adres serwera (head_office_broker, HOST:PORT)"
    HoChangeLine,            // "Centrala %s: zmiana %s %s"
    HoOutcomeScheduled,      // "zaplanowana na %s"
    HoOutcomeAcknowledged,   // "przyjęta przez wieżę"
    HoOutcomeConfirmed,      // "potwierdzona przez wieżę"
    HoOutcomeMismatch,       // "wieża pokazuje inne ceny w polach %s"
    HoOutcomeNotConfirmed,   // "niepotwierdzona: %s"
    HoOutcomeGivenUp,        // "wieża nie przyjęła zmiany"
    HoOutcomeRefused,        // "odrzucona: %s"
    HoOutcomeDuplicate,      // "powtórzona, pominięta"
    HoOutcomeLate,           // "spóźniona"
    HoErrRefused,            // "serwer nie przyjmuje połączeń"
    HoErrUnreachable,        // "serwer nieosiągalny"
    HoErrTls,                // "błąd TLS, sprawdź plik CA i nazwę serwera"
    HoErrLookup,             // "nieznana nazwa serwera"
    HoErrLost,               // "połączenie zerwane"
    // -- Head office link: refusals, ids file, login and session faults.
    HoReasonQueueFull,       // "za dużo zmian czeka na swój czas"
    HoReasonTooFarAhead,     // "czas zmiany za daleko w przyszłości"
    HoReasonRetained,        // "wiadomość zapamiętana na serwerze (retained), pominięta"
    HoReasonShuttingDown,    // "program kończy pracę, wyślij zmianę ponownie"
    HoIdsFileSkipped,        // "Centrala: w pliku %s pominięto złe wiersze: %s"
    HoIdsFileWriteFailed,    // "nie można zapisać pliku %s: %s"
    HoSubscribeRefused,      // "serwer nie pozwolił odbierać zmian dla stacji %s"
    HoErrTakenOver,          // "inna stacja używa identyfikatora %s"
    HoPasswordFileEmpty,     // "plik hasła %s jest pusty"
    HoPasswordFileOwner,     // "plik hasła %s należy do innego użytkownika"

    // -- Desktop: tray menu, command line.
    TrayShow,                // "Pokaż"
    TrayQuit,                // "Zakończ"
    CliDescription,          // the --help text's description of the program
    CliHelp,                 // "Wyświetla tę pomoc i kończy."
    CliVersion,              // "Wyświetla wersję i kończy."
    CliUnknownOption,        // "Nieznany argument: " (before the argument)

    // -- Windows host.
    ConnMissingWin,          // a COM port Windows does not have
    ConnPickPortWin,         // where the operator picks another COM number
    ConnBusyWin,             // a port refused as access denied: another program holds it
    ConnErrorCode,           // "%s (kod %s)": a system message with its number

    // -- Work without an operator.
    StartWaitMissing,        // the panel line while the start waits for a missing device
    StartWaitRetrying,       // ... for a device that is there but cannot be opened yet
    MsgBadWatchPeriod,       // the watch period is not 0..1440 minutes
    MsgAutostartFailed,      // "Nie można zmienić uruchamiania przy logowaniu (%s): %s."
    // -- Wording: parity names in messages, the About box, root-only devices, file trouble.
    ParityNameNone,          // "brak"
    ParityNameOdd,           // "nieparzysta"
    ParityNameEven,          // "parzysta"
    ParityNameMark,          // "znacznik"
    ParityNameSpace,         // "odstęp"
    AboutUnknown,            // "—": a controller version not read yet
    ConnOwnerOnly,           // a device its group may not use: give it to a group by a udev rule
    FileTroubleMany,         // "Nie można zapisać plików %s: %s." (one cause, several files)
    FileTroubleManyIn,       // "Nie można zapisać plików %s w folderze %s: %s."
    FileTroubleLater,        // what happens next: the program tries again at the next write
    // -- Files: one left alone because it could not be opened, a password others can read.
    MsgFileNotOpened,        // "Nie można otworzyć pliku %s (%s); pozostaje bez zmian."
    MsgSettingsPasswordOpen, // "Plik %s zawiera hasło centrali i może go czytać ktoś ..."
    // -- Sign watch: the panel line and the details of its events and of the link's.
    WatchPanelDiffers,       // "Wieża pokazuje inne ceny niż potwierdzone (%s)" (HH:MM)
    WatchEventDiffers,       // the fields that differ ("2, 4")
    WatchEventRestored,      // the confirmed prices are on the sign again
    WatchEventRestoreLimit,  // three restores this hour: only reports from now
    LinkEventUp,             // "Połączono z wieżą: %s (%s)" (COM name, device)
    LinkEventLost,           // the device went away
    LinkEventDisconnected,   // "Rozłącz"
    LinkEventTestMode,       // "Test" while connected
    // -- Settings dialog "Centrala": validation, the kept password, the connection check.
    CentralaPasswordKept,    // a password is kept; the field stays empty
    CentralaBadStation,      // refused station id
    CentralaBadBroker,       // refused broker address
    CentralaNoCaFile,        // no CA file with the link on
    CentralaCaMissing,       // the CA file named is not there
    CentralaNoPasswordStore, // a host without a password store
    CentralaPasswordFailed,  // the password store refused; %s the file, %s why
    CentralaPasswordUnreadable,// the kept password for the check
    FilterCertificates,      // file chooser filter for the CA file
    CheckRunning,            // the check started
    CheckSubscribed,         // connected and subscribed
    CheckUnreachable,        // broker not reached; %s the system's reason
    CheckTlsUntrusted,       // certificate not trusted
    CheckCaUnreadable,       // CA file unreadable
    CheckLoginRefused,       // login refused
    CheckNotAuthorised,      // not authorised for the topics
    CheckTimedOut,           // no answer in time
    CheckFailed,             // any other failure
    CheckUnavailable,        // a build without the link
    // -- Head office on Windows: the password kept with the user's data protection.
    HoPasswordNotProtected,  // "nie można zaszyfrować hasła centrali (błąd Windows %s)"
    HoPasswordOtherUser,     // "plik hasła %s zaszyfrował inny użytkownik lub komputer; ..."
    HoPasswordNoStore,       // "ten program nie ma gdzie przechować hasła centrali"
    HoPasswordNotSaved,      // "nie można zapisać pliku hasła %s: %s"
    // -- Head office: changes that wait for the sign, station events.
    HoHeldFileHeader,        // first line of the file of the waiting change
    HoOutcomeHeld,           // "czeka na wieżę (%s)"
    HoHeldTestMode,          // "tryb testu"
    HoHeldDisconnected,      // "brak połączenia z wieżą"
    HoHeldScript,            // "działa skrypt"
    HoOutcomeSuperseded,     // "zastąpiona nowszą zmianą %s"
    HoHeldFileBad,           // "Centrala: plik %s jest uszkodzony; czekająca zmiana pominięta"
    HoEventSignNoAnswer,     // "wieża nie odpowiada"
    HoEventSignAnswers,      // "wieża znów odpowiada"
    HoChangeStillWaiting,    // "; zmiana %s nadal czeka na wieżę"
    // -- Windows devices: an adapter that Windows gave another COM number.
    PortMoved,               // "Adapter z %s ma teraz numer %s: port zmieniony."

    TxtCount                 // keep last: the number of texts
};

const std::string& txt(Txt id);

// The text `id` with each "%s" filled by the next argument: the one way a text is filled.
template <class... S>
std::string fill(Txt id, const S&... args) {
    return format_text(txt(id), args...);
}

// String table entries 784 ("COM"), 800..812 (speeds), 816..820 (parities),
// 832..834 (stop bits); empty for an unknown id.
const std::string& string_table(int id);

}  // namespace kc
