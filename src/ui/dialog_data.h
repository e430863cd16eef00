#pragma once

#include <QLineEdit>
#include <QString>

#include <string>
#include <vector>

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

// The dialogs' data exchange: string members bound to their edits, copied one way or the other.
class FieldExchange {
public:
    void bind(QString& member, QLineEdit* edit) { m_fields.push_back({&member, edit}); }

    // save: the edits' texts into the members; otherwise the members into the edits.
    void exchange(bool save) const
    {
        for (const Field& field : m_fields) {
            if (save)
                *field.member = field.edit->text();
            else
                push_text(field.edit, *field.member);
        }
    }

private:
    struct Field {
        QString* member;
        QLineEdit* edit;
    };
    std::vector<Field> m_fields;
};

} // namespace kestrane
