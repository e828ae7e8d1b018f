#include "SizeLimitField.h"

#include "FlatEditUnit.h"
#include "FormsSupport.h"

#include <QLabel>
#include <QRegularExpressionValidator>

#include <limits>

namespace {

constexpr std::int64_t kBytesPerMegabyte = 1000 * 1000;
constexpr int kDecimals = 6; // a millionth of a megabyte is a byte

} // namespace

SizeLimitField::SizeLimitField(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("sizeLimit");
    caption = new QLabel(tr("at most"), this);
    caption->setFont(formFont(16));
    setTextColor(*caption, kCaptionColor);
    caption->adjustSize();
    edit = makeFolderField(this, QRect(caption->width() + 8, 0, 110, 28));
    edit->setObjectName("etSizeLimit");
    edit->setReadOnly(false);
    // Twelve whole digits keep every limit within 64 bits of bytes.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(R"((\d{1,12}([.,]\d{0,6})?)?)"), edit));
    unit = new QLabel(tr("MB (blank: no limit)"), this);
    unit->setFont(formFont(16));
    setTextColor(*unit, kCaptionColor);
    unit->adjustSize();
    const int middle = edit->height() / 2;
    caption->move(0, middle - caption->height() / 2);
    unit->move(edit->geometry().right() + 8, middle - unit->height() / 2);
    connect(edit, &QLineEdit::textEdited, this, [this] {
        m_changed = true;
        // No longer "(several)": what the field holds now goes to each item.
        edit->setPlaceholderText({});
        emit edited();
    });
}

std::int64_t SizeLimitField::bytes() const
{
    return bytesOf(edit->text()).value_or(0);
}

void SizeLimitField::setBytes(std::int64_t bytes)
{
    edit->setText(megabytes(bytes));
}

void SizeLimitField::showSeveral()
{
    edit->clear();
    edit->setPlaceholderText(tr("(several)"));
}

QString SizeLimitField::megabytes(std::int64_t bytes)
{
    if (bytes <= 0)
        return {};
    QString text = QString::number(bytes / kBytesPerMegabyte);
    if (const std::int64_t rest = bytes % kBytesPerMegabyte; rest != 0) {
        QString decimals = QString::number(rest).rightJustified(kDecimals, '0');
        while (decimals.endsWith('0'))
            decimals.chop(1);
        text += '.' + decimals;
    }
    return text;
}

std::optional<std::int64_t> SizeLimitField::bytesOf(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    static const QRegularExpression number(R"(^([0-9]+)(?:[.,]([0-9]*))?$)");
    const QRegularExpressionMatch parts = number.match(trimmed);
    const QString whole = parts.captured(1);
    const QString decimals = parts.captured(2);
    if (!parts.hasMatch() || decimals.size() > kDecimals)
        return std::nullopt;
    bool ok = false;
    const qulonglong megabytes = whole.toULongLong(&ok);
    if (!ok || megabytes > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max() / kBytesPerMegabyte))
        return std::nullopt;
    const std::int64_t rest = decimals.isEmpty() ? 0 : decimals.leftJustified(kDecimals, '0').toLongLong();
    const std::int64_t bytes = static_cast<std::int64_t>(megabytes) * kBytesPerMegabyte;
    if (bytes > std::numeric_limits<std::int64_t>::max() - rest)
        return std::nullopt;
    return bytes + rest;
}
