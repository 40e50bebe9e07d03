#pragma once
// A view and dialogs that show nothing, for benchmarks that measure the core alone.

#include "shell/FormView.h"
#include "util/Dialogs.h"

#include <QHash>

namespace korvat::bench {

class NullView final : public FormView {
public:
    void setWindowCaption(const QString&) override {}
    // Texts are kept (one per control, so this stays small): handlers read their edits back.
    void setText(const QString& c, const QString& t) override { texts[c] = t; }
    QString text(const QString& c) const override { return texts.value(c); }
    void setEditLabel(const QString&, const QString&) override {}
    QString editLabel(const QString&) const override { return {}; }
    void setEnabled(const QString&, bool) override {}
    void setLedOn(const QString&, bool) override {}
    bool ledOn(const QString&) const override { return false; }
    void setDown(const QString&, bool) override {}
    bool isDown(const QString&) const override { return false; }
    void setBackground(const QString&, Rgb) override {}
    void setChecked(const QString&, bool) override {}
    bool isChecked(const QString&) const override { return false; }
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
};

class NullDialogs final : public Dialogs {
public:
    void message(const QString&, const QString&) override {}
    void information(const QString&) override {}
    void error(const QString&) override {}
    QString saveFileName(const QString&, const QString&) override { return {}; }
    QString openFileName(const QString&, const QString&) override { return {}; }
};

} // namespace korvat::bench
