#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class QLabel;
class TMyFlatEdit;

// The row of the Add Files and Item Property dialogs that limits the size of
// the items' outputs: "at most [24.5] MB (blank: no limit)". It takes decimal
// megabytes (1 MB = 1,000,000 bytes, to the byte: at most six decimals, a
// point or a comma) and nothing else can be typed; blank or 0 is no limit.
class SizeLimitField final : public QWidget {
    Q_OBJECT

public:
    explicit SizeLimitField(QWidget* parent = nullptr);

    // The limit in bytes; 0: none.
    std::int64_t bytes() const;
    void setBytes(std::int64_t bytes);
    // Several items with different limits: "(several)" stands in the empty
    // field, which keeps each item's own until the user types.
    void showSeveral();
    // Whether the user changed the text (even back to what it was).
    bool changed() const { return m_changed; }

    // bytes as the field shows them: "24.5" for 24,500,000; empty for none.
    static QString megabytes(std::int64_t bytes);
    // The bytes a text of the field stands for: 0 for a blank one; nothing
    // for text that is no number of megabytes or more than 64 bits hold.
    static std::optional<std::int64_t> bytesOf(const QString& text);

    TMyFlatEdit* edit;
    QLabel* caption; // "at most"
    QLabel* unit; // "MB (blank: no limit)"

signals:
    // The user changed the limit.
    void edited();

private:
    bool m_changed = false;
};
