// The window's language. Russian is the language its texts are written in and the default;
// English comes from a translation embedded in the program (":/i18n/lpt-eeprom_en.qm"). The
// messages of the core (UserError) carry both languages themselves and follow the same choice.
#pragma once

#include <QLocale>
#include <QString>

#include <optional>

#include "common/user_error.h"

namespace lpt::ui {

enum class Language { Russian, English };

// The language a desktop locale asks for: the first of its languages (LANGUAGE, then LC_ALL,
// LC_MESSAGES, LANG) that the window has, English or Russian; Russian for the C and POSIX
// locales and when it lists neither. `chosen` (--lang) overrides the locale.
Language ChooseLanguage(const QLocale& desktop, std::optional<Language> chosen = std::nullopt);

// "ru" or "en", as --lang takes them; nothing for any other word.
std::optional<Language> LanguageFromName(const QString& name);

// Puts the application's texts in `language`: the window's translation (none for Russian) and
// Qt's own (qtbase_ru or qtbase_en from Qt's translations folder, where installed) for its
// dialogs and message box buttons. Call with the QApplication in place, before the window is
// made. Gives the language now in use: Russian when the English translation cannot be loaded.
Language UseLanguage(Language language);

// The language UseLanguage last put in place (Russian before any call).
Language CurrentLanguage();

// The text of a core error in the window's language.
QString ErrorText(const UserError& error);
// A piece of a core message in the window's language.
QString WordingText(const Wording& wording);

}  // namespace lpt::ui
