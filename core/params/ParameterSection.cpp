#include "params/ParameterSection.h"

#include "bus/TDM.h"
#include "params/EditorPlans.h"
#include "params/ParameterValue.h"
#include "setup/IniFile.h"

const QString ParameterSection::IncompleteKey = QStringLiteral("Incomplete");


QString ParameterSection::modelOf(const QString &typeName)
{
    if (typeName == QLatin1String("KX100") || typeName == QLatin1String("KX200"))
        return typeName;
    return QStringLiteral("KX300");
}

ParameterSection ParameterSection::read(const IniFile &ini, int slot)
{
    ParameterSection section;
    section.slot = slot;
    const QString name = TDM::SectionName(slot);
    section.enabled = ini.readString(name, QStringLiteral("Enable"), QStringLiteral("false")) ==
                      QLatin1String("true");
    section.model = modelOf(ini.readString(name, QStringLiteral("TypeName")));
    for (const QString &key : ini.readString(name, IncompleteKey).split(QLatin1Char(','))) {
        if (!key.trimmed().isEmpty())
            section.incomplete.append(key.trimmed());
    }
    for (const QString &key : ini.keys(name))
        section.values.insert(key.trimmed().toLower(),
                              {ini.readString(name, key), ini.readIntegerValue(name, key)});
    section.duplicates = ini.duplicates(name);
    return section;
}

bool ParameterSection::isIncomplete(const QString &key) const
{
    return incomplete.contains(key, Qt::CaseInsensitive);
}

ParameterSection::Checked ParameterSection::check(Mode mode) const
{
    Checked checked;
    const int addressRegister = TDM::AddressRegisterOf(model);
    for (const ParameterTransfer::Plan &plan : EditorPlans::forModel(model)) {
        if (plan.uploadOnly)
            continue;
        for (int entry = 0; entry < plan.count(); ++entry) {
            const ParameterRow &row = plan.rows[entry];
            // A restore also writes the settings the editor's download passes over.
            const bool written = mode == Mode::AsRead ? EditorPlans::isSetting(plan, entry)
                                                      : !plan.downloadSkip.contains(entry);
            if (!written || row.registerNumber == addressRegister)
                continue;
            // Only the unread values a download would write keep the section from the drive.
            if (isIncomplete(row.key)) {
                checked.unread.append(row.key);
                continue;
            }
            const auto refuse = [&](const QString &why, bool forcible) {
                const QString problem = row.code + QStringLiteral(": ") + why;
                checked.problems.append(problem);
                (forcible ? checked.forcibleProblems : checked.refusedProblems).append(problem);
                (forcible ? checked.forcible : checked.refused).insert(row.key);
            };
            const auto found = values.constFind(row.key.toLower());
            if (found == values.constEnd()) {
                refuse(QStringLiteral("missing"), false);
                continue;
            }
            if (!found->value) {
                refuse(QStringLiteral("\"%1\" is not an integer").arg(found->text), false);
                continue;
            }
            // Older KX300 backups hold unsigned words above 32767 sign-extended.
            const bool signExtended = mode == Mode::AsRead && model == QLatin1String("KX300");
            const ParameterValue::Check verdict =
                ParameterValue::check(row, *found->value, signExtended);
            if (verdict.verdict == ParameterValue::Verdict::RegisterImpossible) {
                refuse(verdict.why, false);
                continue;
            }
            if (verdict.verdict == ParameterValue::Verdict::FieldInvalid &&
                mode == Mode::Edited)
                refuse(verdict.why, true);
            checked.values.insert(row.key, verdict.value);
        }
    }
    return checked;
}
