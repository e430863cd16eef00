#pragma once

class QWidget;

namespace kestrane {

// Makes Enter and Esc do nothing anywhere in a dialog, so that neither key accepts or cancels it
// (the user ends it only with its buttons or the close box). Push buttons stop reacting to Enter
// as well. Call once the dialog's widgets exist.
void swallow_enter_and_escape(QWidget* dialog);

} // namespace kestrane
