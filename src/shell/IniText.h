#pragma once
// The settings file as text, in memory: its bytes turned into lines, with the encoding, byte-order
// mark and line ends they came in, and those lines turned back into bytes. No file access here, so
// every byte pattern can be tried on it directly.
//
// Recognised:
//  - UTF-16, little or big endian, by its byte-order mark;
//  - UTF-8 with its byte-order mark, or without one when the whole file is valid UTF-8 and holds
//    at least one multi-byte sequence (a modern editor's "SampleArea(cm²)");
//  - anything else is Windows-1252, which gives every byte a character of its own and back.
// Line ends CR LF, LF and CR alone are all line ends; each line keeps its own.
//
// Every line keeps the bytes it was read from, so a document encoded without an edit is the input
// again byte for byte, and an edit changes the bytes of the edited line only: a missing final line
// end stays missing, the byte-order mark stays, a line with odd bytes elsewhere stays as it was.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

namespace korvat {

enum class IniEncoding { Windows1252, Utf8, Utf16LE, Utf16BE };
enum class IniLineEnd { None, CrLf, Lf, Cr };

// What the bytes are, for the program that wants its settings from them.
enum class IniVerdict {
    Settings,    // lines with at least one [section]
    Empty,       // nothing but blanks, line ends and perhaps a byte-order mark
    NotSettings, // binary data, or text without a single [section]: `reason` says which
};

struct IniLine {
    QString text;                      // without its line end
    QByteArray raw;                    // the bytes read, without the line end; unused once edited
    IniLineEnd end = IniLineEnd::CrLf; // None only for a last line that had none
    bool edited = false;
};

struct IniDocument {
    IniEncoding encoding = IniEncoding::Windows1252;
    bool byteOrderMark = false;
    // The line end of lines the program adds: the one most lines of the file have.
    IniLineEnd lineEnd = IniLineEnd::CrLf;
    std::vector<IniLine> lines;
    IniVerdict verdict = IniVerdict::Empty;
    QString reason; // why the bytes are NotSettings, in words for the operator

    // A new line's text replaces line `index`'s; its line end stays.
    void setText(std::size_t index, const QString& text);
    // A new line before line `index` (`index` == lines.size(): at the end). Appended after a last
    // line without a line end, the new line becomes the one without.
    void insert(std::size_t index, const QString& text);
};

// Never fails: bytes that are no settings give a document all the same (lossless, Windows-1252)
// with the verdict NotSettings.
IniDocument decodeIniText(const QByteArray& bytes);
// The document's bytes: unedited lines as they were read, edited and new ones in the document's
// encoding (characters Windows-1252 lacks become "?").
QByteArray encodeIniText(const IniDocument& document);

// "Windows-1252", "UTF-8", "UTF-16 LE", "UTF-16 BE".
QString iniEncodingName(IniEncoding encoding);

} // namespace korvat
