// Which captions the start-up translation walk gives a tagged control, by kind: one text for the
// plain captioned kinds, two column titles for a value list editor, caption plus the two fixed
// standard items for the radio group, nothing for edits, memos, page controls and the other kinds
// the walk leaves alone, and nothing at all for Tag 0.

#include "shell/TranslateRules.h"

#include "shell/StringTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvat {
namespace {

std::vector<std::string> utf8(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

struct Case {
    const char* what;
    ControlKind kind;
    int tag;
    int offset;
    std::vector<std::string> expected; // UTF-8
};

void expectCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(utf8(translatedCaptions(c.kind, c.tag, c.offset)), c.expected);
    }
}

TEST(TranslateRules, CaptionedKindsTakeTheTextOfTheirTag)
{
    expectCases({
        {"tab sheet tabStatus", ControlKind::TabSheet, 6, kGermanOffset, {"Messparameter"}},
        {"tab sheet in English", ControlKind::TabSheet, 6, kEnglishOffset, {"Measure parameter"}},
        {"label lblLimitFPD", ControlKind::Label, 47, kGermanOffset, {"Durchbruch FPD"}},
        {"label lblLimitFPD in English", ControlKind::Label, 47, kEnglishOffset,
         {"Break amount THT"}},
        {"group box groupFPD", ControlKind::GroupBox, 15, kEnglishOffset,
         {"Temperature Emmisionchamber"}},
        {"check box calibration", ControlKind::CheckBox, 44, kGermanOffset, {"Kalibrierung"}},
        {"push button Set", ControlKind::PushButton, 22, kEnglishOffset, {"Set"}},
        {"speed button btnMonitor", ControlKind::SpeedButton, 55, kGermanOffset,
         {"Monitoring\r\n      An"}},
        {"LED ledSmpOff1", ControlKind::Led, 26, kEnglishOffset, {"Off"}},
        {"LED ledZero", ControlKind::Led, 31, kGermanOffset, {"Nullgas"}},
        {"label of memoDescription", ControlKind::LabelledMemo, 51, kEnglishOffset,
         {"Experiment description"}},
    });
}

TEST(TranslateRules, ValueListEditorTakesTagAndTheFollowingTextAsColumnTitles)
{
    expectCases({
        {"ValueListEditor1 English", ControlKind::ValueListEditor, 115, kEnglishOffset,
         {"CH - Chemical", "CH - Factor"}},
        {"ValueListEditor1 German", ControlKind::ValueListEditor, 115, kGermanOffset,
         {"CH - Chemikalie", "CH - Faktor"}},
        {"ValueListEditor2 German", ControlKind::ValueListEditor, 117, kGermanOffset,
         {"S - Chemikalie", "S - Faktor"}},
    });
}

TEST(TranslateRules, RadioGroupItemsAreTheStandardsWhateverTheTag)
{
    expectCases({
        {"rgStandard English", ControlKind::RadioGroup, 11, kEnglishOffset,
         {"Standard", "ASTM F 739 (27\u00b0C)", "EN16523-1 (23\u00b0C)"}},
        {"rgStandard German", ControlKind::RadioGroup, 11, kGermanOffset,
         {"Pr\u00fcfstandard", "ASTM F 739 (27\u00b0C)", "EN16523-1 (23\u00b0C)"}},
        {"other tag, same items", ControlKind::RadioGroup, 40, kEnglishOffset,
         {"Measurestate", "ASTM F 739 (27\u00b0C)", "EN16523-1 (23\u00b0C)"}},
    });
}

TEST(TranslateRules, KindsTheWalkLeavesAloneGetNothingEvenWhenTagged)
{
    expectCases({
        {"editInfo2", ControlKind::Edit, 94, kGermanOffset, {}},
        {"page control", ControlKind::PageControl, 6, kGermanOffset, {}},
        {"labelled edit", ControlKind::LabelledEdit, 1, kEnglishOffset, {}},
        {"memo", ControlKind::Memo, 51, kGermanOffset, {}},
        {"check list box", ControlKind::CheckListBox, 12, kGermanOffset, {}},
        {"status bar", ControlKind::StatusBar, 105, kEnglishOffset, {}},
        {"platform label", ControlKind::PlatformLabel, 109, kGermanOffset, {}},
        {"other", ControlKind::Other, 29, kEnglishOffset, {}},
    });
}

TEST(TranslateRules, TagZeroIsNeverTranslated)
{
    const ControlKind translated[] = {
        ControlKind::ValueListEditor, ControlKind::TabSheet,   ControlKind::Label,
        ControlKind::GroupBox,        ControlKind::CheckBox,   ControlKind::PushButton,
        ControlKind::SpeedButton,     ControlKind::RadioGroup, ControlKind::LabelledMemo,
        ControlKind::Led,
    };
    for (ControlKind kind : translated) {
        SCOPED_TRACE(static_cast<int>(kind));
        EXPECT_TRUE(translatedCaptions(kind, 0, kGermanOffset).isEmpty());
        EXPECT_TRUE(translatedCaptions(kind, 0, kEnglishOffset).isEmpty());
    }
}

TEST(TranslateRules, MistypedTagGivesEmptyCaptionsRatherThanNone)
{
    // The caption is still set, just to nothing: the operator sees a blank control, not a stale
    // German caption in an English window.
    expectCases({
        {"label beyond the table", ControlKind::Label, 500, kEnglishOffset, {""}},
        {"editor whose second column runs off the end", ControlKind::ValueListEditor, kStringTableCount,
         kEnglishOffset, {LoadLangText(kEnglishOffset, kStringTableCount).toStdString(), ""}},
    });
}

} // namespace
} // namespace korvat
