#pragma once

namespace kestrane {

// Makes show_message() show a modal message box: the text, an OK button, no icon (the exclamation
// icon when the message asks for it) and the application name as title. The program installs it
// once at start-up, before any dialog opens.
void install_message_box_presenter();

} // namespace kestrane
