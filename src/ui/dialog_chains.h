#pragma once

#include <QString>

class QWidget;

namespace kestrane {

class DialogFrontEnd;

// The dialogs opened here get the opener's front end.

// The encrypt-file dialog run modally for a file another dialog has just written: its source is
// preset to `preset_source`, and a non-empty `required_company` must be the company of the chosen
// company key file. The dialog's result (QDialog::Accepted after a successful encryption).
int run_encrypt_file_dialog(DialogFrontEnd& front, QWidget* parent, const QString& preset_source,
                            const QString& required_company = {});

// "Generate CompanyKey": the generator, and when it ends with OK the encrypt-file dialog for the
// new company key file (no required company). True when the second dialog ran, so the caller
// reloads its company key file.
bool run_generate_company_key(DialogFrontEnd& front, QWidget* parent);

} // namespace kestrane
