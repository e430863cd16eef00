#pragma once

namespace kestrane {

// Makes long work show a modal progress dialog (no cancel button) that keeps the windows painted
// while the work goes on.
void install_progress_dialog_presenter();

} // namespace kestrane
