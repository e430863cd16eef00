#include "ui/widgets.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

#include <algorithm>

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
    // As the edit lays its text out when it paints: inside the style's contents rectangle and the
    // text margins, two pixels of margin a side; the text, the bearings that reach out of it and a
    // pixel for the cursor after it must fit, or the edit scrolls.
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    option.rect = QRect(0, 0, 1000, edit->sizeHint().height());
    const int frame =
        option.rect.width() - edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width();
    const QMargins margins = edit->textMargins();
    const QFontMetrics metrics = edit->fontMetrics();
    const int text = metrics.horizontalAdvance(QString(count, sample)) + 1 + std::max(0, -metrics.minLeftBearing())
        + std::max(0, -metrics.minRightBearing());
    edit->setMinimumWidth(frame + margins.left() + margins.right() + 2 * 2 + text);
}

QIcon program_icon()
{
    // Sizes of their own rather than one large image: an X11 window carries every size in one
    // property (_NET_WM_ICON), and Qt left it empty for the 256-pixel image alone (65,538 values,
    // more than an X request holds without the BIG-REQUESTS extension). These take 24,652.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/kestrane-%1.png").arg(size), QSize(size, size));
    return icon;
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
