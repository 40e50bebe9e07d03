#include "run/Inputs.h"

#include "run/RunView.h"

namespace korvat {

void Inputs::set(Input input, const QString& text) {
    texts_[index(input)] = text;
    if (view_)
        view_->inputShown(input, text);
}

void Inputs::setLabel(Input input, const QString& text) {
    labels_[index(input)] = text;
    if (view_)
        view_->inputLabelShown(input, text);
}

void Inputs::setChecked(Check check, bool on) {
    checks_[static_cast<int>(check)] = on;
    if (view_)
        view_->checkShown(check, on);
}

} // namespace korvat
