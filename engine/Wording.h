#pragma once

#include <QCoreApplication>
#include <QString>

#include <concepts>
#include <stdexcept>
#include <string>
#include <vector>

// A text for people in two forms, made from one source text and the same
// arguments: in English, for what programs read (JSON events, --formats),
// and in the user's language, for the terminal and the window. Without a
// translation loaded (LANG=C) the two are the same.
struct Wording {
    std::string english;
    std::string shown;

    // Words from outside, ffmpeg's own or a file's name: the same in both forms.
    static Wording verbatim(const std::string& text) { return {text, text}; }
    // The system's words for an errno value: glibc's English, and as the
    // locale tells them (what strerror says).
    static Wording systemError(int error);
    bool empty() const { return english.empty(); }
};

namespace wording {

// One argument in both forms.
struct Part {
    QString english;
    QString shown;
};
inline Part part(const Wording& value)
{
    return {QString::fromStdString(value.english), QString::fromStdString(value.shown)};
}
inline Part part(const std::string& value)
{
    const QString text = QString::fromStdString(value);
    return {text, text};
}
inline Part part(const QString& value)
{
    return {value, value};
}
inline Part part(const char* value)
{
    return part(QString::fromUtf8(value));
}
template <std::integral Number> Part part(Number value)
{
    const QString text = QString::number(value);
    return {text, text};
}

Wording make(const char* source, int n, const std::vector<Part>& arguments);

// text with %1 … %9 replaced by arguments in one pass, so that an argument
// holding "%2" (a file's name) stays as it is.
QString filled(const QString& text, const QStringList& arguments);
// The same on UTF-8 bytes, arguments kept byte for byte.
std::string filled(const std::string& text, const std::vector<std::string>& arguments);

} // namespace wording

// Why an item failed or went unchecked, why a format is unavailable, and the
// errors that can become such a reason: texts that JSON gives in English and
// people read in their language. They share the translation context
// "Reason", and lupdate finds them marked where they are written:
//   reason(QT_TRANSLATE_NOOP("Reason", "ffmpeg ended with code %1"), code)
// %1, %2 … take the arguments, a Wording giving each form its own.
template <typename... Arguments> Wording reason(const char* source, const Arguments&... arguments)
{
    return wording::make(source, -1, {wording::part(arguments)...});
}

// The same with %n (marked QT_TRANSLATE_N_NOOP), in the plural form n asks
// for in the user's language; the English form is the source with n in it.
template <typename... Arguments> Wording countedReason(const char* source, int n, const Arguments&... arguments)
{
    return wording::make(source, n, {wording::part(arguments)...});
}

// An error whose message is a Wording: what() gives it in the user's
// language, as every error shown to people does; a failed item's outcome
// takes both forms.
class WordedError : public std::runtime_error {
public:
    explicit WordedError(const Wording& message)
        : std::runtime_error(message.shown)
        , m_wording(message)
    { }
    const Wording& wording() const { return m_wording; }

private:
    Wording m_wording;
};

// The Wording of any error: its own for a WordedError, else what() in both forms.
Wording wordingOf(const std::exception& error);
