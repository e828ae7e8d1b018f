#include "Translations.h"

#include "SimpleXML.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

constexpr const char* kFolder = ":/translations";

std::string translateXml(const char* context, const char* source)
{
    return QCoreApplication::translate(context, source).toStdString();
}

} // namespace

QStringList Translations::available()
{
    QStringList languages;
    for (const QString& name : QDir(kFolder).entryList({"calvera_*.qm"}, QDir::Files, QDir::Name))
        languages << name.mid(8, name.size() - 8 - 3);
    return languages;
}

QString Translations::choose(const QStringList& wanted, const QStringList& available)
{
    for (QString language : wanted) {
        language.replace('-', '_');
        language = language.left(language.indexOf('.')).left(language.indexOf('@'));
        // English is what the programs say untranslated.
        if (language == "C" || language == "POSIX" || language == "en" || language.startsWith("en_"))
            return {};
        if (available.contains(language))
            return language;
        const QString base = language.left(language.indexOf('_'));
        if (available.contains(base))
            return base;
    }
    return {};
}

Translations::Translations(const QStringList& languages)
    : m_language(choose(languages, available()))
{
    if (m_language.isEmpty())
        return;
    m_calvera = std::make_unique<QTranslator>();
    if (!m_calvera->load("calvera_" + m_language, kFolder)) {
        m_calvera.reset();
        m_language.clear();
        return;
    }
    QCoreApplication::installTranslator(m_calvera.get());
    setXmlTranslator(translateXml);
    // Qt's own texts come with Qt's translations package, when it is there.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load("qtbase_" + m_language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        m_qt = std::move(qt);
        QCoreApplication::installTranslator(m_qt.get());
    }
}

Translations::~Translations()
{
    if (m_qt)
        QCoreApplication::removeTranslator(m_qt.get());
    if (m_calvera) {
        setXmlTranslator(nullptr);
        QCoreApplication::removeTranslator(m_calvera.get());
    }
}
