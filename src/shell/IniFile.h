#pragma once
// The initialisation file, read and written one key at a time. Sections and keys match without
// regard to letter case. A file the program creates is Windows-1252 with CR LF; a file edited
// elsewhere is read in its own encoding and line ends and keeps them (IniText.h), and a write
// changes only the line of its key. Every read opens the file afresh and every write replaces it
// atomically (temporary file, then rename), so a power cut never leaves a half-written file and
// what a handler wrote is on disk when it returns. Bytes that are no settings (binary data, no
// [section]) give no values and are never written over.

#include "shell/IniText.h"

#include <QString>
#include <functional>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace korvat {

// A key of the file: its section and its name, as written.
// `value` in the shortest general form with `separator` as its decimal separator.
QString formatDecimal(double value, QChar separator);

struct IniKey {
    const char* section;
    const char* name;
    QString sectionText() const { return QString::fromUtf8(section); }
    QString nameText() const { return QString::fromUtf8(name); }
};

class IniFile {
public:
    explicit IniFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    bool exists() const;

    // Text values; longer than 2047 characters are cut when read.
    QString readString(const QString& section, const QString& key, const QString& fallback) const;
    // Decimal, "$" or "0x" hexadecimal; anything else (or a missing key) gives the fallback.
    int readInteger(const QString& section, const QString& key, int fallback) const;
    // A float with a decimal comma or point, whatever the process's locale (parseDecimal).
    // Missing key: the fallback. Text that does not parse: nullopt, with an error text that
    // names the file and the key.
    std::optional<double> readFloat(const QString& section, const QString& key, double fallback,
                                    QString* error = nullptr) const;

    QString readString(const IniKey& k, const QString& fallback) const {
        return readString(k.sectionText(), k.nameText(), fallback);
    }
    int readInteger(const IniKey& k, int fallback) const { return readInteger(k.sectionText(), k.nameText(), fallback); }
    std::optional<double> readFloat(const IniKey& k, double fallback, QString* error = nullptr) const {
        return readFloat(k.sectionText(), k.nameText(), fallback, error);
    }

    // Each returns false when the file could not be written; lastError() then names the file.
    // A float keeps the file's own decimal separator (decimalSeparator()).
    bool writeString(const QString& section, const QString& key, const QString& value);
    bool writeInteger(const QString& section, const QString& key, int value);
    bool writeFloat(const QString& section, const QString& key, double value);
    bool writeString(const IniKey& k, const QString& value) { return writeString(k.sectionText(), k.nameText(), value); }
    bool writeInteger(const IniKey& k, int value) { return writeInteger(k.sectionText(), k.nameText(), value); }
    bool writeFloat(const IniKey& k, double value) { return writeFloat(k.sectionText(), k.nameText(), value); }
    // Several keys in one replace (used when the file is created).
    struct Entry {
        QString section, key, value;
    };
    bool writeEntries(const std::vector<Entry>& entries);
    // A new file of the program's own with just these keys, whatever the file held before.
    bool replaceAll(const std::vector<Entry>& entries);

    // The decimal separator a float written to the key gets: the one its value has now, else the
    // one most of the file's numbers have, else a point for a file in English ([Language]
    // Code=US) and a comma otherwise.
    QChar decimalSeparator(const QString& section, const QString& key) const;

    // The file as it is on disk: nullopt when it is missing or cannot be read (`error` then says
    // why; it stays empty for a missing file).
    std::optional<IniDocument> read(QString* error = nullptr) const;

    const QString& lastError() const { return lastError_; }

    // Told after a single key was written with a value other than it had ("" when missing).
    using ChangeObserver = std::function<void(const QString& section, const QString& key, const QString& before,
                                              const QString& after)>;
    void onChange(ChangeObserver observer) { changeObserver_ = std::move(observer); }

private:
    std::optional<QString> lookup(const QString& section, const QString& key) const;
    bool save(const IniDocument& doc);

    QString path_;
    QString lastError_;
    ChangeObserver changeObserver_;
};

} // namespace korvat
