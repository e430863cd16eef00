#include "ui/kestrane_dialog.h"

#include "ui/running_job.h"

#include <QShowEvent>

namespace kestrane {

KestraneDialog::KestraneDialog(DialogFrontEnd& front, QWidget* parent) : QDialog(parent), m_front(front) {}

KestraneDialog::~KestraneDialog()
{
    // The window hides as it goes, and an edit reports being left: not to a dialog half gone.
    for (QObject* control : findChildren<QObject*>())
        control->disconnect(this);
}

void KestraneDialog::done(int result)
{
    if (!job_running())
        QDialog::done(result);
}

void KestraneDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void KestraneDialog::UpdateData(bool saveAndValidate)
{
    m_exchange.exchange(saveAndValidate);
}

} // namespace kestrane
