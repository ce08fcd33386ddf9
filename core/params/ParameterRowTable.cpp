#include "params/ParameterRowTable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

#include <cmath>
#include <limits>
#include <map>

// The row tables are compiled into the core library, which is static: registering the
// resource explicitly keeps the linker from dropping it.
static void registerRowResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(rows);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

constexpr int64_t int32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t int32Max = std::numeric_limits<int32_t>::max();

const QStringList &knownFields()
{
    static const QStringList fields = {"model",   "group", "index",    "code",    "key",
                                       "caption", "page",  "register", "kind",    "items",
                                       "min",     "max",   "scale",    "default", "flags"};
    return fields;
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// Reads member `name` as a whole number within [low, high].
QString readWhole(const QJsonObject &object, const QString &name, int64_t low, int64_t high,
                  int64_t &out)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined())
        return quoted(name) + QStringLiteral(" is missing");
    if (!value.isDouble())
        return quoted(name) + QStringLiteral(" is not a number");
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number)
        return quoted(name) + QStringLiteral(" is not a whole number");
    if (number < double(low) || number > double(high))
        return quoted(name) + QStringLiteral(" is out of range %1 .. %2").arg(low).arg(high);
    out = int64_t(number);
    return {};
}

QString readText(const QJsonObject &object, const QString &name, bool allowEmpty, QString &out)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined())
        return quoted(name) + QStringLiteral(" is missing");
    if (!value.isString())
        return quoted(name) + QStringLiteral(" is not a string");
    out = value.toString();
    if (!allowEmpty && out.isEmpty())
        return quoted(name) + QStringLiteral(" is empty");
    return {};
}

// Converts a bound given in shown units into register units; it must be a whole number of
// register units that fits a working-copy entry.
QString readBound(const QJsonObject &object, const QString &name, const ParameterRow &row,
                  int64_t &out)
{
    const QJsonValue value = object.value(name);
    if (!value.isDouble())
        return quoted(name) + QStringLiteral(" is not a number");
    const double raw = value.toDouble() * double(row.unitsPerShown());
    if (!std::isfinite(raw) || raw < double(int32Min) || raw > double(int32Max))
        return quoted(name) + QStringLiteral(" is out of range");
    const double rounded = std::round(raw);
    if (std::fabs(raw - rounded) > 1e-6)
        return quoted(name) + QStringLiteral(" is not a whole number of register units");
    out = int64_t(rounded);
    return {};
}

QString readFlags(const QJsonObject &object, ParameterRow &row)
{
    const QJsonValue value = object.value(QStringLiteral("flags"));
    if (value.isUndefined())
        return {};
    if (!value.isArray())
        return QStringLiteral("\"flags\" is not a list");
    QSet<QString> seen;
    for (const QJsonValue &flag : value.toArray()) {
        const QString name = flag.toString();
        if (!flag.isString() || seen.contains(name))
            return QStringLiteral("\"flags\" holds a repeated or non-text entry");
        seen.insert(name);
        if (name == QLatin1String("disabled"))
            row.disabled = true;
        else if (name == QLatin1String("readOnly"))
            row.readOnly = true;
        else if (name == QLatin1String("asterisk"))
            row.asterisk = true;
        else if (name == QLatin1String("firstItemOnly"))
            row.firstItemOnly = true;
        else if (name == QLatin1String("unsigned"))
            row.unsignedWord = true;
        else
            return QStringLiteral("unknown flag ") + quoted(name);
    }
    return {};
}

QString readField(const QJsonObject &object, ParameterRow &row)
{
    QString kind;
    if (QString error = readText(object, QStringLiteral("kind"), false, kind); !error.isEmpty())
        return error;
    const bool hasMin = object.contains(QStringLiteral("min"));
    const bool hasMax = object.contains(QStringLiteral("max"));
    const bool hasScale = object.contains(QStringLiteral("scale"));

    if (kind == QLatin1String("list")) {
        row.kind = FieldKind::List;
        if (hasMin || hasMax || hasScale)
            return QStringLiteral("a list field has no bounds or scale");
        const QJsonValue items = object.value(QStringLiteral("items"));
        if (!items.isArray() || items.toArray().isEmpty())
            return QStringLiteral("a list field needs a non-empty \"items\" list");
        for (const QJsonValue &item : items.toArray()) {
            if (!item.isString())
                return QStringLiteral("\"items\" holds a non-text entry");
            row.items.append(item.toString());
        }
        return {};
    }

    if (object.contains(QStringLiteral("items")))
        return QStringLiteral("a numeric field has no \"items\"");
    if (kind == QLatin1String("integer")) {
        row.kind = FieldKind::Integer;
        if (hasScale)
            return QStringLiteral("an integer field has no scale");
    } else if (kind == QLatin1String("fixed")) {
        row.kind = FieldKind::FixedPoint;
        const double scale = object.value(QStringLiteral("scale")).toDouble();
        for (int decimals = 1; decimals <= 3; ++decimals) {
            if (std::fabs(scale - std::pow(10.0, -decimals)) < 1e-12)
                row.decimals = decimals;
        }
        if (row.decimals == 0)
            return QStringLiteral("\"scale\" must be 0.1, 0.01 or 0.001");
    } else {
        return QStringLiteral("unknown kind ") + quoted(kind);
    }

    if (hasMin != hasMax)
        return QStringLiteral("\"min\" and \"max\" go together");
    row.bounded = hasMin;
    if (!row.bounded)
        return {};
    if (QString error = readBound(object, QStringLiteral("min"), row, row.rawMinimum);
        !error.isEmpty())
        return error;
    if (QString error = readBound(object, QStringLiteral("max"), row, row.rawMaximum);
        !error.isEmpty())
        return error;
    if (row.rawMinimum > row.rawMaximum)
        return QStringLiteral("\"min\" is above \"max\"");
    // A field never offers a value its 16-bit register cannot carry: the word written would
    // be a different number.
    if (!ParameterRow::fitsRegister(row.rawMinimum) || !ParameterRow::fitsRegister(row.rawMaximum) ||
        (row.rawMinimum < 0 && row.rawMaximum > 0x7FFF))
        return QStringLiteral("the bounds exceed what a 16-bit register carries");
    return {};
}

// One line of the table into a row; the error text is empty when the row is sound.
QString readRow(const QJsonObject &object, ParameterRow &row)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!knownFields().contains(it.key()))
            return QStringLiteral("unknown field ") + quoted(it.key());
    }
    if (QString e = readText(object, QStringLiteral("model"), false, row.model); !e.isEmpty())
        return e;
    if (QString e = readText(object, QStringLiteral("group"), true, row.group); !e.isEmpty())
        return e;
    const bool kx300 = row.model == QLatin1String("KX300");
    if (!kx300 && row.model != QLatin1String("KX100") && row.model != QLatin1String("KX200"))
        return QStringLiteral("unknown model ") + quoted(row.model);
    if (kx300 != (row.group.size() == 1 && QStringLiteral("ABCDEFHLOU").contains(row.group)))
        return QStringLiteral("group ") + quoted(row.group) +
               QStringLiteral(" does not fit model ") + row.model;

    int64_t number = 0;
    if (QString e = readWhole(object, QStringLiteral("index"), 0, int32Max, number); !e.isEmpty())
        return e;
    row.index = int(number);
    if (QString e = readText(object, QStringLiteral("code"), false, row.code); !e.isEmpty())
        return e;
    if (QString e = readText(object, QStringLiteral("key"), false, row.key); !e.isEmpty())
        return e;
    if (QString e = readText(object, QStringLiteral("caption"), true, row.caption); !e.isEmpty())
        return e;
    if (QString e = readText(object, QStringLiteral("page"), false, row.page); !e.isEmpty())
        return e;
    if (QString e = readWhole(object, QStringLiteral("register"), 0, 0xFFFF, number); !e.isEmpty())
        return e;
    row.registerNumber = int(number);
    if (QString e = readField(object, row); !e.isEmpty())
        return e;
    if (object.contains(QStringLiteral("default"))) {
        if (QString e = readWhole(object, QStringLiteral("default"), int32Min, int32Max, number);
            !e.isEmpty())
            return e;
        row.defaultValue = int32_t(number);
    }
    if (QString e = readFlags(object, row); !e.isEmpty())
        return e;

    if (row.unsignedWord && (!row.isNumeric() || row.bounded))
        return QStringLiteral("only a numeric display without bounds is shown unsigned");
    if ((row.disabled || row.firstItemOnly) && !row.isList())
        return QStringLiteral("only a list field can be disabled or show its first item only");
    if (row.asterisk != row.code.endsWith(QLatin1Char('*')))
        return QStringLiteral("the asterisk flag and the code disagree");
    if (row.isNumeric() && !row.bounded && !row.readOnly)
        return QStringLiteral("an editable numeric field needs \"min\" and \"max\"");
    return {};
}

} // namespace

QStringList ParameterRowTable::embeddedNames()
{
    QStringList names = {QStringLiteral("kx100"), QStringLiteral("kx200")};
    for (QChar group : QStringLiteral("abcdefhlou"))
        names.append(QStringLiteral("kx300_") + group);
    return names;
}

QString ParameterRowTable::kx300GroupName(QChar group)
{
    const QChar lower = group.toLower();
    if (!QStringLiteral("abcdefhlou").contains(lower))
        return {};
    return QStringLiteral("kx300_") + lower;
}

const ParameterRowTable &ParameterRowTable::embedded(const QString &name)
{
    // A node-based map: references handed out stay valid as further tables are added.
    static std::map<QString, ParameterRowTable> tables;
    auto [it, inserted] = tables.try_emplace(name);
    if (inserted)
        it->second.loadEmbedded(name);
    return it->second;
}

bool ParameterRowTable::loadEmbedded(const QString &name)
{
    if (!embeddedNames().contains(name)) {
        m_error = QStringLiteral("No built-in parameter table named ") + quoted(name);
        return false;
    }
    registerRowResources();
    return loadFile(QStringLiteral(":/params/data/") + name + QStringLiteral("_rows.jsonl"));
}

bool ParameterRowTable::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll(), path);
}

bool ParameterRowTable::parse(const QByteArray &data, const QString &source)
{
    QList<ParameterRow> rows;
    QSet<QString> codes;
    QSet<QString> keys;
    QSet<int> registers;
    QSet<QString> closedPages;

    QByteArray text = data;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QList<QByteArray> lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines.at(n).trimmed();
        if (line.isEmpty())
            continue;
        const auto fail = [&](const QString &why) {
            m_error = QStringLiteral("%1, line %2: %3").arg(source).arg(n + 1).arg(why);
            return false;
        };
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            return fail(QStringLiteral("not valid JSON (%1)").arg(parseError.errorString()));
        if (!document.isObject())
            return fail(QStringLiteral("not a JSON object"));

        ParameterRow row;
        if (QString why = readRow(document.object(), row); !why.isEmpty())
            return fail(why);

        if (row.index != rows.size())
            return fail(
                QStringLiteral("index %1 where %2 was expected").arg(row.index).arg(rows.size()));
        if (!rows.isEmpty() && (row.model != rows.first().model || row.group != rows.first().group))
            return fail(QStringLiteral("the row belongs to another window"));
        if (codes.contains(row.code))
            return fail(QStringLiteral("code ") + quoted(row.code) + QStringLiteral(" repeated"));
        if (keys.contains(row.key.toUpper()))
            return fail(QStringLiteral("key ") + quoted(row.key) + QStringLiteral(" repeated"));
        if (registers.contains(row.registerNumber))
            return fail(QStringLiteral("register %1 repeated").arg(row.registerNumber));
        // Rows of one page stay together: a page once left does not come back.
        if (!rows.isEmpty() && rows.last().page != row.page) {
            if (closedPages.contains(row.page))
                return fail(QStringLiteral("page ") + quoted(row.page) +
                            QStringLiteral(" is split"));
            closedPages.insert(rows.last().page);
        }
        codes.insert(row.code);
        keys.insert(row.key.toUpper());
        registers.insert(row.registerNumber);
        rows.append(row);
    }
    if (rows.isEmpty()) {
        m_error = source + QStringLiteral(": no rows");
        return false;
    }

    m_rows = rows;
    m_model = rows.first().model;
    m_group = rows.first().group;
    m_error.clear();
    return true;
}

const ParameterRow *ParameterRowTable::findCode(const QString &code) const
{
    for (const ParameterRow &row : m_rows) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

const ParameterRow *ParameterRowTable::findKey(const QString &key) const
{
    for (const ParameterRow &row : m_rows) {
        if (row.key.compare(key, Qt::CaseInsensitive) == 0)
            return &row;
    }
    return nullptr;
}

const ParameterRow *ParameterRowTable::findRegister(int registerNumber) const
{
    for (const ParameterRow &row : m_rows) {
        if (row.registerNumber == registerNumber)
            return &row;
    }
    return nullptr;
}

QStringList ParameterRowTable::pages() const
{
    QStringList result;
    for (const ParameterRow &row : m_rows) {
        if (result.isEmpty() || result.last() != row.page)
            result.append(row.page);
    }
    return result;
}

QList<int> ParameterRowTable::rowsOnPage(const QString &page) const
{
    QList<int> result;
    for (const ParameterRow &row : m_rows) {
        if (row.page == page)
            result.append(row.index);
    }
    return result;
}

bool ParameterRowTable::hasDefaults() const
{
    if (m_rows.isEmpty())
        return false;
    for (const ParameterRow &row : m_rows) {
        if (!row.defaultValue)
            return false;
    }
    return true;
}

QList<int32_t> ParameterRowTable::defaults() const
{
    QList<int32_t> result;
    if (!hasDefaults())
        return result;
    for (const ParameterRow &row : m_rows)
        result.append(*row.defaultValue);
    return result;
}
