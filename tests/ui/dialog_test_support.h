#pragma once

#include "scripted_front_end.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"
#include "ui/choosers.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace kestrane::test {

// A control of a dialog by its id.
template <typename T> T* child(QWidget* parent, const char* id)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(id));
    if (!found)
        ADD_FAILURE() << "no control " << id;
    return found;
}

// The keys of the company key files the dialog tests write: "0000A1A2A3A4A5A6" and "0000B1B2B3B4B5B6".
inline const Bytes kAcmeKey = {0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
inline const Bytes kBetaKey = {0, 0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6};

// Settings and the program directory in temporary folders, and a folder to work in.
class DialogTest : public IsolatedSettings {
protected:
    // Writes a file of the work folder; its path.
    std::string file(const std::string& name, const Bytes& bytes)
    {
        write_bytes(m_work.file(name), bytes);
        return m_work.file(name);
    }
    // The text of an edit, a click on a button, of a dialog by their ids.
    static QString text(QWidget* modal, const char* id) { return child<QLineEdit>(modal, id)->text(); }
    static void click(QWidget* modal, const char* id) { child<QPushButton>(modal, id)->click(); }
    // An archiver in the program directory (found before the system's): a shell script.
    void place_archiver(const std::string& script)
    {
        write_text(m_program.file("tar"), "#!/bin/sh\n" + script);
        QFile::setPermissions(QString::fromStdString(m_program.file("tar")), QFile::ReadOwner | QFile::ExeOwner);
    }
    // Starts the system's archiver with the script's arguments.
    static std::string exec_tar()
    {
        return "exec \"" + QStandardPaths::findExecutable("tar").toStdString() + "\" \"$@\"\n";
    }

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

// Replaces an edit's text as a user does, then moves the focus on to `next`.
inline void type_over_and_leave(QLineEdit* edit, const QString& text, QWidget* next)
{
    edit->window()->activateWindow(); // focus moves only in the active window
    EXPECT_TRUE(QTest::qWaitForWindowActive(edit->window()));
    edit->setFocus();
    edit->selectAll();
    type_text(edit, text);
    next->setFocus();
}

} // namespace kestrane::test
