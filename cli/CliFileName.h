#pragma once

#include <QByteArray>
#include <QString>

// File names from the command line, kept as the bytes the shell passed. Valid UTF-8 is
// decoded as QFile::decodeName does; a byte that is not part of valid UTF-8 is carried as the
// lone surrogate U+DC80..U+DCFF, which nothing else produces, so the name converts back to
// exactly the bytes it came from.
class CliFileName
{
public:
    static QString fromArgument(const QByteArray &bytes);
    static QByteArray toNative(const QString &name);
};
