#include "classic/edsreader.h"

#include "classic/canvalues.h"
#include "classic/classichost.h"
#include "classic/paramentry.h"
#include "classic/sdoaddress.h"
#include "link/subindexcount.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QVariant>

#include <algorithm>

namespace {
const QString kStoredEdsIndex = QStringLiteral("1021");
// The object whose reading is traced in the log.
const QString kTracedIndex = QStringLiteral("A540");

// The INI reader splits a value at commas; the EDS means the whole text.
QString iniText(const QSettings& ini, const QString& key)
{
    const QVariant value = ini.value(key);
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

int hexNumber(QString text)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text.remove(0, 2);
    bool ok = false;
    const int value = text.toInt(&ok, 16);
    return ok ? value : 0;
}

bool isDynamicIndex(const QString& indexPart)
{
    bool ok = false;
    const uint index = indexPart.toUInt(&ok, 16);
    return ok && index >= 0xA000 && index <= 0xBFFF;
}

void addChild(ParamEntry& parent, const QString& name, const QString& subIndex)
{
    if (!parent.childNames.contains(name)) {
        parent.childNames.append(name);
        std::sort(parent.childNames.begin(), parent.childNames.end());
    }
    if (subIndex == QLatin1String("1"))
        parent.canDataType = 0;
}
}

void readEds(const QString& edsPath, ParamEntryMap& map, const ClassicHost& host)
{
    if (!QFileInfo::exists(edsPath)) {
        host.toLog(QStringLiteral("Ошибка! Файл словаря объектов не найден. ") + edsPath, false);
        return;
    }
    static const QRegularExpression sectionName(QStringLiteral("^[A-F|0-9]{4}(sub)?[A-F|0-9]*$"));
    static const QRegularExpression subEntryName(QStringLiteral("^(.*)sub(.*)$"));
    QSettings ini(edsPath, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");

    int dynamicCount = 0;
    QString lastObjectName;
    for (const QString& section : ini.childGroups()) {
        if (!sectionName.match(section).hasMatch())
            continue;
        ini.beginGroup(section);
        const QString parameterName = iniText(ini, QStringLiteral("ParameterName"));
        const QString comment = iniText(ini, QStringLiteral("Comment"));
        if (parameterName.isEmpty()) {
            ini.endGroup();
            continue;
        }
        const int canDataType = hexNumber(iniText(ini, QStringLiteral("DataType")));

        QString indexPart = section;
        QString subPart = QStringLiteral("0");
        const bool isSubEntry = section.size() > 4;
        if (isSubEntry) {
            const QRegularExpressionMatch m = subEntryName.match(section);
            if (!m.hasMatch()) { // hex digits beyond the index, but no sub-index
                ini.endGroup();
                continue;
            }
            indexPart = m.captured(1);
            subPart = m.captured(2);
            if (subPart == QLatin1String("0")) {
                if (isDynamicIndex(indexPart))
                    dynamicCount = getAutoGenSubsCnt(indexPart, host.log);
                ini.endGroup();
                continue;
            }
        }
        // Cut down to what an SDO address holds, the number would name
        // another object: "2000sub101" would read and write 2000sub1.
        uint16_t sdoIndex = 0;
        uint8_t sdoSubIndex = 0;
        if (!parseObjectAddress(indexPart, subPart, &sdoIndex, &sdoSubIndex)) {
            host.toLog(QStringLiteral("Ошибка! Индекс или субиндекс раздела вне диапазона, раздел пропущен: ") + section,
                       false);
            ini.endGroup();
            continue;
        }

        const bool dynamic = dynamicCount != 0;
        const bool traced = indexPart == kTracedIndex;
        if (traced)
            host.toLog(QStringLiteral("КОЛИЧЕСТВО ДИНАМИЧЕСКИХ ПОДИНДЕКСОВ:") + QString::number(dynamicCount), false);
        int made = 0;
        for (int k = 1; k <= (dynamic ? dynamicCount : 1); ++k) {
            const QString access = iniText(ini, QStringLiteral("AccessType"));
            const QString subIndex = dynamic ? QString::number(k, 16).toUpper() : subPart;
            const QString entryKey = dynamic ? indexPart + QStringLiteral("sub") + subIndex : section;
            const bool child = isSubEntry || dynamic;
            const QString subDisplay =
                child ? (QStringLiteral("00") + QString::number(subIndex.toInt(nullptr, 16))).right(3) : QString();
            const QString name = subDisplay + QLatin1Char(' ') + entryKey + QLatin1Char(' ') + parameterName;
            if (indexPart == kStoredEdsIndex)
                break;
            host.toLog(QStringLiteral("index: subindex:") + indexPart + QLatin1Char(' ') + subIndex, false);

            ParamEntry record;
            record.name = name;
            record.caption = entryKey + QLatin1Char(' ')
                + (dynamic ? parameterName.chopped(1) + QString::number(k) : parameterName);
            record.description = comment;
            record.canDataType = canDataType;
            record.editorType = editorTypeForCanType(canDataType);
            record.byteSize = canTypeSize(canDataType);
            record.readOnly = access == QLatin1String("ro");
            record.valueText = iniText(ini, QStringLiteral("DefaultValue"));
            record.objectIndex = indexPart;
            record.objectSubIndex = subIndex;
            if (child)
                record.parentName = lastObjectName;
            map.insert(name, record);
            if (!child)
                lastObjectName = name;
            else if (ParamEntry* parent = map.find(lastObjectName))
                addChild(*parent, name, subIndex);
            ++made;
            if (traced)
                host.toLog(indexPart, false);
        }
        if (traced)
            host.toLog(QStringLiteral("j----") + QString::number(made), false);
        if (made > 0)
            dynamicCount = 0;
        ini.endGroup();
    }
}
