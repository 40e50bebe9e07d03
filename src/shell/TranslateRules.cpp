#include "shell/TranslateRules.h"

#include "shell/StringTable.h"

namespace korvat {

namespace {
// The radio group's two items are the test standards; they are fixed texts, not derived from the
// group's own Tag.
constexpr int kStandardAstmText = 9;
constexpr int kStandardEnText = 10;
} // namespace

QStringList translatedCaptions(ControlKind kind, int tag, int languageOffset)
{
    if (tag == 0)
        return {};

    const auto text = [languageOffset](int n) { return LoadLangText(languageOffset, n); };

    switch (kind) {
    case ControlKind::ValueListEditor:
        return {text(tag), text(tag + 1)};
    case ControlKind::TabSheet:
    case ControlKind::Label:
    case ControlKind::GroupBox:
    case ControlKind::CheckBox:
    case ControlKind::PushButton:
    case ControlKind::SpeedButton:
    case ControlKind::LabelledMemo:
    case ControlKind::Led:
        return {text(tag)};
    case ControlKind::RadioGroup:
        return {text(tag), text(kStandardAstmText), text(kStandardEnText)};
    case ControlKind::Edit:
    case ControlKind::LabelledEdit:
    case ControlKind::Memo:
    case ControlKind::PageControl:
    case ControlKind::CheckListBox:
    case ControlKind::StatusBar:
    case ControlKind::PlatformLabel:
    case ControlKind::Other:
        return {};
    }
    return {};
}

} // namespace korvat
