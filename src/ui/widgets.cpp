#include "ui/widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

namespace kestrane {
namespace {

class Utf8LengthValidator : public QValidator {
public:
    Utf8LengthValidator(qsizetype max_bytes, QObject* parent) : QValidator(parent), m_maxBytes(max_bytes) {}

    State validate(QString& input, int&) const override
    {
        return input.toUtf8().size() <= m_maxBytes ? Acceptable : Invalid;
    }

private:
    qsizetype m_maxBytes;
};

} // namespace

QLineEdit* new_edit(const char* id, QWidget* owner)
{
    auto* edit = new QLineEdit(owner);
    edit->setObjectName(QString::fromLatin1(id));
    // A file dropped on an edit is the dialog's to take (as a file), not the edit's (as its URL).
    edit->setAcceptDrops(false);
    return edit;
}

QPushButton* new_button(const char* text, const char* id, QWidget* owner)
{
    auto* button = new QPushButton(QString::fromUtf8(text), owner);
    button->setObjectName(QString::fromLatin1(id));
    return button;
}

QLabel* new_label(const char* text, QWidget* owner)
{
    return new QLabel(QString::fromUtf8(text), owner);
}

void show_characters(QLineEdit* edit, int count, QChar sample)
{
    // As the edit's own size hint counts: the text, two pixels of margin a side, the style's frame.
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QFontMetrics metrics = edit->fontMetrics();
    const QSize text(metrics.horizontalAdvance(QString(count, sample)) + 2 * 2, metrics.height());
    edit->setMinimumWidth(edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit).width());
}

void make_read_only(QLineEdit* edit)
{
    edit->setReadOnly(true);
    QPalette palette = edit->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    edit->setPalette(palette);
}

void set_tab_order(std::initializer_list<QWidget*> controls)
{
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
    if (controls.size() > 0)
        (*controls.begin())->setFocus();
}

void limit_to_bytes(QLineEdit* edit, int max_bytes)
{
    edit->setMaxLength(max_bytes);
    edit->setValidator(new Utf8LengthValidator(max_bytes, edit));
}

} // namespace kestrane
