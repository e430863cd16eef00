#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrane {

enum class MessageIcon { None, Exclamation };

// How the current front end shows a message: a message box in the GUI, a printed line on the
// headless command line, a recorded entry in tests.
using MessagePresenter = std::function<void(const std::string& text, MessageIcon icon)>;

// Every user-facing outcome of an operation goes through here. Blocks until the presenter
// returns (a message box is modal).
void show_message(const std::string& text, MessageIcon icon = MessageIcon::None);

// Installs a presenter and returns the one it replaces. An empty presenter discards messages.
MessagePresenter install_message_presenter(MessagePresenter presenter);

// Records every message shown while it lives; restores the previous presenter afterwards.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<std::string>& messages() const { return m_messages; }
    const std::vector<MessageIcon>& icons() const { return m_icons; }
    void clear();

private:
    std::vector<std::string> m_messages;
    std::vector<MessageIcon> m_icons;
    MessagePresenter m_previous;
};

} // namespace kestrane
