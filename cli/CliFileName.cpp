#include "cli/CliFileName.h"

#include <QFile>
#include <QStringDecoder>

namespace {

constexpr char16_t EscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at bytes[i], or 0 when the byte starts none.
int sequenceLength(const QByteArray &bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return uint8_t(bytes[k]); };
    const uint8_t lead = at(i);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uint8_t low = 0x80, high = 0xBF; // range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F; // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + length > bytes.size() || at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

QString CliFileName::fromArgument(const QByteArray &bytes)
{
    QString name;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int length = sequenceLength(bytes, i)) {
            // Decoded as it stands: U+FEFF is a character of the name here, no byte order
            // mark to drop.
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            name += utf8.decode(QByteArrayView(bytes.constData() + i, length));
            i += length;
        } else {
            name += QChar(char16_t(EscapeBase + uint8_t(bytes[i])));
            ++i;
        }
    }
    return name;
}

QByteArray CliFileName::toNative(const QString &name)
{
    QByteArray bytes;
    QString run; // text without escapes, encoded as a whole
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool escape = c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF &&
                            (i == 0 || !name[i - 1].isHighSurrogate());
        if (!escape) {
            run += name[i];
            continue;
        }
        bytes += QFile::encodeName(run);
        run.clear();
        bytes += char(c - EscapeBase);
    }
    return bytes + QFile::encodeName(run);
}
