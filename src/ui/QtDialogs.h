#pragma once
// The program's message boxes and file dialogs as modal Qt dialogs over the main window.

#include "util/Dialogs.h"

class QWidget;

namespace korvat {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}

    void message(const QString& text, const QString& caption = {}) override;
    void information(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;
    // An empty folder starts where the previous dialog of the same kind ended; a file path
    // starts in its folder with that name proposed. A filter in the "text|patterns|..." form
    // is understood as well as Qt's own "text (patterns);;..." form.
    QString saveFileName(const QString& folder, const QString& filter) override;
    QString openFileName(const QString& folder, const QString& filter) override;

private:
    QWidget* m_parent;
    QString m_lastSave;
    QString m_lastOpen;
};

// "Text files|*.txt|All|*.*" -> "Text files (*.txt);;All (*.*)"; a Qt filter passes unchanged.
QString qtFileFilter(const QString& filter);
// The extension a save dialog adds when the operator types none: that of the first pattern
// ("csv" for "*.csv"), empty when the first pattern has none or is a wildcard.
QString defaultSuffix(const QString& filter);

} // namespace korvat
