#pragma once

#include "common/progress.h"

#include <QDialog>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrane {

// The window of long work: what runs, how far it is, and "Cancel", the only way to end it early.
// It is application modal, and Esc and the window's close box do nothing: while it is open no
// other window takes input, so no other job can start meanwhile.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    ProgressWindow(const QString& title, QWidget* parent);

    QString labelText() const;
    // `permille` from 0 to 1000, or -1 when the amount of work is not known.
    void showProgress(int permille);
    bool cancelRequested() const { return m_cancelRequested; }

    void reject() override {} // Esc

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_label;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    bool m_cancelRequested = false;
};

// Shows long work in a ProgressWindow that keeps the windows painted while the work goes on, and
// whose "Cancel" stops the work.
class ProgressDialogPresenter : public ProgressPresenter {
public:
    void start(const std::string& title) override;
    void update(int permille) override;
    void stop() override;
    bool cancel_requested() const override;

private:
    std::unique_ptr<ProgressWindow> m_window;
};

} // namespace kestrane
