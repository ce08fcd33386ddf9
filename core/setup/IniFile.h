#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// An INI file with the profile semantics setup files rely on: sections and keys are matched
// case-insensitively with surrounding blanks ignored, while names are written back exactly as
// first given (so "  ПЧ     #0" keeps its blanks); key order is kept; reads take a default.
// The whole file is held in memory: load() reads it, save() replaces it atomically.
// Files are written as UTF-8. Reading decides line by line: a line that is not valid UTF-8 is
// read as Windows-1251, the code page of setup files written by older Windows tools. Lines
// end in LF, CRLF or CR.
class IniFile
{
public:
    // Larger files are refused: a setup file is a few hundred kilobytes at most.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    IniFile() = default;
    explicit IniFile(const QString &fileName) : m_fileName(fileName) {}

    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName)
    {
        m_fileName = fileName;
        m_nativeName.clear();
    }
    // The name as the bytes the system knows the file by; for names that are not valid
    // UTF-8, which a QString cannot carry through QFile::encodeName.
    void setNativeFileName(const QByteArray &name);
    QByteArray nativeFileName() const;

    // Reads the file; a missing file gives an empty profile and true. False with a reason
    // when the file exists but cannot be read (the profile is then left empty).
    bool load(QString *error = nullptr);
    // Writes a temporary file beside the target and renames it over the target, so an
    // interrupted save leaves the previous file whole. False with a reason on failure.
    bool save(QString *error = nullptr) const;

    // Parses INI text (used by load(); handy for tests).
    void parse(const QString &text);
    QString toText() const;

    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue = QString()) const;
    // Decimal text (or "0x"/"0X" hexadecimal); anything else gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;
    // The value as an integer in the syntax readInteger takes; none when the key is missing
    // or its text is not an integer.
    std::optional<int> readIntegerValue(const QString &section, const QString &key) const;
    // An integer value: non-zero is true, zero false; anything else gives the default.
    bool readBool(const QString &section, const QString &key, bool defaultValue) const;

    // A value with surrounding blanks is written in double quotes so it reads back whole;
    // line breaks, which a line cannot hold, are stored as blanks.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    // Written as "1" or "0".
    void writeBool(const QString &section, const QString &key, bool value);

    // What the last parse found repeated in a section: "section [name] twice" and "key KEY
    // twice" (the first of each is the one read).
    QStringList duplicates(const QString &section) const;

    bool sectionExists(const QString &section) const;
    bool valueExists(const QString &section, const QString &key) const;
    QStringList sections() const;
    QStringList keys(const QString &section) const;
    void eraseSection(const QString &section);
    void deleteKey(const QString &section, const QString &key);
    void clear()
    {
        m_sections.clear();
        m_sectionIndex.clear();
    }

    // Decodes Windows-1251 text (the Cyrillic code page); undefined byte 0x98 gives U+FFFD.
    static QString decodeWindows1251(const QByteArray &bytes);
    // Decodes file contents line by line: UTF-8 (a leading byte order mark is dropped), or
    // Windows-1251 for a line that is not valid UTF-8. *mixed tells whether non-ASCII UTF-8
    // lines and Windows-1251 lines were both found.
    static QString decodeFileText(const QByteArray &bytes, bool *mixed = nullptr);
    // The last load() found lines in both encodings; worth a word to the operator, since an
    // edit by another editor may have garbled some of them.
    bool mixedEncoding() const { return m_mixedEncoding; }

    // Called by save() after the temporary file is written and synced, just before it is
    // renamed over the target; returning false makes the save fail there, as a failed rename
    // would. For tests of the failure path; null (the default) removes the hook.
    using BeforeRenameHook = std::function<bool(const QString &tempName, const QString &target)>;
    static void setBeforeRenameHook(BeforeRenameHook hook);

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    struct Section
    {
        QString name;
        QList<Entry> entries;
        QHash<QString, qsizetype> index; // folded key -> position in entries
        QStringList duplicates;          // found by parse()

        const Entry *find(const QString &key) const;
        Entry *find(const QString &key);
        void reindex();
    };

    const Section *findSection(const QString &name) const;
    Section *findSection(const QString &name);
    Section &sectionFor(const QString &name);
    void reindex();

    QString m_fileName;
    QByteArray m_nativeName;
    bool m_mixedEncoding = false;
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionIndex; // folded name -> position in m_sections
};
