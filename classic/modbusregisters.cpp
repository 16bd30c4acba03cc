// The register transfers of ModbusLink: a page's register list walked in runs.
#include "classic/modbuslink.h"

#include "classic/classichost.h"
#include "classic/registervalues.h"
#include "link/connectionsettings.h"

#include <modbus.h>

#include <algorithm>

namespace {
// Calls per run before it counts as failed, and failed runs in a row that the
// link survives.
const int kCallsPerRun = 4;
const int kMaxFailedRuns = 20;
}

bool ModbusLink::readRegisters(int address, int count, quint16* into)
{
    return m_ctx && lineUsable() && modbus_read_registers(m_ctx, address, count, into) == count;
}

bool ModbusLink::writeRegisters(int address, const QVector<quint16>& words)
{
    return m_ctx && lineUsable()
        && modbus_write_registers(m_ctx, address, words.size(), words.constData()) == words.size();
}

bool ModbusLink::readRegisterParams(ParamEntryMap& map, RegisterList& list, int maxRun)
{
    return walkRuns(map, list, maxRun, Direction::Read, &list);
}

bool ModbusLink::writeRegisterParams(ParamEntryMap& map, const RegisterList& list, int maxRun)
{
    return walkRuns(map, list, maxRun, Direction::Write, nullptr);
}

bool ModbusLink::walkRuns(ParamEntryMap& map, const RegisterList& list, int maxRun, Direction direction,
                          RegisterList* readInto)
{
    const int longest = direction == Direction::Read ? kMaxReadRegisters : kMaxWriteRegisters;
    bool complete = true;
    for (const RegisterRun& run : registerRuns(list, maxRun, longest)) {
        if (run.tooLong) {
            m_host.toLog(QStringLiteral("Параметр %1 пропущен: его %2 регистров не передать одним запросом (не больше %3).")
                             .arg(list[run.first].name)
                             .arg(run.count)
                             .arg(longest),
                         false);
            complete = false;
            continue;
        }
        if (!isOpen())
            return false;
        if (transferRun(map, list, run.first, run.count, direction, readInto)) {
            m_registerFailures = 0;
            continue;
        }
        complete = false;
        if (!runFailed())
            return false;
    }
    return complete;
}

bool ModbusLink::transferRun(ParamEntryMap& map, const RegisterList& list, int first, int count,
                             Direction direction, RegisterList* readInto)
{
    const int address = list[first].address;
    QVector<quint16> words(count, 0);
    if (direction == Direction::Write) {
        for (int k = 0; k < count; ++k)
            words[k] = list[first + k].value;
        for (int k = 0; k < count; ++k) {
            if (k > 0 && list[first + k].name == list[first + k - 1].name)
                continue;
            const ParamEntry* record = map.find(list[first + k].name);
            if (!record)
                continue;
            // Only the run's own registers: a record reaching past it is cut.
            const RegisterWords own = wordsOf(*record);
            for (int w = 0; w < own.words.size(); ++w) {
                const int at = own.address + w - address;
                if (at >= 0 && at < count)
                    words[at] = own.words[w];
            }
        }
    }
    for (int call = 0; call < kCallsPerRun; ++call) {
        const bool ok = direction == Direction::Read ? readRegisters(address, count, words.data())
                                                     : writeRegisters(address, words);
        if (!ok)
            continue;
        if (direction == Direction::Read) {
            for (int k = 0; k < count; ++k) {
                mergeRegisterWord(map, list[first + k].name, words[k], list[first + k].address);
                if (readInto) // may be `list` itself
                    (*readInto)[first + k].value = words[k];
            }
        }
        return true;
    }
    return false;
}

bool ModbusLink::writeRegisterWords(const RegisterWords& words)
{
    if (!isOpen() || words.address < 0 || words.words.isEmpty() || words.words.size() > kMaxWriteRegisters)
        return false;
    for (int call = 0; call < kCallsPerRun; ++call)
        if (writeRegisters(words.address, words.words))
            return true;
    return false;
}

bool ModbusLink::runFailed()
{
    if (++m_registerFailures <= kMaxFailedRuns)
        return true;
    closeModbus();
    m_host.tools(false);
    m_registerFailures = 0;
    m_host.toLog(QStringLiteral("Не удалось получить данные. Соединение разорвано."), false);
    return false;
}

bool ModbusLink::writeRegisterBlock(const ParamEntry& block)
{
    const QString quoted = QLatin1Char('"') + block.caption + QLatin1Char('"');
    const RegisterWords words = blockWords(block);
    bool written = false;
    if (isOpen() && words.address >= 0 && words.words.size() <= kMaxWriteRegisters) {
        const int tries = 1 + std::max(0, connectionSettings().retries);
        for (int attempt = 0; attempt < tries && !written; ++attempt)
            written = writeRegisters(words.address, words.words);
    }
    if (!written) {
        m_host.toLog(QStringLiteral("Не удалось обновить параметр ") + quoted, false);
        return false;
    }
    m_host.toLog(QStringLiteral("Блок параметров ") + quoted + QStringLiteral(" успешно обновлен."), true);
    return true;
}
