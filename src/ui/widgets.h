#pragma once

#include "ops/field_limits.h"

#include <QChar>

#include <initializer_list>

class QIcon;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrane {

// The pieces every dialog's constructor makes. Controls carry their template id as object name,
// by which the tests find them. Edits take no drops: a drop on one goes to its dialog.
QLineEdit* new_edit(const char* id, QWidget* owner);
QPushButton* new_button(const char* text, const char* id, QWidget* owner);
QLabel* new_label(const char* text, QWidget* owner);

// The longest texts the fields take, in bytes: what the files' fields hold.
inline constexpr int kVersionFieldBytes = static_cast<int>(kVersionFieldLimit);
inline constexpr int kCompanyNameFieldBytes = static_cast<int>(kCompanyNameFieldLimit);

// Makes an edit wide enough to show `count` characters like `sample` whole; by default the widest
// one, so that any text of that many characters fits.
void show_characters(QLineEdit* edit, int count, QChar sample = QLatin1Char('W'));

// The program's icon in every size it is drawn in, 16 to 128 pixels, for the windows' title bars
// and the About box.
QIcon program_icon();

// Makes an edit read-only, with the window's background, so that it looks read-only too.
void make_read_only(QLineEdit* edit);

// Tab moves through `controls` in this order (their template's), and the first of them has the
// focus when the dialog opens.
void set_tab_order(std::initializer_list<QWidget*> controls);

// Refuses input whose UTF-8 form would be longer than `max_bytes` (the limit counts bytes, as the
// file's field does, not characters).
void limit_to_bytes(QLineEdit* edit, int max_bytes);

} // namespace kestrane
