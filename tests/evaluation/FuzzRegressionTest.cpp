// Faults met while fuzzing what the program reads, kept as ordinary cases: substance lists whose
// rows hold bytes the code page leaves unassigned.

#include "evaluation/SubstanceList.h"

#include <gtest/gtest.h>

using namespace korvat;

TEST(FuzzRegression, SubstanceRowsSurviveBeingWrittenBackWhateverTheirBytes) {
    // The five unassigned positions of Windows-1252 among assigned and Latin-1 bytes; each used to
    // come back as "?" the first time the factor page wrote the list back.
    for (const char byte : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) {
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(byte)));
        const QByteArray file = QByteArray("Aceton=2,05\r\nM") + byte + "th\x80l\xe4=0,5\r\n";
        const QStringList rows = decodeSubstanceList(file);
        ASSERT_EQ(rows.size(), 2);
        EXPECT_EQ(encodeSubstanceList(rows), file);
    }
}
