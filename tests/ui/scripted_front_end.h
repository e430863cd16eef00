#pragma once

#include "support/test_support.h"
#include "ui/dialog_front_end.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kestrane::test {

// The front end a dialog test hands to the dialog under test: it records every message, answers
// the file and folder choosers from a script (recording what they were asked), and shows progress
// only when the test asks for the program's progress window.
class ScriptedFrontEnd : public DialogFrontEnd, public MessageLog {
public:
    void show_message(const std::string& text, MessageIcon icon = MessageIcon::None) override { record(text, icon); }

    std::optional<QString> choose_path(const ChooserRequest& request) override
    {
        requests.push_back(request);
        if (m_answers.empty()) {
            ADD_FAILURE() << "a chooser opened that the test did not expect";
            return std::nullopt;
        }
        const std::optional<QString> answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    ProgressPresenter* progress() override { return m_progress; }

    void choose(const std::string& path) { m_answers.push_back(QString::fromStdString(path)); }
    void cancel() { m_answers.push_back(std::nullopt); }
    bool all_answered() const { return m_answers.empty(); }

    // Long work from now on shows the program's progress window, or (`shown` false) nothing.
    void show_progress_windows(bool shown = true) { m_progress = shown ? DialogFrontEnd::progress() : nullptr; }

    std::vector<ChooserRequest> requests;

private:
    std::deque<std::optional<QString>> m_answers;
    ProgressPresenter* m_progress = nullptr;
};

} // namespace kestrane::test
