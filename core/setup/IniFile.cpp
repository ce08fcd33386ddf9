#include "setup/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <unistd.h>

namespace {

IniFile::BeforeRenameHook &beforeRenameHook()
{
    static IniFile::BeforeRenameHook hook;
    return hook;
}

// Names and keys match case-insensitively with surrounding blanks ignored.
QString folded(const QString &name)
{
    return name.trimmed().toCaseFolded();
}

// A line break cannot be stored in an INI line; it becomes a blank.
QString singleLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool isQuoted(const QString &value)
{
    return value.size() >= 2 && value.front() == QLatin1Char('"') &&
           value.back() == QLatin1Char('"');
}

// Values are trimmed on reading, so a value with surrounding blanks (or one that is itself
// quoted) is written in double quotes, which reading removes again.
QString quoteValue(const QString &value)
{
    if (value != value.trimmed() || isQuoted(value))
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

QString unquoteValue(const QString &value)
{
    return isQuoted(value) ? value.mid(1, value.size() - 2) : value;
}

// Strict integer syntax: optional sign and decimal digits, or "0x"/"0X" and up to 32 bits of
// hexadecimal (taken as the bit pattern, so "0xFFFFFFFF" is -1).
std::optional<int> parseInteger(const QString &raw)
{
    const QString text = raw.trimmed();
    if (text.size() > 2 && text[0] == QLatin1Char('0') &&
        (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
        if (text.size() > 10)
            return std::nullopt;
        uint32_t value = 0;
        for (qsizetype i = 2; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            uint32_t digit;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            else
                return std::nullopt;
            value = (value << 4) | digit;
        }
        return static_cast<int>(value);
    }

    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<int>(value);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes the rename itself durable; a failure here does not undo a completed save.
void syncDirectory(const QByteArray &directory)
{
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

// --- sections --------------------------------------------------------------------------

const IniFile::Entry *IniFile::Section::find(const QString &key) const
{
    const auto it = index.constFind(folded(singleLine(key)));
    return it == index.constEnd() ? nullptr : &entries[*it];
}

IniFile::Entry *IniFile::Section::find(const QString &key)
{
    const auto it = index.constFind(folded(singleLine(key)));
    return it == index.constEnd() ? nullptr : &entries[*it];
}

void IniFile::Section::reindex()
{
    index.clear();
    for (qsizetype i = 0; i < entries.size(); ++i)
        index.insert(folded(entries[i].key), i);
}

const IniFile::Section *IniFile::findSection(const QString &name) const
{
    const auto it = m_sectionIndex.constFind(folded(singleLine(name)));
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[*it];
}

IniFile::Section *IniFile::findSection(const QString &name)
{
    const auto it = m_sectionIndex.constFind(folded(singleLine(name)));
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[*it];
}

IniFile::Section &IniFile::sectionFor(const QString &name)
{
    if (Section *existing = findSection(name))
        return *existing;
    // Indexed in the form it is stored and written in, so the name finds it again after a
    // save and load.
    m_sections.append(Section{singleLine(name), {}, {}});
    m_sectionIndex.insert(folded(m_sections.last().name), m_sections.size() - 1);
    return m_sections.last();
}

void IniFile::reindex()
{
    m_sectionIndex.clear();
    for (qsizetype i = 0; i < m_sections.size(); ++i)
        m_sectionIndex.insert(folded(m_sections[i].name), i);
}

// --- text ------------------------------------------------------------------------------

void IniFile::parse(const QString &text)
{
    clear();
    qsizetype current = -1; // no section yet: key lines are ignored
    // Lines end in LF, CRLF or a lone CR, whichever editor wrote them.
    QStringView rest(text);
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != QLatin1Char('\n') && rest[end] != QLatin1Char('\r'))
            ++end;
        const QStringView line = rest.left(end).trimmed();
        if (end < rest.size() && rest[end] == QLatin1Char('\r') && end + 1 < rest.size() &&
            rest[end + 1] == QLatin1Char('\n'))
            ++end;
        rest = end < rest.size() ? rest.mid(end + 1) : QStringView();
        if (line.isEmpty() || line.front() == QLatin1Char(';') || line.front() == QLatin1Char('#'))
            continue;
        if (line.front() == QLatin1Char('[')) {
            const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
            if (close < 1) {
                current = -1; // a broken header: its keys cannot be placed
                continue;
            }
            // The name keeps its blanks; only matching ignores them.
            const QString name = line.mid(1, close - 1).toString();
            const bool repeated = findSection(name) != nullptr;
            sectionFor(name);
            current = m_sectionIndex.value(folded(name));
            if (repeated)
                m_sections[current].duplicates.append(
                    QStringLiteral("section [%1] twice").arg(name.trimmed()));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (current < 0 || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toString();
        if (key.isEmpty())
            continue;
        Section &section = m_sections[current];
        if (section.find(key)) {
            // The first of duplicate keys is the one that is read.
            section.duplicates.append(QStringLiteral("key %1 twice").arg(key));
            continue;
        }
        section.entries.append({key, unquoteValue(line.mid(equals + 1).trimmed().toString())});
        section.index.insert(folded(key), section.entries.size() - 1);
    }
}

QString IniFile::toText() const
{
    QString text;
    for (qsizetype i = 0; i < m_sections.size(); ++i) {
        const Section &section = m_sections[i];
        if (i > 0)
            text += QLatin1Char('\n');
        text += QLatin1Char('[') + section.name + QStringLiteral("]\n");
        for (const Entry &entry : section.entries)
            text += entry.key + QLatin1Char('=') + quoteValue(entry.value) + QLatin1Char('\n');
    }
    return text;
}

QString IniFile::decodeWindows1251(const QByteArray &bytes)
{
    // 0x80..0xBF: Serbian, Macedonian, Ukrainian and Belarusian letters and punctuation.
    static constexpr char16_t upper[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, //
        0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, //
        0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
        0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, //
        0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, //
        0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, //
        0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, //
        0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, //
    };
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 0x80)
            text += QChar(char16_t(b));
        else if (b < 0xC0)
            text += QChar(upper[b - 0x80]);
        else // 0xC0..0xFF: А..я in alphabetical order
            text += QChar(char16_t(0x0410 + (b - 0xC0)));
    }
    return text;
}

QString IniFile::decodeFileText(const QByteArray &bytes, bool *mixed)
{
    // A byte order mark is dropped even when the rest turns out not to be UTF-8.
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    // Each line is decoded on its own: a line that is valid UTF-8 is UTF-8, any other line
    // Windows-1251. One stray byte then costs its own line, not the whole file.
    QString text;
    text.reserve(body.size());
    bool sawUtf8 = false;
    bool saw1251 = false;
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype end = start;
        while (end < body.size() && body[end] != '\n' && body[end] != '\r')
            ++end;
        if (end < body.size())
            ++end; // the line end goes with its line; it is plain ASCII in both encodings
        const QByteArrayView line(body.constData() + start, end - start);
        // Only the file's first bytes can be a byte order mark: U+FEFF within it is text.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                      QStringDecoder::Flag::ConvertInitialBom);
        const QString decoded = utf8.decode(line);
        if (!utf8.hasError()) {
            text += decoded;
            sawUtf8 = sawUtf8 || decoded.size() != line.size(); // held non-ASCII text
        } else {
            text += decodeWindows1251(line.toByteArray());
            saw1251 = true;
        }
        start = end;
    }
    if (mixed)
        *mixed = sawUtf8 && saw1251;
    return text;
}

// --- files -----------------------------------------------------------------------------

QByteArray IniFile::nativeFileName() const
{
    return m_nativeName.isEmpty() ? QFile::encodeName(m_fileName) : m_nativeName;
}

void IniFile::setNativeFileName(const QByteArray &name)
{
    m_nativeName = name;
    m_fileName = QFile::decodeName(name);
}

bool IniFile::load(QString *error)
{
    clear();
    m_mixedEncoding = false;
    const QByteArray native = nativeFileName();
    struct stat info;
    if (::stat(native.constData(), &info) != 0)
        return true; // a missing file is an empty profile
    if (S_ISDIR(info.st_mode)) {
        setError(error, QStringLiteral("\"%1\" is a directory").arg(m_fileName));
        return false;
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString why = fd < 0 ? systemError(errno) : file.errorString();
        if (fd >= 0)
            ::close(fd);
        setError(error, QStringLiteral("Cannot open \"%1\": %2").arg(m_fileName, why));
        return false;
    }
    // The size is checked first and only what is there is read; a file that reports no size
    // (or grows) is read in pieces up to one byte past the limit.
    if (file.size() > MaxFileSize) {
        setError(error, QStringLiteral("\"%1\" is larger than %2 bytes and is not read")
                            .arg(m_fileName)
                            .arg(MaxFileSize));
        return false;
    }
    QByteArray data;
    data.reserve(file.size());
    while (data.size() <= MaxFileSize) {
        const QByteArray piece =
            file.read(std::min<qint64>(64 * 1024, MaxFileSize + 1 - data.size()));
        if (piece.isEmpty())
            break;
        data += piece;
    }
    if (file.error() != QFileDevice::NoError) {
        setError(error,
                 QStringLiteral("Cannot read \"%1\": %2").arg(m_fileName, file.errorString()));
        return false;
    }
    if (data.size() > MaxFileSize) {
        setError(error, QStringLiteral("\"%1\" is larger than %2 bytes and is not read")
                            .arg(m_fileName)
                            .arg(MaxFileSize));
        return false;
    }
    parse(decodeFileText(data, &m_mixedEncoding));
    return true;
}

bool IniFile::save(QString *error) const
{
    if (m_fileName.isEmpty() && m_nativeName.isEmpty()) {
        setError(error, QStringLiteral("No file name to save to"));
        return false;
    }
    // Names are handled as the bytes the system knows them by, so a name that is not valid
    // UTF-8 is written where it was asked for.
    QByteArray target = nativeFileName();
    // A symbolic link stays a link: the file it points to is replaced.
    struct stat info;
    if (::lstat(target.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        QByteArray link(4096, '\0');
        const ssize_t length = ::readlink(target.constData(), link.data(), size_t(link.size()));
        if (length > 0 && length < link.size()) {
            link.truncate(length);
            const qsizetype slash = target.lastIndexOf('/');
            target = link.startsWith('/') || slash < 0 ? link : target.left(slash + 1) + link;
        }
    }
    const QString shown = QFile::decodeName(target);
    const bool exists = ::stat(target.constData(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        setError(error, QStringLiteral("\"%1\" is a directory").arg(shown));
        return false;
    }
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray directory = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/")
                                                                          : target.left(slash);
    struct stat folder;
    if (::stat(directory.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        setError(error, QStringLiteral("Cannot save \"%1\": the folder \"%2\" does not exist")
                            .arg(shown, QFile::decodeName(directory)));
        return false;
    }

    QByteArray tempName = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        setError(error, QStringLiteral("Cannot create a temporary file in \"%1\": %2")
                            .arg(QFile::decodeName(directory), systemError(errno)));
        return false;
    }
    const QString shownTemp = QFile::decodeName(tempName);
    // Whatever fails below, no temporary file is left behind.
    const auto fail = [&](const QString &text) {
        ::unlink(tempName.constData());
        setError(error, text);
        return false;
    };
    {
        QFile temp;
        if (!temp.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return fail(QStringLiteral("Cannot write \"%1\": %2").arg(shownTemp, temp.errorString()));
        }
        const QByteArray data = toText().toUtf8();
        if (temp.write(data) != data.size() || !temp.flush())
            return fail(QStringLiteral("Cannot write \"%1\": %2").arg(shownTemp, temp.errorString()));
        if (::fsync(fd) != 0)
            return fail(QStringLiteral("Cannot write \"%1\" to disk: %2")
                            .arg(shownTemp, systemError(errno)));
        // The replacement keeps the permissions of the file it replaces; a new file is
        // readable by everyone and writable by its owner.
        ::fchmod(fd, exists ? (info.st_mode & 07777) : 0644);
    }

    if (const BeforeRenameHook &hook = beforeRenameHook(); hook && !hook(shownTemp, shown))
        return fail(QStringLiteral("Cannot replace \"%1\"").arg(shown));
    if (::rename(tempName.constData(), target.constData()) != 0)
        return fail(QStringLiteral("Cannot replace \"%1\": %2").arg(shown, systemError(errno)));
    syncDirectory(directory);
    return true;
}

void IniFile::setBeforeRenameHook(BeforeRenameHook hook)
{
    beforeRenameHook() = std::move(hook);
}

// --- values ----------------------------------------------------------------------------

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    const Section *s = findSection(section);
    const Entry *entry = s ? s->find(key) : nullptr;
    return entry ? entry->value : defaultValue;
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const Section *s = findSection(section);
    const Entry *entry = s ? s->find(key) : nullptr;
    if (!entry)
        return defaultValue;
    return parseInteger(entry->value).value_or(defaultValue);
}

std::optional<int> IniFile::readIntegerValue(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    const Entry *entry = s ? s->find(key) : nullptr;
    return entry ? parseInteger(entry->value) : std::nullopt;
}

bool IniFile::readBool(const QString &section, const QString &key, bool defaultValue) const
{
    const Section *s = findSection(section);
    const Entry *entry = s ? s->find(key) : nullptr;
    if (!entry)
        return defaultValue;
    const std::optional<int> value = parseInteger(entry->value);
    return value ? *value != 0 : defaultValue;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    Section &s = sectionFor(section);
    const QString line = singleLine(value);
    if (Entry *entry = s.find(key)) {
        entry->value = line;
        return;
    }
    s.entries.append({singleLine(key), line});
    s.index.insert(folded(s.entries.last().key), s.entries.size() - 1);
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList IniFile::duplicates(const QString &section) const
{
    const Section *found = findSection(section);
    return found ? found->duplicates : QStringList();
}

bool IniFile::sectionExists(const QString &section) const
{
    return findSection(section) != nullptr;
}

bool IniFile::valueExists(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    return s && s->find(key);
}

QStringList IniFile::sections() const
{
    QStringList names;
    for (const Section &section : m_sections)
        names << section.name;
    return names;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    if (const Section *s = findSection(section))
        for (const Entry &entry : s->entries)
            names << entry.key;
    return names;
}

void IniFile::eraseSection(const QString &section)
{
    const auto it = m_sectionIndex.constFind(folded(singleLine(section)));
    if (it == m_sectionIndex.constEnd())
        return;
    m_sections.removeAt(*it);
    reindex();
}

void IniFile::deleteKey(const QString &section, const QString &key)
{
    Section *s = findSection(section);
    if (!s)
        return;
    const auto it = s->index.constFind(folded(singleLine(key)));
    if (it == s->index.constEnd())
        return;
    s->entries.removeAt(*it);
    s->reindex();
}
