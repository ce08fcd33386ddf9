// The command line of drivelink-cli: options and operands as the shell passes them (separated
// by NUL bytes here), the strict numbers and the file names. A number is taken only when its
// text is exactly a number; a file name converts back to exactly the bytes it came from.

#include "FuzzInput.h"
#include "cli/CliFileName.h"
#include "cli/CliOptions.h"

#include <climits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QByteArray all = in.rest();
    QStringList arguments;
    for (const QByteArray &argument : all.split('\0')) {
        const QString text = CliFileName::fromArgument(argument);
        FUZZ_CHECK(CliFileName::toNative(text) == argument);
        arguments << text;

        int value = 0;
        if (CliOptions::parseInteger(text, INT_MIN, INT_MAX, value)) {
            // Nothing but an optional sign and digits, or 0x and hexadecimal digits.
            const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
            for (qsizetype i = hex ? 2 : 0; i < text.size(); ++i) {
                const QChar c = text[i];
                const bool digit =
                    hex ? QStringLiteral("0123456789abcdefABCDEF").contains(c)
                        : (c.isDigit() && c.unicode() < 0x80) ||
                              (i == 0 && (c == QLatin1Char('+') || c == QLatin1Char('-')));
                FUZZ_CHECK(digit);
            }
            if (!hex)
                FUZZ_CHECK(text.toLongLong() == value);
        }
        QList<int> addresses;
        if (CliOptions::parseAddressRange(text, addresses)) {
            for (const int address : addresses)
                FUZZ_CHECK(address >= 0 && address < 32);
        }
    }
    CliOptions options;
    QString error;
    if (options.parse(arguments, &error)) {
        FUZZ_CHECK(options.address >= -1 && options.address < 32);
        for (const int address : options.addresses)
            FUZZ_CHECK(address >= 0 && address < 32);
        FUZZ_CHECK(options.value >= -32768 && options.value <= 0xFFFF);
        FUZZ_CHECK(options.registerNumber >= -1 && options.registerNumber <= 0xFFFF);
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }
    CliOptions::usage();
    return 0;
}
