#pragma once

#include "ui/dialog_data.h"

#include <QDialog>

class QShowEvent;

namespace kestrane {

class DialogFrontEnd;

// What the program's dialogs share: they set themselves up (OnInitDialog) each time the program
// shows them, they do not end while a job runs, and their string members are bound to their edits
// (m_exchange) and copied by UpdateData. Each shows its messages and choosers, and runs its jobs,
// through the front end it is given, which outlives it.
class KestraneDialog : public QDialog {
    Q_OBJECT
public:
    explicit KestraneDialog(DialogFrontEnd& front, QWidget* parent = nullptr);
    ~KestraneDialog() override;

    // Not while a job runs.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    virtual void OnInitDialog() = 0;
    // saveAndValidate: the edits' texts into the members; otherwise the members into the edits.
    virtual void UpdateData(bool saveAndValidate);

    DialogFrontEnd& m_front;
    FieldExchange m_exchange;
};

} // namespace kestrane
