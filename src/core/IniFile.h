#pragma once

#include "platform/FileSystem.h"

#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>
#include <vector>

namespace corvalin {

// The INI text format of the settings file, the DJ volume file, the vocabulary and phrase files
// and the news definitions file.
//
// Reading: a line "[name]" opens a section; empty lines, lines starting with ";" and every line
// before the first section are ignored; any other line is key "=" value, split at the first "=",
// both exactly as written. Sections and keys match without regard to letter case; the first
// occurrence of a key counts. Lines may end in LF or CR LF. Text is UTF-8.
//
// Writing replaces the value of an existing key in place (its line keeps its key spelling) or
// appends the key to its section (a new section goes at the end); the text is written back as each
// section's header, its entries in order and one empty line. Comments are not kept.
//
// A value object: not shared between threads.
class IniFile {
public:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
    };

    IniFile() = default;

    // A missing file reads as empty. `error` (if given) gets the reason when the file exists but
    // cannot be read; the result is then empty too.
    static IniFile load(const QString& path, QString* error = nullptr);
    static IniFile parse(const QString& text);
    // Why `bytes` are not INI text as the program writes it: "" when they are. Damage is a NUL
    // byte, bytes that are not UTF-8, or a line that is neither a section, an entry, a comment
    // (";" or "#") nor empty; such lines would be dropped by the next save.
    static QString damageIn(const QByteArray& bytes);

    QString text() const;
    // Writes the whole text back safely (temporary file, flush, rename).
    [[nodiscard]] FileResult save(const QString& path) const;

    std::optional<QString> value(const QString& section, const QString& key) const;
    bool hasSection(const QString& section) const;
    bool hasKey(const QString& section, const QString& key) const {
        return value(section, key).has_value();
    }
    QStringList sectionNames() const;
    // The entries of a section in file order (duplicates included); empty when missing.
    const std::vector<Entry>& entries(const QString& section) const;

    QString readString(const QString& section, const QString& key, const QString& def) const;
    // Decimal; a missing or malformed value gives the default.
    int readInteger(const QString& section, const QString& key, int def) const;
    // An integer, non-zero meaning true.
    bool readBool(const QString& section, const QString& key, bool def) const;
    // A time of day as written by writeTime (or the locale's short or long time text); a missing,
    // empty or unparsable value gives the default.
    QTime readTime(const QString& section, const QString& key, const QTime& def) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);
    // Written as "HH:mm:ss".
    void writeTime(const QString& section, const QString& key, const QTime& value);

    void eraseKey(const QString& section, const QString& key);
    void eraseSection(const QString& section);

private:
    Section* findSection(const QString& name);
    const Section* findSection(const QString& name) const;

    std::vector<Section> sections_;
};

} // namespace corvalin
