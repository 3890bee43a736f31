// The message dialog's constant texts. Column order of every row: English, Russian, Portuguese,
// Turkish, German, Dutch, French, Greek, Spanish.
#include <array>
#include <bit>
#include <string_view>

#include "gui/MessDlgs.h"

namespace {

using Row = std::array<std::string_view, 9>;

constexpr std::array<Row, 4> kCaptions{{
    {"Warning", "Предупреждение", "Aviso", "Uyarı", "Warnung", "Waarschuwing", "Avertissement",
     "Προσοχή!", "Precaución"},
    {"Error", "Ошибка", "Erro", "Hata", "Fehler", "Fout", "Erreur", "Λάθος", "Error"},
    {"Information", "Информация", "Informação", "Bilgi", "Information", "Informatie", "Information",
     "Πληροφορία", "Información"},
    {"Confirm", "Подтверждение", "Confirmação", "Doğrulama", "Bestätigung", "Bevestiging",
     "Confirmation", "Επιβεβαίωση", "Confirmación"},
}};

constexpr std::array<Row, kDialogButtonKinds> kButtonCaptions{{
    {"Yes", "Да", "Sim", "Evet", "Ja", "Ja", "Oui", "Ναί", "Si"},
    {"No", "Нет", "Não", "Hayır", "Nein", "Nee", "Non", "Όχι", "No"},
    {"OK", "OK", "OK", "TAMAM", "OK", "OK", "OK", "Εντάξει", "OK"},
    {"Cancel", "Отмена", "Cancela", "Vazgeç", "Abbrechen", "Annuleren", "Annuler", "Άκυρο",
     "Cancelar"},
    {"Abort", "Стоп", "Aborta", "Durdur", "Abbrechen", "Afbreken", "Abandonner", "Άκύρωση",
     "Abortar"},
    {"Retry", "Повтор", "Tenta Novamente", "Tekrar", "Wiederholen", "Herhalen", "Réessayer",
     "Προσπάθεια", "Reintentar"},
    {"Ignore", "Пропустить", "Ignora", "İptal", "Ignorieren", "Negeren", "Ignorer", "Αγνώηση",
     "Ignorar"},
    {"All", "Все", "Tudo", "Hepsi", "Alle", "Alles", "Tout", "Όλα", "Todo"},
    {"No to all", "Нет для всех", "Não para Tudo", "Hepsine hayır", "Nein zu allen", "Nee op alles",
     "Non pour tous", "Όχι σε όλα", "No a todo"},
    {"Yes to all", "Да для всех", "Sim para Tudo", "Hepsine evet", "Ja zu allen", "Ja op alles",
     "Oui pour tous", "Ναί σε όλα", "Si a todo"},
    {"Help", "Справка", "Ajuda", "Yardım", "Hilfe", "?", "Aide", "Βοήθεια", "Ayuda"},
}};

constexpr std::array<std::string_view, kDialogButtonKinds> kButtonNames{
    "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll", "Help"};

constexpr std::array<int, kDialogButtonKinds> kModalResults{
    ModalResult::Yes,     ModalResult::No,       ModalResult::OK,     ModalResult::Cancel,
    ModalResult::Abort,   ModalResult::Retry,    ModalResult::Ignore, ModalResult::All,
    ModalResult::NoToAll, ModalResult::YesToAll, ModalResult::None};

constexpr DialogLanguage kEnglishDisconnect = 10;
constexpr std::string_view kDisconnect = "Disconnect";

// Languages 1 to 8 have their own column; every other index reads English (column 0).
std::size_t Column(DialogLanguage language) {
    return language >= 1 && language <= 8 ? language : 0;
}

std::size_t Index(DialogButton kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kDialogButtonKinds ? i : 0;
}

}  // namespace

bool HasIcon(DialogType type) {
    return static_cast<unsigned>(type) < kCaptions.size();
}

std::string_view DialogCaption(DialogType type, DialogLanguage language) {
    if (!HasIcon(type)) return {};
    return kCaptions[static_cast<std::size_t>(type)][Column(language)];
}

std::string_view ButtonCaption(DialogButton kind, DialogLanguage language) {
    if (kind == DialogButton::Abort && language == kEnglishDisconnect) return kDisconnect;
    return kButtonCaptions[Index(kind)][Column(language)];
}

std::string_view ButtonName(DialogButton kind) {
    return kButtonNames[Index(kind)];
}

int ButtonModalResult(DialogButton kind) {
    return kModalResults[Index(kind)];
}

int CountButtons(DialogButtons buttons) {
    constexpr unsigned kKnownBits = (1u << kDialogButtonKinds) - 1;
    return std::popcount(static_cast<unsigned>(buttons) & kKnownBits);
}
