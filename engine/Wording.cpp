#include "Wording.h"

#include <cstring>

Wording Wording::systemError(int error)
{
    // strerrordesc_np is glibc's English whatever the locale; strerror follows LC_MESSAGES.
    const char* english = ::strerrordesc_np(error);
    return {english ? std::string(english) : "Unknown error " + std::to_string(error), std::strerror(error)};
}

QString wording::filled(const QString& text, const QStringList& arguments)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype number = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
        if (text[i] == u'%' && number >= 1 && number <= arguments.size()) {
            out += arguments[number - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string wording::filled(const std::string& text, const std::vector<std::string>& arguments)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int number = i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' ? text[i + 1] - '0' : 0;
        if (text[i] == '%' && number >= 1 && static_cast<std::size_t>(number) <= arguments.size()) {
            out += arguments[static_cast<std::size_t>(number) - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

Wording wording::make(const char* source, int n, const std::vector<Part>& arguments)
{
    QStringList english;
    QStringList shown;
    for (const Part& argument : arguments) {
        english << argument.english;
        shown << argument.shown;
    }
    QString englishText = QString::fromUtf8(source);
    if (n >= 0)
        englishText.replace(QLatin1String("%n"), QString::number(n));
    const QString shownText = QCoreApplication::translate("Reason", source, nullptr, n);
    return {filled(englishText, english).toStdString(), filled(shownText, shown).toStdString()};
}

Wording wordingOf(const std::exception& error)
{
    if (const auto* worded = dynamic_cast<const WordedError*>(&error))
        return worded->wording();
    return Wording::verbatim(error.what());
}
