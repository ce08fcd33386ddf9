// INI load -> save -> load: what is saved loads back unchanged. The file bytes go through the
// decoding load() uses and the text save() writes; values written through the API read back
// as written (line breaks as blanks).

#include "FuzzInput.h"
#include "setup/IniFile.h"

namespace {

IniFile loaded(const QByteArray &bytes)
{
    IniFile ini;
    ini.parse(IniFile::decodeFileText(bytes));
    return ini;
}

void checkSame(const IniFile &a, const IniFile &b)
{
    FUZZ_CHECK(a.sections() == b.sections());
    for (const QString &section : a.sections()) {
        FUZZ_CHECK(a.keys(section) == b.keys(section));
        for (const QString &key : a.keys(section))
            FUZZ_CHECK(a.readString(section, key) == b.readString(section, key));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    if (mode & 1) {
        // A file as it comes.
        const IniFile first = loaded(in.rest());
        const QString saved = first.toText();
        const IniFile second = loaded(saved.toUtf8());
        checkSame(first, second);
        FUZZ_CHECK(second.toText() == saved);
        return 0;
    }
    // Values written by the program.
    IniFile ini;
    QStringList values;
    while (!in.atEnd()) {
        const QString value = QString::fromUtf8(in.bytes(in.byte() % 64));
        const QString key = QStringLiteral("k%1").arg(values.size());
        ini.writeString(QStringLiteral("S"), key, value);
        FUZZ_CHECK(ini.readString(QStringLiteral("S"), key) ==
                   QString(value)
                       .replace(QLatin1Char('\r'), QLatin1Char(' '))
                       .replace(QLatin1Char('\n'), QLatin1Char(' ')));
        values << ini.readString(QStringLiteral("S"), key);
    }
    const IniFile back = loaded(ini.toText().toUtf8());
    for (qsizetype i = 0; i < values.size(); ++i)
        FUZZ_CHECK(back.readString(QStringLiteral("S"), QStringLiteral("k%1").arg(i)) == values[i]);
    return 0;
}
