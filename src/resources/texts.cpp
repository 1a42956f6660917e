// Resources: the texts of texts.h, kept in UTF-8 and converted to Windows-1250 once.
#include "resources/texts.h"

#include <map>
#include <mutex>
#include <vector>

#include "text/cp1250.h"

namespace kc {
namespace {

const char* utf8_text(Txt id) {
    switch (id) {
        case Txt::StatusDisconnected: return "ROZŁĄCZONY";
        case Txt::StatusTestMode: return "TRYB TESTU";
        case Txt::StatusConnected: return "POŁĄCZONY";
        case Txt::StatusTestModeScript: return "TRYB TESTU SKRYPTU";
        case Txt::StatusConnectedScript: return "POŁĄCZONY SKRYPT";
        case Txt::StatusTransmissionError: return "BŁĄD TRANSMISJI";
        case Txt::MsgDisconnected: return "Rozłączony !     ";
        case Txt::MsgNotConnectedPanel: return "Nie połączony !   ";
        case Txt::MsgNotConnected: return "Nie połączony !";
        case Txt::MsgAutoBacklight:
            return "Automatyczne załączanie podświetlania.\nOdznacz tą opcje w Ustawieniach,\naby załączać oświetlenie ręcznie !";
        case Txt::MsgScriptOpenFailed: return "Błąd otwarcia skryptu";
        case Txt::MsgCloseQuestion: return "Czy zamknąć program?";
        case Txt::MsgSettingsFailed: return "Settings failed!";
        case Txt::MsgCannotOpenPort: return "Nie można otworzyć portu ";
        case Txt::MsgEventFailed: return "Failed to create event for thread!";
        case Txt::CaptionError: return "Błąd";
        case Txt::CaptionProgram: return "Kavor Cen";
        case Txt::CaptionTtyError: return "TTY Error!";
        case Txt::ButtonStart: return "Start";
        case Txt::ButtonStop: return "Stop";
        case Txt::FilterText: return "Pliki Tekstowe";
        case Txt::FilterAll: return "Wszystkie Pliki (*.*)";
        case Txt::TrayTip: return "Kavor Cen";
        case Txt::MsgBadPriceCaption: return "Opis ceny %d nie może być pusty ani zawierać spacji.";
        case Txt::FileErrReadOnly: return "folder jest tylko do odczytu";
        case Txt::FileErrNoPermission: return "brak uprawnień do zapisu";
        case Txt::FileErrDiskFull: return "brak miejsca na dysku";
        case Txt::FileErrIsFolder: return "w miejscu pliku jest folder";
        case Txt::FileErrOther: return "błąd zapisu";
        case Txt::MsgBadLinesInFile: return "Plik %s: pominięto błędne wiersze: %s";

        // -- Connection: port discovery, open failures, reconnect, saves.
        case Txt::ConnOpenFailed: return "Nie można otworzyć portu %s (urządzenie %s).";
        case Txt::ConnMissing: return "Nie ma takiego urządzenia: adapter jest odłączony albo port wskazuje inne urządzenie.";
        case Txt::ConnPresentList: return "Obecne porty szeregowe:";
        case Txt::ConnNonePresent: return "Nie znaleziono żadnego portu szeregowego.";
        case Txt::ConnPickDevice: return "Urządzenie portu wybierzesz w „Ustawieniach transmisji” (Urządzenie :).";
        case Txt::ConnNoPermission: return "Brak uprawnień do urządzenia.";
        case Txt::ConnNotInGroup: return "Urządzenia może używać grupa „%s”, a użytkownik %s do niej nie należy. Dodaj go poleceniem:\nsudo usermod -aG %s %s\ni zaloguj się ponownie.";
        case Txt::ConnRelogin: return "Użytkownik %s należy już do grupy „%s”, ale to logowanie jest starsze niż to członkostwo: wyloguj się i zaloguj ponownie.";
        case Txt::ConnInGroup: return "Użytkownik należy do grupy „%s”, a mimo to system odmówił dostępu: sprawdź prawa do urządzenia.";
        case Txt::ConnBusyBy: return "Port jest zajęty przez inny program: %s. Zamknij go i połącz ponownie.";
        case Txt::ConnBusy: return "Port jest zajęty przez inny program. Zamknij go i połącz ponownie.";
        case Txt::ConnNotSerial: return "To nie jest port szeregowy (plik, folder albo inne urządzenie).";
        case Txt::ConnOther: return "Błąd systemu: %s.";
        case Txt::ConnNoAnswer: return "Wieża nie odpowiada na porcie %s (urządzenie %s).\nPróbowano: %s bit/s, bity danych %s, parzystość %s, bity stopu %s.\nSprawdź kabel i konwerter oraz czy ustawienia linii zgadzają się z ustawieniami wieży.";
        case Txt::ConnLost: return "Połączenie przerwane: urządzenie %s portu %s zniknęło.";
        case Txt::ConnLostWillReconnect: return "Program połączy się ponownie sam, gdy urządzenie wróci.";
        case Txt::ConnLostReconnectOff: return "Podłącz je ponownie i wybierz „Połącz”.";
        case Txt::ConnSaveFailed: return "Nie zapisano ustawień w pliku %s: %s.\nUstawienia obowiązują do zamknięcia programu.";
        case Txt::ConnLogFailed: return "Nie można zapisać dziennika %s: %s.\nProgram będzie próbował przy kolejnych wpisach.";
        case Txt::ConnLinkFailed: return "Nie można ustawić urządzenia portu %s: %s.";
        case Txt::ConnBuiltIn: return "Port wbudowany";
        case Txt::ConnSerialNumber: return "nr";

        // -- Price confirmation, journal and schedule.
        case Txt::PricePanelConfirmed: return "Potwierdzone przez wieżę %s";
        case Txt::PricePanelMismatch: return "Wieża pokazuje inne ceny: %s";
        case Txt::PricePanelNotConfirmed: return "Nie potwierdzono";
        case Txt::PricePanelGivenUp: return "Wieża nie przyjęła cen";
        case Txt::PricePanelAcknowledged: return "Przyjęte przez wieżę %s, bez potwierdzenia";
        case Txt::PriceMismatchCaption: return "Wieża pokazuje inne ceny";
        case Txt::PriceMismatchLine: return "Cena %d (%s): wysłano %s, wieża pokazuje %s";
        case Txt::PriceBlinking: return "mruga";
        case Txt::PriceSteady: return "nie mruga";
        case Txt::PriceBlank: return "puste pole";
        case Txt::PriceReasonNoAnswer: return "wieża nie odpowiedziała na odczyt cen";
        case Txt::PriceReasonLinkClosed: return "połączenie zamknięte";
        case Txt::PriceReasonSuperseded: return "zastąpione nowszymi cenami";
        case Txt::PriceReasonScript: return "działa skrypt, potwierdzenie pominięte";
        case Txt::PriceReasonOff: return "potwierdzanie wyłączone";
        case Txt::PriceReasonSendFailed: return "wieża nie przyjęła polecenia";
        case Txt::PriceRefusedNotConnected: return "Nie połączony: ceny nie zostały wysłane.";
        case Txt::PriceRefusedTestMode: return "Tryb testu: ceny nie zostały wysłane.";
        case Txt::PriceRefusedScript: return "Działa skrypt: ceny nie zostały wysłane.";
        case Txt::PriceTooLong: return "Cena %d: więcej niż 6 znaków.";
        case Txt::PriceBadCharacter: return "Cena %d: dozwolone są tylko cyfry, kropka, minus i spacja.";
        case Txt::OutcomeAcknowledged: return "przyjęte";
        case Txt::OutcomeConfirmed: return "potwierdzone";
        case Txt::OutcomeMismatch: return "niezgodne";
        case Txt::OutcomeNotConfirmed: return "niepotwierdzone";
        case Txt::OutcomeGivenUp: return "porzucone";
        case Txt::OutcomeReadBack: return "odczytane";
        case Txt::OutcomeScriptStarted: return "start";
        case Txt::OutcomeScriptStopped: return "stop";
        case Txt::MsgFileSetAside: return "Nie można odczytać pliku %s; zachowano go jako %s.";
        case Txt::MsgJournalWriteFailed: return "Nie można zapisać historii cen w pliku %s: %s.";
        case Txt::MsgScheduleWriteFailed: return "Nie można zapisać harmonogramu cen: %s";
        case Txt::MsgScheduleLateApplied: return "Zastosowano zaległą zmianę cen zaplanowaną na %s.";
        case Txt::MsgScheduleLateSkipped: return "Pominięto starsze zaległe zmiany cen: %d.";
        case Txt::MsgScheduleBadTime: return "Podaj datę jako RRRR-MM-DD (lub pustą dla codziennie) i godzinę jako GG:MM.";
        case Txt::MsgScheduleNoSelection: return "Wybierz zmianę z listy.";
        case Txt::MsgScheduleNoPrices: return "Podaj co najmniej jedną cenę.";
        case Txt::PriceMismatchAdvice: return "Krótsza cena nie gasi dalszych miejsc: aby je wygasić, dopisz spacje (np. „12 ”).";
        case Txt::MsgHistoryBadDate: return "Podaj datę jako RRRR-MM-DD lub zostaw pole puste.";
        case Txt::ScheduleDaily: return "codziennie";

        // -- Head office link.
        case Txt::HoReasonTooLarge: return "wiadomość jest za duża";
        case Txt::HoReasonNotJson: return "wiadomość nie jest poprawnym JSON";
        case Txt::HoReasonNotObject: return "wiadomość nie jest obiektem JSON";
        case Txt::HoReasonDuplicateKey: return "pole występuje dwa razy";
        case Txt::HoReasonUnknownField: return "nieznane pole";
        case Txt::HoReasonMissingField: return "brak pola";
        case Txt::HoReasonWrongType: return "pole ma zły typ";
        case Txt::HoReasonBadId: return "zły identyfikator zmiany";
        case Txt::HoReasonWrongStation: return "zmiana dla innej stacji";
        case Txt::HoReasonWrongCount: return "potrzeba dokładnie pięciu wartości";
        case Txt::HoReasonPriceTooLong: return "cena dłuższa niż 6 znaków";
        case Txt::HoReasonPriceBadCharacter: return "cena ze znakiem, którego wieża nie pokaże";
        case Txt::HoReasonBadTime: return "zły czas zmiany";
        case Txt::HoLinkConnecting: return "Centrala: łączenie z %s...";
        case Txt::HoLinkConnected: return "Centrala: połączono z %s";
        case Txt::HoLinkUnreachable: return "Centrala: brak połączenia z %s (%s), ponowna próba za %d s";
        case Txt::HoLinkRefused: return "Centrala: serwer %s odmówił połączenia: %s";
        case Txt::HoLinkBadLogin: return "złe hasło lub użytkownik";
        case Txt::HoCaFileUnreadable: return "nie można odczytać pliku CA %s";
        case Txt::HoLinkOff: return "Centrala: wyłączona, %s";
        case Txt::HoPasswordFileOpen: return "plik hasła %s może czytać ktoś poza właścicielem (popraw: chmod 600)";
        case Txt::HoPasswordFileUnreadable: return "nie można odczytać pliku hasła %s";
        case Txt::HoNoCaFile: return "brak pliku CA do szyfrowania (head_office_ca_file)";
        case Txt::HoBadStation: return "zły identyfikator stacji (head_office_station)";
        case Txt::HoBadBroker: return "zły adres serwera (head_office_broker, HOST:PORT)";
        case Txt::HoChangeLine: return "Centrala %s: zmiana %s %s";
        case Txt::HoOutcomeScheduled: return "zaplanowana na %s";
        case Txt::HoOutcomeAcknowledged: return "przyjęta przez wieżę";
        case Txt::HoOutcomeConfirmed: return "potwierdzona przez wieżę";
        case Txt::HoOutcomeMismatch: return "wieża pokazuje inne ceny w polach %s";
        case Txt::HoOutcomeNotConfirmed: return "niepotwierdzona: %s";
        case Txt::HoOutcomeGivenUp: return "wieża nie przyjęła zmiany";
        case Txt::HoOutcomeRefused: return "odrzucona: %s";
        case Txt::HoOutcomeDuplicate: return "powtórzona, pominięta";
        case Txt::HoOutcomeLate: return "spóźniona";
        case Txt::HoErrRefused: return "serwer nie przyjmuje połączeń";
        case Txt::HoErrUnreachable: return "serwer nieosiągalny";
        case Txt::HoErrTls: return "błąd TLS, sprawdź plik CA i nazwę serwera";
        case Txt::HoErrLookup: return "nieznana nazwa serwera";
        case Txt::HoErrLost: return "połączenie zerwane";
        // -- Head office link: refusals, ids file, login and session faults.
        case Txt::HoReasonQueueFull: return "za dużo zmian czeka na swój czas";
        case Txt::HoReasonTooFarAhead: return "czas zmiany za daleko w przyszłości";
        case Txt::HoReasonRetained: return "wiadomość zapamiętana na serwerze (retained), pominięta";
        case Txt::HoReasonShuttingDown: return "program kończy pracę, wyślij zmianę ponownie";
        case Txt::HoIdsFileSkipped: return "Centrala: w pliku %s pominięto złe wiersze: %s";
        case Txt::HoIdsFileWriteFailed: return "nie można zapisać pliku %s: %s";
        case Txt::HoSubscribeRefused: return "serwer nie pozwolił odbierać zmian dla stacji %s";
        case Txt::HoErrTakenOver: return "inna stacja używa identyfikatora %s";
        case Txt::HoPasswordFileEmpty: return "plik hasła %s jest pusty";
        case Txt::HoPasswordFileOwner: return "plik hasła %s należy do innego użytkownika";

        // -- Desktop: tray menu, command line.
        case Txt::TrayShow: return "Pokaż";
        case Txt::TrayQuit: return "Zakończ";
        case Txt::CliDescription:
            return "Kavor Cen: program operatora cenowego znaku LED stacji paliw.\n"
                   "Plik ustawień KavorCen.ini i dzienniki są w bieżącym folderze.";
        case Txt::CliHelp: return "Wyświetla tę pomoc i kończy.";
        case Txt::CliVersion: return "Wyświetla wersję i kończy.";
        case Txt::CliUnknownOption: return "Nieznany argument: ";

        // -- Windows host.
        case Txt::ConnMissingWin: return "Nie ma takiego portu: adapter jest odłączony albo Windows nadał mu inny numer COM.";
        case Txt::ConnPickPortWin: return "Port wybierzesz w „Ustawieniach transmisji” (Port :).";
        case Txt::ConnBusyWin: return "Port jest zajęty przez inny program albo system odmówił do niego dostępu. Zamknij ten program i połącz ponownie.";
        case Txt::ConnErrorCode: return "%s (kod %s)";
        case Txt::MsgFileNotOpened: return "Nie można otworzyć pliku %s (%s); pozostaje bez zmian.";
        case Txt::MsgSettingsPasswordOpen:
            return "Plik %s zawiera hasło centrali i może go czytać ktoś poza właścicielem (popraw: chmod 600).";
        // -- Sign watch: the panel line and the details of its events and of the link's.
        case Txt::WatchPanelDiffers: return "Wieża pokazuje inne ceny niż potwierdzone (%s)";
        case Txt::WatchEventDiffers: return "Wieża pokazuje inne ceny niż potwierdzone: %s";
        case Txt::WatchEventRestored: return "Przywrócono potwierdzone ceny";
        case Txt::WatchEventRestoreLimit:
            return "Trzy przywrócenia w ciągu godziny: dalsze różnice są tylko zgłaszane";
        case Txt::LinkEventUp: return "Połączono z wieżą: %s (%s)";
        case Txt::LinkEventLost: return "Utracono połączenie z wieżą: %s (%s)";
        case Txt::LinkEventDisconnected: return "Rozłączono przez operatora";
        case Txt::LinkEventTestMode: return "Operator przełączył na tryb testu";

        // -- Work without an operator.
        case Txt::StartWaitMissing: return "Oczekiwanie na wieżę: brak urządzenia %s portu %s";
        case Txt::StartWaitRetrying: return "Oczekiwanie na wieżę: port %s (%s) jeszcze niedostępny";
        case Txt::MsgBadWatchPeriod: return "Sprawdzanie wieży: podaj liczbę minut od 1 do 1440 albo 0, aby nie sprawdzać.";
        case Txt::MsgAutostartFailed: return "Nie można zmienić uruchamiania przy logowaniu (%s): %s.";
        // -- Wording: parity names in messages, the About box, root-only devices, file trouble.
        case Txt::ParityNameNone: return "brak";
        case Txt::ParityNameOdd: return "nieparzysta";
        case Txt::ParityNameEven: return "parzysta";
        case Txt::ParityNameMark: return "znacznik";
        case Txt::ParityNameSpace: return "odstęp";
        case Txt::AboutUnknown: return "—";
        case Txt::ConnOwnerOnly:
            return "Urządzenia %s może używać tylko jego właściciel (%s); grupa „%s” nie ma do niego praw, "
                   "więc dołączenie do niej nie pomoże. Nadaj urządzenie grupie regułą udev, np. w pliku "
                   "/etc/udev/rules.d/70-kavor-cen.rules:\n"
                   "SUBSYSTEM==\"tty\", KERNEL==\"%s\", GROUP=\"dialout\", MODE=\"0660\"\n"
                   "potem: sudo udevadm control --reload && sudo udevadm trigger\n"
                   "Użytkownik musi należeć do grupy dialout (sudo usermod -aG dialout %s).";
        case Txt::FileTroubleMany: return "Nie można zapisać plików %s: %s.";
        case Txt::FileTroubleManyIn: return "Nie można zapisać plików %s w folderze %s: %s.";
        case Txt::FileTroubleLater: return "Program spróbuje ponownie przy kolejnym zapisie.";
        // -- Settings dialog "Centrala".
        case Txt::CentralaPasswordKept: return "hasło zapisane; puste pole go nie zmienia";
        case Txt::CentralaBadStation: return "Identyfikator stacji: od 1 do 64 znaków spośród A-Z, a-z, 0-9, _ i -.";
        case Txt::CentralaBadBroker:
            return "Adres serwera: podaj HOST:PORT, np. mqtt.firma.pl:8883 (adres IPv6 w nawiasach: [::1]:8883).";
        case Txt::CentralaNoCaFile:
            return "Plik CA serwera: wskaż certyfikat urzędu, który podpisał certyfikat serwera; bez niego ceny "
                   "nie pójdą szyfrowane.";
        case Txt::CentralaCaMissing: return "Plik CA serwera %s nie istnieje albo nie jest plikiem.";
        case Txt::CentralaNoPasswordStore: return "Ten program nie ma bezpiecznego miejsca na hasło; nic nie zapisano.";
        case Txt::CentralaPasswordFailed: return "Nie można zapisać hasła centrali (%s): %s";
        case Txt::CentralaPasswordUnreadable: return "Nie można odczytać zapisanego hasła: %s";
        case Txt::FilterCertificates: return "Certyfikaty (*.crt *.pem)";
        case Txt::CheckRunning: return "Sprawdzam połączenie z %s...";
        case Txt::CheckSubscribed: return "Połączono z %s i odbieranie zmian cen stacji %s jest dozwolone.";
        case Txt::CheckUnreachable: return "Serwer %s jest nieosiągalny: %s.";
        case Txt::CheckTlsUntrusted:
            return "Błąd TLS: plik CA nie potwierdza certyfikatu serwera %s (inny urząd albo inna nazwa serwera).";
        case Txt::CheckCaUnreadable: return "Błąd TLS: nie można odczytać pliku CA %s.";
        case Txt::CheckLoginRefused: return "Serwer %s odmówił logowania: zły użytkownik lub hasło.";
        case Txt::CheckNotAuthorised:
            return "Zalogowano, ale serwer nie pozwala użytkownikowi %s odbierać zmian stacji %s "
                   "(uprawnienia na serwerze).";
        case Txt::CheckTimedOut: return "Serwer %s nie odpowiedział w ciągu %s s.";
        case Txt::CheckFailed: return "Nie udało się połączyć z %s: %s.";
        case Txt::CheckUnavailable: return "Ten program nie umie sprawdzić połączenia z centralą.";
        // -- Head office on Windows: the password kept with the user's data protection.
        case Txt::HoPasswordNotProtected: return "nie można zaszyfrować hasła centrali (błąd Windows %s)";
        case Txt::HoPasswordOtherUser:
            return "plik hasła %s zaszyfrował inny użytkownik lub inny komputer; wpisz hasło ponownie (Centrala)";
        case Txt::HoPasswordNoStore: return "ten program nie ma gdzie przechować hasła centrali";
        case Txt::HoPasswordNotSaved: return "nie można zapisać pliku hasła %s: %s";

        // -- Head office: changes that wait for the sign, station events.
        case Txt::HoHeldFileHeader:
            return "Zmiana z centrali, która czeka, aż wieża będzie mogła ją przyjąć (zapisuje program).";
        case Txt::HoOutcomeHeld: return "czeka na wieżę (%s)";
        case Txt::HoHeldTestMode: return "tryb testu";
        case Txt::HoHeldDisconnected: return "brak połączenia z wieżą";
        case Txt::HoHeldScript: return "działa skrypt";
        case Txt::HoOutcomeSuperseded: return "zastąpiona nowszą zmianą %s";
        case Txt::HoHeldFileBad: return "Centrala: plik %s jest uszkodzony; czekająca zmiana pominięta";
        case Txt::HoEventSignNoAnswer: return "wieża nie odpowiada";
        case Txt::HoEventSignAnswers: return "wieża znów odpowiada";
        case Txt::HoChangeStillWaiting: return "; zmiana %s nadal czeka na wieżę";
        // -- Windows devices: an adapter that Windows gave another COM number.
        case Txt::PortMoved: return "Adapter z %s ma teraz numer %s: port zmieniony.";

        case Txt::TxtCount: break;
    }
    return "";
}

const char* utf8_string_table(int id) {
    static const std::map<int, const char*> table = {
        {784, "COM"},
        {800, "110"}, {801, "300"}, {802, "600"}, {803, "1200"}, {804, "2400"}, {805, "4800"},
        {806, "9600"}, {807, "14.4k"}, {808, "19.2k"}, {809, "38.4k"}, {810, "56k"}, {811, "128k"},
        {812, "256k"},
        {816, "None"}, {817, "Even"}, {818, "Odd"}, {819, "Mark"}, {820, "Space"},
        {832, "1"}, {833, "1.5"}, {834, "2"},
    };
    auto it = table.find(id);
    return it == table.end() ? "" : it->second;
}

}  // namespace

const std::string& txt(Txt id) {
    static std::once_flag once;
    static std::vector<std::string> converted;
    std::call_once(once, [] {
        for (int i = 0; i < static_cast<int>(Txt::TxtCount); ++i)
            converted.push_back(utf8_to_cp1250(utf8_text(static_cast<Txt>(i))));
    });
    return converted.at(static_cast<size_t>(id));
}

const std::string& string_table(int id) {
    static std::once_flag once;
    static std::map<int, std::string> converted;
    static const std::string empty;
    std::call_once(once, [] {
        for (int i = 784; i <= 834; ++i) {
            const char* s = utf8_string_table(i);
            if (*s) converted[i] = utf8_to_cp1250(s);
        }
    });
    auto it = converted.find(id);
    return it == converted.end() ? empty : it->second;
}

}  // namespace kc
