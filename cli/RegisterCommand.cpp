#include "cli/RegisterCommand.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"
#include "bus/TDM.h"
#include "bus/TInverterKX100.h"
#include "bus/TInverterKX200.h"
#include "bus/TInverterKX300.h"
#include "cli/CliExit.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "params/ParameterValue.h"
#include "serial/MessageNumbers.h"

#include <QJsonObject>

QString RegisterCommand::commandCodeName(const QString &model, int registerNumber)
{
    if (model == QLatin1String("KX100")) {
        switch (registerNumber) {
        case TInverterKX100::WriteOperation:
            return QStringLiteral("the operation word code");
        case TInverterKX100::WriteFrequency:
            return QStringLiteral("the frequency reference code");
        case TInverterKX100::RunCommand:
            return QStringLiteral("the Run command code");
        case TInverterKX100::StopCommand:
            return QStringLiteral("the Stop command code");
        case TInverterKX100::ForwardCommand:
            return QStringLiteral("the Forward command code");
        case TInverterKX100::ReverseCommand:
            return QStringLiteral("the RunReverse command code");
        default:
            return {};
        }
    }
    if (model == QLatin1String("KX300")) {
        switch (registerNumber) {
        case TInverterKX300::WriteOperation:
            return QStringLiteral("the operation word code");
        case TInverterKX300::RunCommand:
            return QStringLiteral("the Run command code");
        case TInverterKX300::StopCommand:
            return QStringLiteral("the Stop command code");
        case TInverterKX300::ForwardCommand:
            return QStringLiteral("the Forward command code");
        case TInverterKX300::ReverseCommand:
            return QStringLiteral("the RunReverse command code");
        default:
            return {};
        }
    }
    switch (registerNumber) {
    case TInverterKX200::RunCommand:
        return QStringLiteral("the Run command code");
    case TInverterKX200::StopCommand:
        return QStringLiteral("the Stop command code");
    case TInverterKX200::ForwardCommand:
        return QStringLiteral("the Forward command code");
    case TInverterKX200::ReverseCommand:
        return QStringLiteral("the RunReverse command code");
    case TInverterKX200::AuxCommandCode:
        return QStringLiteral("the AuxCommand code");
    default:
        return {};
    }
}

int RegisterCommand::read(int address, int registerNumber, const QString &model)
{
    QString why;
    if (!m_session.ensureInverter(address, model, &why)) {
        m_out.error(why);
        return CliExit::Failure;
    }
    const QString type = m_session.registry().GetTypeName(address);
    const auto record =
        m_session.exchange(address, 0, [registerNumber](TDM &dm, TransactionRecord &r) {
            return dm.ReadRegister(registerNumber, r);
        });
    if (!record) {
        m_out.error(QStringLiteral("address %1: the %2 driver cannot read register %3")
                        .arg(address)
                        .arg(type)
                        .arg(registerNumber));
        return CliExit::Failure;
    }
    int value = 0;
    if (record->Result == TransactionResult::Ok) {
        // The word in the sign of the register's table row, as the drivers store it.
        if (type == QLatin1String("KX200")) {
            const auto reply = SlashFrame::takeApart(*record, address);
            value = reply ? reply->data : 0;
        } else {
            const auto reply = ModbusFrame::takeApart(*record);
            value = reply ? reply->value : 0;
        }
        value = ParameterValue::registerWord(type, registerNumber, uint16_t(value));
    }
    return finish(address, registerNumber, QStringLiteral("read"), record->Result, value);
}

int RegisterCommand::refuseWrite(const QString &type, int registerNumber, int value, bool force)
{
    if (const QString code = commandCodeName(type, registerNumber); !code.isEmpty()) {
        m_out.error(QStringLiteral("register %1 is %2 of the %3 driver, not a register: not "
                                   "written")
                        .arg(registerNumber)
                        .arg(code, type));
        return CliExit::Usage;
    }
    // A write to the bus-address register moves the drive off the address the operator
    // addressed it by; the address setting does this knowingly.
    if (registerNumber == TDM::AddressRegisterOf(type) && !force) {
        m_out.error(QStringLiteral("register %1 is the bus address of the %2: not written. "
                                   "Use set-address OLD NEW or the program's \"Уст. адреса\" "
                                   "dialog (one drive on the line), or give --force")
                        .arg(registerNumber)
                        .arg(type));
        return CliExit::Usage;
    }
    // A register of the parameter tables takes what its row takes: a value its register
    // cannot carry in the row's sign never, one outside the field only when forced.
    if (const ParameterRow *row = ParameterValue::rowOfRegister(type, registerNumber)) {
        const ParameterValue::Check check = ParameterValue::check(*row, value);
        if (check.verdict == ParameterValue::Verdict::RegisterImpossible ||
            (check.verdict == ParameterValue::Verdict::FieldInvalid && !force)) {
            m_out.error(QStringLiteral("register %1 (%2): %3: not written%4")
                            .arg(registerNumber)
                            .arg(row->code, check.why,
                                 check.verdict == ParameterValue::Verdict::FieldInvalid
                                     ? QStringLiteral(" (--force writes it)")
                                     : QString()));
            return CliExit::Usage;
        }
    }
    return CliExit::Ok;
}

int RegisterCommand::write(int address, int registerNumber, int value, const QString &model,
                           bool force)
{
    // Refused before the bus for the model named, and again for the model that answers.
    if (!model.isEmpty()) {
        if (const int refused = refuseWrite(model, registerNumber, value, force))
            return refused;
    }
    QString why;
    // The model written to is the one that answers: --model does not stand in for the probe.
    if (const int confirmed = m_session.confirmModel(address, model, &why);
        confirmed != CliExit::Ok) {
        m_out.error(why + QStringLiteral(": not written"));
        return confirmed;
    }
    const QString type = m_session.registry().GetTypeName(address);
    if (const int refused = refuseWrite(type, registerNumber, value, force))
        return refused;
    const auto record =
        m_session.exchange(address, value, [registerNumber](TDM &dm, TransactionRecord &r) {
            return dm.WriteRegister(registerNumber, r);
        });
    if (!record) {
        m_out.error(QStringLiteral("address %1: the %2 driver cannot write register %3")
                        .arg(address)
                        .arg(type)
                        .arg(registerNumber));
        return CliExit::Failure;
    }
    return finish(address, registerNumber, QStringLiteral("write"), record->Result,
                  int(uint16_t(value)));
}

int RegisterCommand::setAddress(int oldAddress, int newAddress)
{
    QString why;
    if (!m_session.ensureInverter(oldAddress, QString(), &why)) {
        m_out.error(why + QStringLiteral(": no address set"));
        return CliExit::Failure;
    }
    const QString type = m_session.registry().GetTypeName(oldAddress);
    if (newAddress != oldAddress) {
        const QList<CliSession::Detection> taken = m_session.detect({newAddress});
        if (taken.isEmpty() || taken.first().state != InverterStateCode::NoInverter) {
            m_out.error(QStringLiteral("address %1 is in use: no address set").arg(newAddress));
            return CliExit::Failure;
        }
    }
    TDM &dm = m_session.registry();
    // A driver at the new address builds the broadcast, as the address setting does.
    const bool created = type == QLatin1String("KX100")   ? dm.CreateKX100(newAddress)
                         : type == QLatin1String("KX200") ? dm.CreateKX200(newAddress)
                                                          : dm.CreateKX300(newAddress);
    const auto record = created ? m_session.exchange(newAddress, 0,
                                                     [](TDM &registry, TransactionRecord &r) {
                                                         return registry.WriteAddress(r);
                                                     })
                                : std::nullopt;
    // A broadcast is answered by the KX200 form only; silence is the rule for the others.
    if (!record || (record->Result != TransactionResult::Ok &&
                    record->Result != TransactionResult::TimeOut)) {
        m_out.error(QStringLiteral("address %1: the address write failed: %2")
                        .arg(oldAddress)
                        .arg(CliSession::resultText(record ? record->Result
                                                           : int(TransactionResult::CommError))));
        return CliExit::Failure;
    }
    dm.RemoveInverter(oldAddress);
    const QList<CliSession::Detection> moved = m_session.detect({newAddress});
    if (moved.isEmpty() || moved.first().state != InverterStateCode::Present) {
        m_out.error(QStringLiteral("no inverter answers at address %1 after the address write")
                        .arg(newAddress));
        return CliExit::Failure;
    }
    m_out.result(QStringLiteral("address %1 %2: now at address %3")
                     .arg(oldAddress)
                     .arg(type)
                     .arg(newAddress),
                 QJsonObject{{QStringLiteral("command"), QStringLiteral("set-address")},
                             {QStringLiteral("address"), oldAddress},
                             {QStringLiteral("model"), type},
                             {QStringLiteral("newAddress"), newAddress}});
    return CliExit::Ok;
}

int RegisterCommand::finish(int address, int registerNumber, const QString &what, int result,
                            int value)
{
    const QString text = CliSession::resultText(result);
    QJsonObject object{{QStringLiteral("command"), what},
                       {QStringLiteral("address"), address},
                       {QStringLiteral("register"), registerNumber},
                       {QStringLiteral("result"), text}};
    if (result != TransactionResult::Ok) {
        if (m_out.json())
            m_out.result(QString(), object);
        m_out.error(QStringLiteral("address %1 register %2: %3")
                        .arg(address)
                        .arg(registerNumber)
                        .arg(text));
        return CliExit::Failure;
    }
    object.insert(QStringLiteral("value"), value);
    m_out.result(what == QLatin1String("read") ? QString::number(value) : text, object);
    return CliExit::Ok;
}
