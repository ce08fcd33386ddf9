#pragma once

#include "bus/TDM.h"
#include "cli/CliRunner.h"
#include "params/ParameterSet.h"
#include "sim/SimKX200.h"
#include "sim/SimulatedBus.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace CliTestSupport {

// Engine time-out of the tests: silence ends an exchange after about 400 ms, while a reply
// (delivered 250 ms after its last byte) still arrives in time.
inline const QString TimeoutOption = QStringLiteral("--timeout-ms=400");

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

inline QString readBack(FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(file);
    return QString::fromUtf8(bytes);
}

// Runs drivelink-cli in-process on the device with the tests' time-out; standard output and
// standard error go to files (so not to a terminal).
inline Run runCli(const QString &device, const QStringList &arguments)
{
    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    Run run;
    if (!out || !err)
        return run;
    run.code = CliRunner::run(
        QStringList{QStringLiteral("--port"), device, TimeoutOption} + arguments, out, err);
    run.out = readBack(out);
    run.err = readBack(err);
    return run;
}

// A whole setup-file section of a model's factory values at an address, with some keys
// changed (an empty value drops the key).
inline QString factorySection(const QString &model, int address,
                              const QMap<QString, QString> &changes = {})
{
    QString text = QStringLiteral("[%1]\nEnable=true\nTypeName=%2\n")
                       .arg(TDM::SectionName(address), model);
    for (const ParameterDef &def : ParameterSet::forModel(model).rows()) {
        const QString value = changes.value(def.key, QString::number(def.defaultValue));
        if (!value.isEmpty())
            text += def.key + QLatin1Char('=') + value + QLatin1Char('\n');
    }
    return text;
}

// A KX200 that refuses every request for one register, as a drive with a broken parameter.
class RefusingKX200 : public SimKX200
{
public:
    RefusingKX200(int address, int refusedRegister) : SimKX200(address), m_refused(refusedRegister)
    {
    }

    QByteArray handleFrame(const SimFrame &frame) override
    {
        // Addressed frames: '/', address, letter, register high, register low, ...
        if (!frame.broadcast && frame.bytes.size() >= 5 &&
            ((uint8_t(frame.bytes[3]) << 8) | uint8_t(frame.bytes[4])) == m_refused)
            return refusalReply(frame);
        return SimKX200::handleFrame(frame);
    }

private:
    int m_refused;
};

// A bus with the given inverters, serving without line delays.
inline std::unique_ptr<SimulatedBus> startBus(std::vector<std::unique_ptr<SimInverter>> inverters)
{
    auto bus = std::make_unique<SimulatedBus>();
    bus->setTiming(SimulatedBus::Timing::fast());
    for (auto &inverter : inverters)
        bus->addInverter(std::move(inverter));
    if (!bus->start())
        return nullptr;
    return bus;
}

} // namespace CliTestSupport
