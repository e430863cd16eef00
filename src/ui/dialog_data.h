#pragma once

#include <QLineEdit>
#include <QString>
#include <QValidator>

#include <string>

namespace kestrane {

// Helpers of the dialogs' data exchange between their string members and their edits.

// Sets the edit's text only when it differs, so the cursor of an unchanged field stays put.
inline void push_text(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

// The text as the operations take it (UTF-8, like every path and name of the system).
inline std::string to_std(const QString& text)
{
    return text.toStdString();
}

// Refuses an input whose UTF-8 form would be longer than a number of bytes.
class Utf8LengthValidator : public QValidator {
public:
    Utf8LengthValidator(qsizetype max_bytes, QObject* parent) : QValidator(parent), m_maxBytes(max_bytes) {}

    State validate(QString& input, int&) const override
    {
        return input.toUtf8().size() <= m_maxBytes ? Acceptable : Invalid;
    }

private:
    qsizetype m_maxBytes;
};

} // namespace kestrane
