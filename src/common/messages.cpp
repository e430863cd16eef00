#include "common/messages.h"

#include <utility>

namespace kestrane {
namespace {

MessagePresenter& current_presenter()
{
    static MessagePresenter presenter;
    return presenter;
}

} // namespace

void show_message(const std::string& text, MessageIcon icon)
{
    // Copy first: a presenter may install another one while it runs.
    MessagePresenter presenter = current_presenter();
    if (presenter)
        presenter(text, icon);
}

MessagePresenter install_message_presenter(MessagePresenter presenter)
{
    return std::exchange(current_presenter(), std::move(presenter));
}

MessageRecorder::MessageRecorder()
{
    m_previous = install_message_presenter([this](const std::string& text, MessageIcon icon) {
        m_messages.push_back(text);
        m_icons.push_back(icon);
    });
}

MessageRecorder::~MessageRecorder()
{
    install_message_presenter(std::move(m_previous));
}

void MessageRecorder::clear()
{
    m_messages.clear();
    m_icons.clear();
}

} // namespace kestrane
