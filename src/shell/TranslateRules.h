#pragma once
// Which captions the start-up translation walk sets on a tagged control, by the control's kind.
// The window maps each of its widgets to one of these kinds; the rules themselves need no widget.

#include <QString>
#include <QStringList>

namespace korvat {

enum class ControlKind {
    ValueListEditor, // column 0 title := text Tag, column 1 title := text Tag + 1
    TabSheet,        // caption := text Tag
    Label,
    GroupBox,
    CheckBox,
    PushButton,
    SpeedButton,
    RadioGroup,   // caption := text Tag, item 0 := text 9, item 1 := text 10
    LabelledMemo, // caption of the attached label := text Tag
    Led,          // caption := text Tag
    // Kinds the walk leaves alone even when tagged:
    Edit,
    LabelledEdit,
    Memo,
    PageControl,
    CheckListBox,
    StatusBar,
    PlatformLabel,
    Other,
};

// The captions the walk assigns, in the order listed above for the kind (one for most kinds, two
// for a value list editor, three for a radio group). Empty when the kind is not translated or the
// Tag is 0.
QStringList translatedCaptions(ControlKind kind, int tag, int languageOffset);

} // namespace korvat
