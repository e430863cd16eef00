#pragma once

#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "ui/choosers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QSettings>
#include <QTimer>

#include <deque>
#include <optional>
#include <vector>

namespace kestrane::test {

// Answers the file and folder choosers from a script and records what they were asked.
class ScriptedChooser {
public:
    ScriptedChooser()
    {
        m_previous = install_chooser([this](const ChooserRequest& request) -> std::optional<QString> {
            requests.push_back(request);
            if (m_answers.empty()) {
                ADD_FAILURE() << "a chooser opened that the test did not expect";
                return std::nullopt;
            }
            const std::optional<QString> answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
    }
    ~ScriptedChooser() { install_chooser(std::move(m_previous)); }
    ScriptedChooser(const ScriptedChooser&) = delete;
    ScriptedChooser& operator=(const ScriptedChooser&) = delete;

    void choose(const std::string& path) { m_answers.push_back(QString::fromStdString(path)); }
    void cancel() { m_answers.push_back(std::nullopt); }
    bool all_answered() const { return m_answers.empty(); }

    std::vector<ChooserRequest> requests;

private:
    std::deque<std::optional<QString>> m_answers;
    Chooser m_previous;
};

// Settings and the program directory in temporary folders, and a folder to work in.
class DialogTest : public IsolatedSettings {
protected:
    TempDir m_work;
};

// Types text as key presses carrying it, one character at a time (any script, Hangul included).
inline void type_text(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

template <typename T> T* child(QWidget* parent, const char* id)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(id));
    if (!found)
        ADD_FAILURE() << "no control " << id;
    return found;
}

} // namespace kestrane::test
