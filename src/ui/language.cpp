#include "ui/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace lpt::ui {

namespace {

Language gLanguage = Language::Russian;
// Installed on the application by UseLanguage; a translator removes itself when deleted.
QPointer<QTranslator> gWindowTranslator;
QPointer<QTranslator> gQtTranslator;

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A translator of `file` (without ".qm") in `folder`, installed on the application; nothing
// when the file is not there.
QTranslator* Install(const QString& file, const QString& folder) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(file, folder)) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

}  // namespace

Language ChooseLanguage(const QLocale& desktop, std::optional<Language> chosen) {
    if (chosen) return *chosen;
    // The C locale asks for no language (gettext ignores LANGUAGE there, too).
    if (desktop.language() == QLocale::C) return Language::Russian;
    for (const QString& tag : desktop.uiLanguages()) {
        switch (QLocale(tag).language()) {
            case QLocale::English: return Language::English;
            case QLocale::Russian: return Language::Russian;
            default: break;
        }
    }
    return Language::Russian;
}

std::optional<Language> LanguageFromName(const QString& name) {
    if (name == QLatin1String("ru")) return Language::Russian;
    if (name == QLatin1String("en")) return Language::English;
    return std::nullopt;
}

Language UseLanguage(Language language) {
    delete gWindowTranslator;
    delete gQtTranslator;
    gLanguage = Language::Russian;
    if (language == Language::English) {
        gWindowTranslator = Install(QStringLiteral("lpt-eeprom_en"), QStringLiteral(":/i18n"));
        if (!gWindowTranslator) language = Language::Russian;  // the texts stay as written
    }
    gLanguage = language;
    gQtTranslator = Install(language == Language::English ? QStringLiteral("qtbase_en")
                                                           : QStringLiteral("qtbase_ru"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return gLanguage;
}

Language CurrentLanguage() { return gLanguage; }

QString ErrorText(const UserError& error) {
    return Utf8(gLanguage == Language::English ? error.English() : error.Russian());
}

QString WordingText(const Wording& wording) {
    return Utf8(gLanguage == Language::English ? wording.en : wording.ru);
}

}  // namespace lpt::ui
