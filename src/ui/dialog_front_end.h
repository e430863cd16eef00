#pragma once

#include "ops/front_end.h"
#include "ui/choosers.h"
#include "ui/progress_dialog.h"

#include <QString>

#include <optional>
#include <string>

namespace kestrane {

// The GUI's front end, handed to every dialog and through them to the operations: modal message
// boxes, the "Input version" dialog, a progress window, and the file and folder choosers. Tests
// override what they answer themselves.
class DialogFrontEnd : public FrontEnd {
public:
    // A modal message box: the text, an OK button, no icon (the exclamation icon when the message
    // asks for it) and the application name as title.
    void show_message(const std::string& text, MessageIcon icon = MessageIcon::None) override;
    // The "Input version" dialog.
    std::optional<std::string> ask_version(const std::string& path) override;
    // A ProgressWindow that keeps the windows painted while the work goes on, and whose "Cancel"
    // stops the work.
    ProgressPresenter* progress() override;
    // The chosen full path (a QFileDialog), or nothing when the user cancelled.
    virtual std::optional<QString> choose_path(const ChooserRequest& request);

private:
    ProgressDialogPresenter m_progress;
};

} // namespace kestrane
