// The on/off indicator: its six background colours, the state of a new indicator, that a state
// change shows at once in what the widget paints, and that only a completed click is reported.

#include "ui/StatusLed.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

QColor paintedCentre(StatusLed& led) {
    const QImage image = led.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

void sendMouse(QWidget& widget, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(StatusLed, NewIndicatorIsOffAndGreen) {
    StatusLed led;
    EXPECT_FALSE(led.ledOn());
    EXPECT_EQ(led.ledColor(), TLedColor::Green);
    EXPECT_EQ(led.background(), QColor(0, 128, 0));
}

TEST(StatusLed, PaintsTheColourOfItsFamilyAndState) {
    const struct {
        TLedColor color;
        bool on;
        QColor expected;
    } cases[] = {
        {TLedColor::Green, true, QColor(0, 255, 0)},
        {TLedColor::Green, false, QColor(0, 128, 0)},
        {TLedColor::Yellow, true, QColor(255, 255, 0)},
        {TLedColor::Yellow, false, QColor(128, 128, 0)},
        {TLedColor::Red, true, QColor(255, 0, 0)},
        {TLedColor::Red, false, QColor(128, 0, 0)},
    };
    StatusLed led;
    led.resize(40, 16);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "colour " << int(c.color) << " on " << c.on);
        led.setLedColor(c.color);
        led.setLedOn(c.on);
        EXPECT_EQ(led.background(), c.expected);
        EXPECT_EQ(StatusLed::backgroundFor(c.color, c.on), c.expected);
        EXPECT_EQ(paintedCentre(led), c.expected);
    }
}

TEST(StatusLed, GrowsForItsCaptionButNeverBelowTheDesignedSize) {
    StatusLed led;
    EXPECT_GE(led.sizeHint().width(), StatusLed::kDesignedWidth);
    EXPECT_GE(led.sizeHint().height(), StatusLed::kDesignedHeight);
    led.setCaption(QStringLiteral("Temperature Samplechamber"));
    EXPECT_GT(led.sizeHint().width(), led.fontMetrics().horizontalAdvance(led.caption()));
    EXPECT_FALSE(led.ledOn()) << "a caption change leaves the state alone";
}

TEST(StatusLed, ReportsAClickOnlyWhenReleasedOverItAndKeepsItsState) {
    StatusLed led;
    led.resize(40, 16);
    int clicks = 0;
    QObject::connect(&led, &StatusLed::clicked, [&clicks] { ++clicks; });

    sendMouse(led, QEvent::MouseButtonPress, QPoint(5, 5));
    sendMouse(led, QEvent::MouseButtonRelease, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);

    sendMouse(led, QEvent::MouseButtonPress, QPoint(5, 5));
    sendMouse(led, QEvent::MouseButtonRelease, QPoint(100, 5));
    EXPECT_EQ(clicks, 1) << "dragged off before release";

    EXPECT_FALSE(led.ledOn()) << "the indicator is switched by code, never by its click";
}
