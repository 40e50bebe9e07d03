#pragma once
// A view and dialogs that show nothing, for benchmarks that measure the core alone. The dialogs
// keep what they were asked to show, so a benchmark can tell that its run went without a message.

#include "shell/FormView.h"
#include "util/Dialogs.h"

#include <QHash>
#include <QStringList>

namespace korvat::bench {

class NullView final : public FormView {
public:
    void setWindowCaption(const QString&) override {}
    // The state of every control is kept (one entry per control, so this stays small): the core
    // reads edits, check boxes, lamps and buttons back, e.g. a cell's "switched off" lamp.
    void setText(const QString& c, const QString& t) override { texts[c] = t; }
    QString text(const QString& c) const override { return texts.value(c); }
    void setEditLabel(const QString&, const QString&) override {}
    QString editLabel(const QString&) const override { return {}; }
    void setEnabled(const QString&, bool) override {}
    void setLedOn(const QString& c, bool on) override { leds[c] = on; }
    bool ledOn(const QString& c) const override { return leds.value(c); }
    void setDown(const QString& c, bool down) override { downs[c] = down; }
    bool isDown(const QString& c) const override { return downs.value(c); }
    void setBackground(const QString&, Rgb) override {}
    void setChecked(const QString& c, bool on) override { checked[c] = on; }
    bool isChecked(const QString& c) const override { return checked.value(c); }
    void setItemIndex(const QString&, int) override {}
    int itemIndex(const QString&) const override { return -1; }
    void setConnectionItem(int, const QString&, bool) override {}
    void setValueList(const QString&, const QStringList&) override {}
    QStringList valueList(const QString&) const override { return {}; }
    void setChartTitle(const QString&) override {}
    void setBottomAxisMax(double) override {}
    void setLeftAxisRange(double, double) override {}
    void setLeftAxisTitle(const QString&) override {}
    void setSeriesTitle(int, const QString&) override {}
    void appendSeries(int, std::span<const double>, std::span<const double>) override {}
    void clearSeries(int) override {}
    void replotChart() override {}
    void addLogLine(const QString&) override {}
    void setStatusText(const QString&) override {}

    QHash<QString, QString> texts;
    QHash<QString, bool> checked;
    QHash<QString, bool> leds;
    QHash<QString, bool> downs;
};

class NullDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString&) override { shown << text; }
    void information(const QString& text) override { shown << text; }
    void error(const QString& text) override { shown << text; }
    // The file dialogs answer with `fileName`.
    QString saveFileName(const QString&, const QString&) override { return fileName; }
    QString openFileName(const QString&, const QString&) override { return fileName; }

    QStringList shown;
    QString fileName;
};

} // namespace korvat::bench
