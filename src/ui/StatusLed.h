#pragma once
// The small on/off indicator used for the valve, lamp and state displays: a caption on a panel
// whose background colour tells the state. The colour family is chosen once per indicator; code
// switches it on and off. Clicks are reported, the indicator never changes its own state on a
// click.

#include <QColor>
#include <QFrame>
#include <QString>

namespace korvat {

enum class TLedColor { Green, Yellow, Red };

class StatusLed : public QFrame {
    Q_OBJECT
    Q_PROPERTY(bool LedOn READ ledOn WRITE setLedOn)
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    // The size the indicators were designed for; a longer caption makes it grow.
    static constexpr int kDesignedWidth = 28;
    static constexpr int kDesignedHeight = 11;

    explicit StatusLed(QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);

    bool ledOn() const { return m_on; }
    void setLedOn(bool on);

    TLedColor ledColor() const { return m_color; }
    void setLedColor(TLedColor color);

    // The background currently shown.
    QColor background() const { return backgroundFor(m_color, m_on); }
    static QColor backgroundFor(TLedColor color, bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_caption;
    bool m_on = false;
    TLedColor m_color = TLedColor::Green;
    bool m_pressed = false;
};

} // namespace korvat
