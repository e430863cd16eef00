#pragma once

#include "common/file_io.h"
#include "common/messages.h"
#include "common/text_format.h"
#include "crypt/encrypted_package.h"
#include "format/tagged_file.h"

#include <QLineEdit>
#include <QString>
#include <QValidator>

#include <optional>
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

// The header of a file chosen to be encrypted; nothing (after "Path[%s] is invalid") when the
// path is not a file.
inline std::optional<HeaderSummary> chosen_file_summary(const QString& path)
{
    const std::string native = to_std(path);
    HeaderSummary summary;
    if (!is_regular_file(native) || read_header_summary(native, summary) != 1) {
        show_message(format_text("Path[%s] is invalid", native.c_str()));
        return std::nullopt;
    }
    return summary;
}

// The destination proposed for a chosen file and a company.
inline QString proposed_destination(const QString& path, const QString& company, const HeaderSummary& summary)
{
    return QString::fromStdString(proposed_package_path(to_std(path), to_std(company), summary.type_tag));
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
