#pragma once
// Dialogs that answer at once and remember every box, for headless tests.

#include "util/Dialogs.h"

#include <QStringList>

namespace korvat::test {

class RecordingDialogs : public Dialogs {
public:
    struct Box {
        QString kind, text, caption;
    };
    void message(const QString& t, const QString& c) override { boxes.append({"message", t, c}); }
    void information(const QString& t) override { boxes.append({"information", t, {}}); }
    void error(const QString& t) override { boxes.append({"error", t, {}}); }
    bool question(const QString& t) override {
        boxes.append({"question", t, {}});
        return answer;
    }
    QString saveFileName(const QString& folder, const QString& filter) override {
        lastFolder = folder;
        lastFilter = filter;
        return nextFileName;
    }
    QString openFileName(const QString& folder, const QString& filter) override {
        lastFolder = folder;
        lastFilter = filter;
        return nextFileName;
    }

    QStringList texts() const {
        QStringList out;
        for (const Box& b : boxes)
            out.append(b.text);
        return out;
    }

    QList<Box> boxes;
    QString nextFileName;
    bool answer = false; // what a question is answered
    QString lastFolder, lastFilter; // what the last file dialog was opened with
};

} // namespace korvat::test
