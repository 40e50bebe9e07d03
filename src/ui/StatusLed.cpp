#include "ui/StatusLed.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace korvat {

StatusLed::StatusLed(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    // An indicator is not an input: clicking it must not pull the focus out of an edit, or the
    // edit's exit handler would run before the click.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QColor StatusLed::backgroundFor(TLedColor color, bool on) {
    const int full = on ? 255 : 128;
    switch (color) {
    case TLedColor::Green:
        return QColor(0, full, 0);
    case TLedColor::Yellow:
        return QColor(full, full, 0);
    case TLedColor::Red:
        return QColor(full, 0, 0);
    }
    return QColor(0, full, 0);
}

void StatusLed::setCaption(const QString& caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    updateGeometry();
    update();
}

void StatusLed::setLedOn(bool on) {
    if (on == m_on)
        return;
    m_on = on;
    repaint();
}

void StatusLed::setLedColor(TLedColor color) {
    if (color == m_color)
        return;
    m_color = color;
    repaint();
}

QSize StatusLed::sizeHint() const {
    const QFontMetrics metrics(font());
    const QSize text = metrics.size(Qt::TextSingleLine, m_caption);
    const int border = 2 * frameWidth();
    return QSize(std::max(kDesignedWidth, text.width() + border + 4),
                 std::max(kDesignedHeight, text.height() + border));
}

QSize StatusLed::minimumSizeHint() const {
    return QSize(kDesignedWidth, kDesignedHeight);
}

void StatusLed::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), background());
        painter.setPen(Qt::black);
        painter.drawText(contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, m_caption);
    }
    // The frame last, so the bevel stays visible over the background.
    QFrame::paintEvent(event);
}

void StatusLed::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void StatusLed::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = m_pressed;
    m_pressed = false;
    event->accept();
    // Like a button: the click counts only when the mouse is released over the indicator.
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace korvat
