#pragma once

#include <QCheckBox>

namespace eschf {

// A check box whose caption is drawn on two lines, broken at the space that makes the wider line
// shortest; its text stays the caption as the operator reads it, with no break inside.
class WrappingCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit WrappingCheckBox(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The caption as it is drawn: the text with its break.
    QString wrappedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The whole box answers a click: the style would measure the caption on one line.
    bool hitButton(const QPoint& position) const override;
};

} // namespace eschf
