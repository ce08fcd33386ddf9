#include "params/ParameterSet.h"

#include <QFile>
#include <QHash>

#include <algorithm>

// The resource of a static library has to be registered by name before its first use.
static void initParameterResources()
{
    Q_INIT_RESOURCE(parameters);
}

const ParameterSet &ParameterSet::forModel(const QString &typeName)
{
    static const ParameterSet kx100 = load(QStringLiteral(":/params/data/kx100_params.tsv"));
    static const ParameterSet kx200 = load(QStringLiteral(":/params/data/kx200_params.tsv"));
    static const ParameterSet kx300 = load(QStringLiteral(":/params/data/kx300_params.tsv"));
    static const ParameterSet none;
    if (typeName == QLatin1String("KX100"))
        return kx100;
    if (typeName == QLatin1String("KX200"))
        return kx200;
    if (typeName == QLatin1String("KX300"))
        return kx300;
    return none;
}

ParameterSet ParameterSet::load(const QString &resource)
{
    initParameterResources();
    ParameterSet set;
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        set.m_error = QStringLiteral("cannot open %1").arg(resource);
        qWarning("ParameterSet: %s", qPrintable(set.m_error));
        return set;
    }
    QString error;
    if (!set.parse(QString::fromUtf8(file.readAll()), &error)) {
        set.m_error = QStringLiteral("%1: %2").arg(resource, error);
        qWarning("ParameterSet: %s", qPrintable(set.m_error));
    }
    return set;
}

bool ParameterSet::parse(const QString &text, QString *error)
{
    m_rows.clear();
    QHash<QString, int> seen;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int lineNo = 0; lineNo < lines.size(); ++lineNo) {
        const QString line = lines[lineNo].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        auto fail = [&](const QString &why) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(lineNo + 1).arg(why);
            m_rows.clear();
            return false;
        };
        if (fields.size() != 4)
            return fail(QStringLiteral("expected 4 fields, found %1").arg(fields.size()));
        ParameterDef def;
        def.key = fields[0].trimmed();
        bool okRegister = false, okIndex = false, okDefault = false;
        def.registerNumber = fields[1].trimmed().toInt(&okRegister);
        def.index = fields[2].trimmed().toInt(&okIndex);
        def.defaultValue = fields[3].trimmed().toInt(&okDefault);
        if (def.key.isEmpty())
            return fail(QStringLiteral("empty key"));
        if (!okRegister || def.registerNumber < 0 || def.registerNumber > 0xFFFF)
            return fail(QStringLiteral("bad register \"%1\"").arg(fields[1]));
        if (!okIndex || def.index < 0)
            return fail(QStringLiteral("bad index \"%1\"").arg(fields[2]));
        if (!okDefault)
            return fail(QStringLiteral("bad default \"%1\"").arg(fields[3]));
        const QString folded = def.key.toUpper();
        if (seen.contains(folded))
            return fail(QStringLiteral("key %1 repeated").arg(def.key));
        seen.insert(folded, int(m_rows.size()));
        m_rows.append(def);
    }
    return true;
}

const ParameterDef *ParameterSet::findKey(const QString &key) const
{
    const QString wanted = key.trimmed();
    for (const ParameterDef &def : m_rows)
        if (def.key.compare(wanted, Qt::CaseInsensitive) == 0)
            return &def;
    return nullptr;
}

const ParameterDef *ParameterSet::findRegister(int registerNumber) const
{
    for (const ParameterDef &def : m_rows)
        if (def.registerNumber == registerNumber)
            return &def;
    return nullptr;
}

const ParameterDef *ParameterSet::findIndex(int index) const
{
    for (const ParameterDef &def : m_rows)
        if (def.index == index)
            return &def;
    return nullptr;
}

int ParameterSet::maxIndex() const
{
    int highest = -1;
    for (const ParameterDef &def : m_rows)
        highest = std::max(highest, def.index);
    return highest;
}
