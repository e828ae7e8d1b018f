#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>

class QTranslator;

// Calvera's texts, and Qt's own (its standard buttons), in the user's
// language while it lives: the first of the languages asked for that Calvera
// has a translation for, unless English (or C) comes before it. Both
// programs make one at start, before any text is made; it needs the
// application object.
class Translations final {
public:
    // languages: most wanted first, as QLocale::uiLanguages() reads them
    // from LANGUAGE, LC_ALL, LC_MESSAGES and LANG.
    explicit Translations(const QStringList& languages = QLocale::system().uiLanguages());
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // The language shown ("de"), or empty for English.
    const QString& language() const { return m_language; }

    // The first of wanted that is in available ("de-AT" finds "de"); empty
    // when none is or English comes first.
    static QString choose(const QStringList& wanted, const QStringList& available);
    // The languages Calvera has a translation for, built into the programs.
    static QStringList available();

private:
    QString m_language;
    std::unique_ptr<QTranslator> m_calvera;
    std::unique_ptr<QTranslator> m_qt;
};
