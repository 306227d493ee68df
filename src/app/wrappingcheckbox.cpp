#include "app/wrappingcheckbox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace eschf {

WrappingCheckBox::WrappingCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

QString WrappingCheckBox::wrappedText() const
{
    const QString caption = text();
    const QFontMetrics metrics = fontMetrics();
    qsizetype bestBreak = -1;
    int bestWidth = metrics.horizontalAdvance(caption);
    for (qsizetype at = caption.indexOf(u' '); at >= 0; at = caption.indexOf(u' ', at + 1)) {
        const int wider = std::max(metrics.horizontalAdvance(caption.left(at)),
                                   metrics.horizontalAdvance(caption.mid(at + 1)));
        if (wider < bestWidth) {
            bestWidth = wider;
            bestBreak = at;
        }
    }
    if (bestBreak < 0)
        return caption;
    return caption.left(bestBreak) + u'\n' + caption.mid(bestBreak + 1);
}

// As QCheckBox measures itself, for the caption as drawn.
QSize WrappingCheckBox::sizeHint() const
{
    ensurePolished();
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = wrappedText();
    const QSize textSize = fontMetrics().size(Qt::TextShowMnemonic, option.text);
    return style()->sizeFromContents(QStyle::CT_CheckBox, &option, textSize, this);
}

QSize WrappingCheckBox::minimumSizeHint() const
{
    return sizeHint();
}

void WrappingCheckBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = wrappedText();
    painter.drawControl(QStyle::CE_CheckBox, option);
}

bool WrappingCheckBox::hitButton(const QPoint& position) const
{
    return rect().contains(position);
}

} // namespace eschf
