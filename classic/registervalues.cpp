#include "classic/registervalues.h"

#include "classic/realtext.h"

#include <algorithm>

namespace {
bool holds(const ParamEntry& record, int address)
{
    return record.addressBegin != -1 && address >= record.addressBegin
        && address < record.addressBegin + record.registerCount();
}

// The record whose value a register of `record` goes into.
ParamEntry* holderOf(ParamEntryMap& map, ParamEntry* record, int address)
{
    if (!record->isBlock())
        return record;
    for (const QString& memberName : record->blockMembers) {
        ParamEntry* member = map.find(memberName);
        if (member && holds(*member, address))
            return member;
    }
    return record;
}

QString numberText(const ParamEntry& record, bool lastRegister)
{
    const quint64 raw = quint64(record.currentRaw);
    switch (record.dataType) {
    case ParamEntry::Int:
        if (!lastRegister)
            return QString::number(raw);
        switch (record.registerCount()) {
        case 1: return QString::number(qint16(raw & 0xFFFF));
        case 2: return QString::number(qint32(raw & 0xFFFFFFFFu));
        default: return QString::number(qint64(raw));
        }
    case ParamEntry::Float:
        return shortestText(float(floatFromBits(raw)));
    case ParamEntry::SimpleFloat:
        return QString::number(double(raw) / 10.0, 'f', 1);
    case ParamEntry::Double:
        return shortestText(doubleFromBits(raw));
    default:
        return QString::number(raw);
    }
}

void showBits(ParamEntryMap& map, const ParamEntry& parent)
{
    for (const QString& childName : parent.childNames) {
        ParamEntry* child = map.find(childName);
        if (!child || child->bitIndex < 0 || child->bitIndex > 63)
            continue;
        const bool set = (quint64(parent.currentRaw) >> child->bitIndex) & 1u;
        child->currentBool = set;
        child->currentRaw = set ? 1 : 0;
    }
}
}

RegisterWords recordWords(const ParamEntry& record)
{
    RegisterWords out;
    out.address = record.addressBegin;
    const int count = record.registerCount();
    out.words.reserve(count);
    for (int i = 0; i < count; ++i) {
        quint16 word = 0;
        if (record.dataType == ParamEntry::Hex)
            word = record.currentText.mid(4 * i, 4).toUShort(nullptr, 16);
        else if (i < 4)
            word = quint16(quint64(record.currentRaw) >> (16 * i));
        out.words.append(word);
    }
    return out;
}

RegisterWords blockWords(const ParamEntry& block)
{
    RegisterWords out;
    out.address = block.addressBegin;
    out.words.fill(0, block.registerCount());
    if (!block.ownerMap)
        return out;
    for (const QString& memberName : block.blockMembers) {
        const ParamEntry* member = block.ownerMap->find(memberName);
        if (!member || member->addressBegin == -1)
            continue;
        const RegisterWords own = recordWords(*member);
        for (int k = 0; k < own.words.size(); ++k) {
            const int at = own.address + k - out.address;
            if (at >= 0 && at < out.words.size())
                out.words[at] = own.words[k];
        }
    }
    return out;
}

RegisterWords wordsOf(const ParamEntry& record)
{
    return record.isBlock() ? blockWords(record) : recordWords(record);
}

void mergeRegisterWord(ParamEntryMap& map, const QString& name, quint16 word, int address)
{
    ParamEntry* named = map.find(name);
    if (!named)
        return;
    ParamEntry& record = *holderOf(map, named, address);
    const int count = record.registerCount();
    const int offset = address - record.addressBegin;
    if (offset < 0 || offset >= count)
        return;
    if (offset == 0) {
        record.currentBool = false;
        record.currentRaw = 0;
        record.currentText = QLatin1String("");
    }
    switch (record.dataType) {
    case ParamEntry::Hex:
        record.currentText += QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0'));
        break;
    case ParamEntry::Int:
    case ParamEntry::UInt:
    case ParamEntry::Float:
    case ParamEntry::SimpleFloat:
    case ParamEntry::Double:
    case ParamEntry::Binary:
        if (offset < 4)
            record.currentRaw = qint64(quint64(record.currentRaw) | (quint64(word) << (16 * offset)));
        record.currentText = numberText(record, offset == count - 1);
        if (record.dataType == ParamEntry::Binary)
            showBits(map, record);
        break;
    case ParamEntry::Bool:
        record.currentBool = word == 1;
        break;
    default:
        record.currentRaw = word;
        break;
    }
}

QVector<RegisterRun> registerRuns(const RegisterList& list, int maxRun, int longest)
{
    const int limit = std::clamp(maxRun, 1, longest);
    QVector<RegisterRun> runs;
    RegisterRun run;
    bool open = false;
    int i = 0;
    while (i < list.size()) {
        // The stretch of one record: it is never split between two requests.
        int end = i + 1;
        while (end < list.size() && list[end].name == list[i].name
               && list[end].address == list[end - 1].address + 1)
            ++end;
        const int length = end - i;
        const bool follows = open && list[i].address == list[i - 1].address + 1;
        if (length > limit) {
            if (open)
                runs.append(run);
            open = false;
            runs.append(RegisterRun{i, length, list[i].address, length > longest});
        } else if (follows && run.count + length <= limit) {
            run.count += length;
        } else {
            if (open)
                runs.append(run);
            run = RegisterRun{i, length, list[i].address, false};
            open = true;
        }
        i = end;
    }
    if (open)
        runs.append(run);
    return runs;
}
