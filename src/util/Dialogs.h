#pragma once
// Every message box and file dialog goes through this wrapper, so headless tests answer them
// instead of blocking. The window implements it with modal Qt dialogs.

#include <QString>

namespace korvat {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A plain modal message box with one OK button; an empty caption leaves the program's title.
    virtual void message(const QString& text, const QString& caption = {}) = 0;
    // An information box with one OK button.
    virtual void information(const QString& text) = 0;
    // An error box (a failed conversion or file operation inside a handler).
    virtual void error(const QString& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool question(const QString& text) = 0;
    // File dialogs; an empty result means the operator cancelled.
    virtual QString saveFileName(const QString& folder, const QString& filter) = 0;
    virtual QString openFileName(const QString& folder, const QString& filter) = 0;
};

} // namespace korvat
