#pragma once

#include "SubmissionRecorder.h"
#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <cmath>

// Helpers shared by the driver tests: run an operation by name, build replies, and compare
// every field of a driver before and after decoding.
namespace DriverHarness {

// "Run", "ReadRegister 300", "WriteRegister 0xFA01", ...
inline bool runOperation(TInverterBase &driver, const QString &operation, TransactionRecord &record)
{
    const QStringList parts = operation.split(QLatin1Char(' '));
    const QString &name = parts.at(0);
    const int argument = parts.size() > 1 ? parts.at(1).toInt(nullptr, 0) : 0;
    if (name == "ReadRegister")
        driver.ReadRegister(argument, record);
    else if (name == "WriteRegister")
        driver.WriteRegister(argument, record);
    else if (name == "SendCommit")
        driver.SendCommit(record);
    else if (name == "ReadAddress")
        driver.ReadAddress(record);
    else if (name == "ReadFreqRef")
        driver.ReadFreqRef(record);
    else if (name == "ReadOutputFreq")
        driver.ReadOutputFreq(record);
    else if (name == "ReadOutputVoltage")
        driver.ReadOutputVoltage(record);
    else if (name == "ReadOutputCurrent")
        driver.ReadOutputCurrent(record);
    else if (name == "WriteAddress")
        driver.WriteAddress(record);
    else if (name == "Run")
        driver.Run(record);
    else if (name == "Stop")
        driver.Stop(record);
    else if (name == "Forward")
        driver.Forward(record);
    else if (name == "RunReverse")
        driver.RunReverse(record);
    else if (name == "AuxCommand")
        driver.AuxCommand(record);
    else if (name == "WriteFreqRef")
        driver.WriteFreqRef(record);
    else
        return false;
    return true;
}

// Builds one request with the flags and value given and checks what was submitted: exactly one
// record, the expected frame (hex text with spaces), its completion message, no reply yet, the
// caller's record holding the same request, and the driver's flags untouched. Empty when all
// hold, else the first difference.
inline QString checkRequest(TInverterBase &driver, const QString &operation, bool reverse,
                            bool running, int value, const QByteArray &frame)
{
    SubmissionRecorder main;
    driver.Reverse = reverse;
    driver.Running = running;
    TransactionRecord record;
    InitTransaction(record, &main, Msg::CommandResult, value, driver.Address);
    if (!runOperation(driver, operation, record))
        return QStringLiteral("unknown operation ") + operation;
    if (main.records.size() != 1)
        return QStringLiteral("%1 submissions instead of one").arg(main.records.size());
    if (main.frame().toHex(' ') != frame)
        return QStringLiteral("frame %1, expected %2")
            .arg(QString::fromLatin1(main.frame().toHex(' ')), QString::fromLatin1(frame));
    if (main.records[0].NotifyMessage != Msg::CommandResult)
        return QStringLiteral("completion message %1").arg(main.records[0].NotifyMessage);
    if (main.records[0].RxLength != -1)
        return QStringLiteral("a reply length before any reply");
    // The caller's own record holds the request too, for decoding its reply later.
    if (record.TxLength != main.records[0].TxLength)
        return QStringLiteral("the caller's record holds another request");
    // Building a request changes nothing in the driver.
    if (driver.Reverse != reverse || driver.Running != running)
        return QStringLiteral("building the request changed the driver's flags");
    return {};
}

// Hex text of a Modbus reply body with its CRC appended.
inline QByteArray modbusReply(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    const uint16_t crc =
        ModbusFrame::crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
    return bytes.toHex();
}

// Hex text of a slash reply body with its sum appended.
inline QByteArray slashReply(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    bytes.append(char(
        SlashFrame::sum(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()))));
    return bytes.toHex();
}

// Every observable field: flags, readouts and each Params entry ("Params[12]").
inline QMap<QString, double> snapshot(const TInverterBase &driver)
{
    QMap<QString, double> fields;
    fields["Address"] = driver.Address;
    fields["AddressConfirmed"] = driver.AddressConfirmed;
    fields["Running"] = driver.GetRunning();
    fields["Reverse"] = driver.GetReverse();
    fields["AuxFlag"] = driver.GetAuxFlag();
    fields["FreqRef"] = driver.GetFreqRef();
    fields["OutputFreq"] = driver.GetOutputFreq();
    fields["OutputVoltage"] = driver.GetOutputVoltage();
    fields["OutputCurrent"] = driver.GetOutputCurrent();
    for (int i = 0; i < driver.paramCount(); ++i)
        fields[QStringLiteral("Params[%1]").arg(i)] = driver.param(i);
    return fields;
}

// "Name=value Name=value" into a map.
inline QMap<QString, double> assignments(const QString &text)
{
    QMap<QString, double> values;
    for (const QString &item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int eq = int(item.indexOf(QLatin1Char('=')));
        values[item.left(eq)] = item.mid(eq + 1).toDouble();
    }
    return values;
}

// Sets flags and readouts named in text ("Reverse=1 Running=1").
inline void prepare(TInverterBase &driver, const QString &text)
{
    const auto values = assignments(text);
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.key() == "Running")
            driver.Running = it.value() != 0;
        else if (it.key() == "Reverse")
            driver.Reverse = it.value() != 0;
        else if (it.key() == "AuxFlag")
            driver.AuxFlag = it.value() != 0;
        else if (it.key() == "AddressConfirmed")
            driver.AddressConfirmed = it.value() != 0;
        else if (it.key() == "FreqRef")
            driver.FreqRef = float(it.value());
        else if (it.key().startsWith("Params["))
            driver.setParam(it.key().mid(7).chopped(1).toInt(), int32_t(it.value()));
    }
}

// Empty when the fields named in expected hold those values and every other field is as it
// was; otherwise a description of the first difference.
inline QString compare(const QMap<QString, double> &before, const QMap<QString, double> &after,
                       const QString &expectedText)
{
    const auto expected = assignments(expectedText);
    for (auto it = after.begin(); it != after.end(); ++it) {
        const double want = expected.contains(it.key()) ? expected[it.key()] : before[it.key()];
        if (std::abs(it.value() - want) > 1e-4)
            return QStringLiteral("%1 is %2, expected %3").arg(it.key()).arg(it.value()).arg(want);
    }
    for (auto it = expected.begin(); it != expected.end(); ++it)
        if (!after.contains(it.key()))
            return QStringLiteral("%1 does not exist").arg(it.key());
    return {};
}

} // namespace DriverHarness
