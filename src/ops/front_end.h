#pragma once

#include "common/progress.h"

#include <optional>
#include <string>

namespace kestrane {

enum class MessageIcon { None, Exclamation };

// Everything an operation asks of the front end that runs it: the GUI's message boxes, progress
// window and "Input version" dialog; the command line's printed lines, progress on a terminal and
// line prompt; a test's recording fake. It is handed to each operation, and reaches the work
// below as the progress presenter alone: the core itself shows nothing.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // Shows one outcome, and returns once it is seen (a message box is modal).
    virtual void show_message(const std::string& text, MessageIcon icon = MessageIcon::None) = 0;

    // The version for a wrapping of `path` that has none given or read; no value means Cancel.
    virtual std::optional<std::string> ask_version(const std::string& path) = 0;

    // Where long work reports how far it is and learns of a Cancel; none: it is not shown (a
    // termination signal still ends it).
    virtual ProgressPresenter* progress() = 0;
};

} // namespace kestrane
