#include "classic/paramentry.h"

#include <algorithm>

ParamEntry::ParamEntry()
    : description(QLatin1String("")),
      currentText(QLatin1String("")),
      parentName(QLatin1String("")),
      blockName(QLatin1String("")),
      scriptFormula(QLatin1String("")),
      scriptAction(QLatin1String("")),
      scriptActionTitle(QLatin1String("")),
      scriptOnChange(QLatin1String("")),
      scriptOnInit(QLatin1String("")),
      objectIndex(QLatin1String("")),
      objectSubIndex(QStringLiteral("0"))
{
}

int ParamEntry::registerCount() const
{
    return addressEnd >= addressBegin ? addressEnd - addressBegin + 1 : 1;
}

ParamEntry* ParamEntryMap::find(const QString& name)
{
    const auto it = m_records.find(name);
    return it == m_records.end() ? nullptr : &it->second;
}

const ParamEntry* ParamEntryMap::find(const QString& name) const
{
    const auto it = m_records.find(name);
    return it == m_records.end() ? nullptr : &it->second;
}

ParamEntry& ParamEntryMap::insert(const QString& name, const ParamEntry& entry)
{
    ParamEntry& stored = m_records[name];
    stored = entry;
    stored.ownerMap = this;
    return stored;
}

bool ParamEntryMap::remove(const QString& name)
{
    return m_records.erase(name) != 0;
}

QStringList ParamEntryMap::keys() const
{
    QStringList names;
    for (const auto& record : m_records)
        names << record.first;
    return names;
}

namespace {
template <typename Accept>
void appendRegisters(const ParamEntryMap& map, RegisterList& list, Accept accept)
{
    for (const auto& [key, entry] : map) {
        if (entry.addressBegin == -1 || !entry.blockName.isEmpty() || !accept(entry))
            continue;
        const int last = std::max(entry.addressBegin, entry.addressEnd);
        for (int address = entry.addressBegin; address <= last; ++address)
            list.append(RegisterEntry{key, address, 0});
    }
}
}

void registerList(const ParamEntryMap& map, RegisterList& list)
{
    appendRegisters(map, list, [](const ParamEntry&) { return true; });
}

void writableRegisterList(const ParamEntryMap& map, RegisterList& list)
{
    appendRegisters(map, list, [](const ParamEntry& entry) {
        return !entry.readOnly && !entry.constant && entry.bitIndex == -1;
    });
}

void sortRegisterList(RegisterList& list)
{
    std::stable_sort(list.begin(), list.end(),
                     [](const RegisterEntry& a, const RegisterEntry& b) { return a.address < b.address; });
}
