#include "classic/xmlconfig.h"

#include "classic/classichost.h"
#include "classic/domwalk.h"
#include "classic/modbuslink.h"


namespace {
const int kReadRun = 30;

QString attr(const QDomElement& e, const char* name)
{
    return e.attribute(QLatin1String(name));
}

bool has(const QDomElement& e, const char* name)
{
    return e.hasAttribute(QLatin1String(name));
}

bool isTrue(const QDomElement& e, const char* name)
{
    return attr(e, name) == QLatin1String("true");
}

int number(const QString& text)
{
    return text.toInt();
}

// The elements named `tag` at or under the root, in document order. The root
// is all that is kept of a parsed file, so the search starts there.
QList<QDomElement> allElements(const QDomElement& root, const char* tag)
{
    QList<QDomElement> out;
    if (root.isNull())
        return out;
    const QString name = QLatin1String(tag);
    if (root.tagName() == name)
        out << root;
    forEachElementBelow(root, name, [&out](const QDomElement& e) { out << e; });
    return out;
}

QDomElement firstElement(const QDomElement& root, const char* tag)
{
    const QList<QDomElement> found = allElements(root, tag);
    return found.isEmpty() ? QDomElement() : found.first();
}

QString channelSuffix(int channel)
{
    return channel >= 0 ? QStringLiteral("i") + QString::number(channel) : QString();
}

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
}

XmlConfigReader::XmlConfigReader(ClassicData& data, const ClassicHost& host, ModbusLink& link)
    : m_data(data), m_host(host), m_link(link)
{
}

void XmlConfigReader::loadLists()
{
    if (m_data.listsRoot.isNull())
        return;
    for (const QDomElement& list : allElements(m_data.listsRoot, "List")) {
        ValueList pairs;
        for (QDomElement item = list.firstChildElement(); !item.isNull(); item = item.nextSiblingElement())
            pairs.append(qMakePair(item.text(), has(item, "Caption") ? attr(item, "Caption") : QString()));
        m_data.lists.insert(attr(list, "ID"), pairs);
    }
}

void XmlConfigReader::loadScripts()
{
    if (m_data.scriptsRoot.isNull())
        return;
    for (const QDomElement& script : allElements(m_data.scriptsRoot, "Script")) {
        m_data.scripts.insert(attr(script, "ID"), script.text());
    }
}

bool XmlConfigReader::loadParameterSection(ClassicPage which)
{
    ClassicPageData& page = m_data.page(which);
    m_file = page.path;
    const QDomElement parameters = firstElement(page.root, "Parameters");
    if (parameters.isNull()) {
        m_host.toLog(QStringLiteral("Ошибка! Не удалось получить список параметров (основные параметры) из "
                                    "конфигурационного файла ")
                         + page.path,
                     false);
        return false;
    }
    // Every child node counts for the position, elements or not.
    int position = 0;
    for (QDomNode child = parameters.firstChild(); !child.isNull(); child = child.nextSibling())
        parseXmlGroup(page.map, child, QString(), 0, position++);

    page.registers.clear();
    registerList(page.map, page.registers);
    sortRegisterList(page.registers);
    m_link.readRegisterParams(page.map, page.registers, kReadRun);

    if (which != ClassicPage::Info)
        readButtons(page);
    return true;
}

void XmlConfigReader::readButtons(ClassicPageData& page)
{
    const QDomElement buttons = firstElement(page.root, "Buttons");
    for (QDomElement b = buttons.firstChildElement(); !b.isNull(); b = b.nextSiblingElement()) {
        ButtonEntry button{attr(b, "Name"), attr(b, "Caption"), QLatin1String("")};
        if (has(b, "Script"))
            takeScript(attr(b, "Script"), button.script);
        page.buttons.append(button);
    }
}

void XmlConfigReader::parseXmlGroup(ParamEntryMap& map, const QDomNode& node, const QString& parentKey, int level,
                                    int position)
{
    const QDomElement e = node.toElement();
    if (e.isNull())
        return;
    const QString type = attr(e, "Type");
    const QString name = attr(e, "Name");
    if (type == QLatin1String("Group")) {
        const QString key = twoDigits(level + 1) + twoDigits(position) + name;
        ParamEntry* group = makeRecord(map, key, parentKey);
        if (!group)
            return;
        group->caption = attr(e, "Caption");
        group->hasChildren = true;
        group->constant = has(e, "IsConst");
        appendChild(map, parentKey, key);
        int position = 0;
        for (QDomNode child = e.firstChild(); !child.isNull(); child = child.nextSibling())
            parseXmlGroup(map, child, key, level + 1, position++);
    } else if (type == QLatin1String("Block")) {
        ParamEntry* block = makeRecord(map, name, parentKey);
        if (!block)
            return;
        block->caption = attr(e, "Caption");
        parseXmlParameter(e, *block, -1);
        appendChild(map, parentKey, name);
        readBlockMembers(map, e, *block, parentKey, -1);
    } else if (type == QLatin1String("ParamSet")) {
        readParamSet(map, e, parentKey);
    } else if (type == QLatin1String("Regular") || type == QLatin1String("Constant")) {
        ParamEntry* record = makeRecord(map, name, parentKey);
        if (!record)
            return;
        parseXmlParameter(e, *record, -1);
        appendChild(map, parentKey, name);
    }
}

void XmlConfigReader::readBlockMembers(ParamEntryMap& map, const QDomElement& block, ParamEntry& blockRecord,
                                       const QString& parentKey, int channel)
{
    for (QDomElement m = block.firstChildElement(); !m.isNull(); m = m.nextSiblingElement()) {
        const QString key = attr(m, "Name") + channelSuffix(channel);
        if (key == blockRecord.name) {
            reportBad(key, QStringLiteral("имя совпадает с именем его блока"));
            continue;
        }
        ParamEntry* member = makeRecord(map, key, parentKey);
        if (!member)
            continue;
        member->blockName = blockRecord.name;
        member->channelIndex = channel;
        parseXmlParameter(m, *member, channel);
        if (!member->constant)
            blockRecord.blockMembers.append(key);
        // Members hang beside their block, under the block's own parent.
        appendChild(map, parentKey, key);
    }
}

void XmlConfigReader::readParamSet(ParamEntryMap& map, const QDomElement& e, const QString& parentKey)
{
    const QString name = attr(e, "Name");
    const QString caption = attr(e, "Caption");
    ParamEntry* set = makeRecord(map, name, parentKey);
    if (!set)
        return;
    set->caption = caption;
    set->hasChildren = true;
    appendChild(map, parentKey, name);
    int channels = number(attr(e, "ChannelCount"));
    if (channels > kMaxChannels) {
        reportBad(name, QStringLiteral("число каналов %1 больше %2").arg(channels).arg(kMaxChannels));
        channels = 0;
    }
    for (int k = 0; k < channels; ++k) {
        const QString instanceKey = name + channelSuffix(k);
        ParamEntry* instance = makeRecord(map, instanceKey, name);
        if (!instance)
            continue;
        instance->caption = caption + QStringLiteral("( №") + QString::number(k + 1) + QStringLiteral(") ");
        instance->hasChildren = true;
        set->childNames.append(instanceKey);
        for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            const QString key = attr(c, "Name") + channelSuffix(k);
            ParamEntry* record = makeRecord(map, key, instanceKey);
            if (!record)
                continue;
            record->channelIndex = k;
            parseXmlParameter(c, *record, k);
            instance->childNames.append(key);
            if (attr(c, "Type") == QLatin1String("Block"))
                readBlockMembers(map, c, *record, instanceKey, k);
        }
    }
}

void XmlConfigReader::parseXmlParameter(const QDomNode& node, ParamEntry& record, int channel)
{
    const QDomElement e = node.toElement();
    record.readOnly = isTrue(e, "ReadOnly");
    record.updatable = isTrue(e, "Updatable");
    if (has(e, "Expanded"))
        record.expanded = isTrue(e, "Expanded");
    record.channelIndex = channel;
    if (has(e, "ChannelIndex"))
        record.channelIndex = number(attr(e, "ChannelIndex"));
    record.constant = attr(e, "Type") == QLatin1String("Constant");
    if (has(e, "ScriptFormula")) {
        record.scriptFormula = attr(e, "ScriptFormula");
        m_data.formulaRecords.append(&record);
    }
    if (has(e, "ScriptAction")) {
        takeScript(attr(e, "ScriptAction"), record.scriptAction);
        if (!m_data.scripts.isEmpty() && has(e, "ScriptActionTitle"))
            record.scriptActionTitle = attr(e, "ScriptActionTitle");
    }
    if (has(e, "ScriptOnChange"))
        takeScript(attr(e, "ScriptOnChange"), record.scriptOnChange);
    if (has(e, "ScriptFormula"))
        takeScript(attr(e, "ScriptFormula"), record.scriptFormula);
    if (has(e, "ScriptOnInit"))
        takeScript(attr(e, "ScriptOnInit"), record.scriptOnInit);
    if (has(e, "Visible"))
        record.visible = isTrue(e, "Visible");

    if (has(e, "DataType")) {
        const QString type = attr(e, "DataType").toLower();
        const QString text = e.text();
        if (type == QLatin1String("hex") || type == QLatin1String("float") || type == QLatin1String("simplefloat")
            || type == QLatin1String("double")) {
            record.dataType = type == QLatin1String("hex")           ? ParamEntry::Hex
                            : type == QLatin1String("float")         ? ParamEntry::Float
                            : type == QLatin1String("simplefloat")   ? ParamEntry::SimpleFloat
                                                                     : ParamEntry::Double;
            record.valueText = text;
        } else if (type == QLatin1String("int") || type == QLatin1String("uint") || type == QLatin1String("binary")) {
            record.dataType = type == QLatin1String("int")    ? ParamEntry::Int
                            : type == QLatin1String("uint")   ? ParamEntry::UInt
                                                              : ParamEntry::Binary;
            record.rawValue = qint64(number(text));
        } else if (type == QLatin1String("bool")) {
            record.dataType = ParamEntry::Bool;
            record.boolValue = text.toLower() == QLatin1String("true");
        }
    }
    if (has(e, "Address"))
        readAddress(e, record, channel);
    if (has(e, "Caption")) {
        record.caption = attr(e, "Caption");
        if (channel >= 0)
            record.caption += QStringLiteral(" (№") + QString::number(channel + 1) + QLatin1Char(')');
    }
    if (has(e, "MaxValue"))
        record.maxValue = attr(e, "MaxValue");
    if (has(e, "MinValue"))
        record.minValue = attr(e, "MinValue");
    if (has(e, "EditorType")) {
        static const QStringList editors{QStringLiteral("textbox"), QStringLiteral("spin"),
                                         QStringLiteral("checkbox"), QStringLiteral("combobox"),
                                         QStringLiteral("binarygroup")};
        const int editor = editors.indexOf(attr(e, "EditorType").toLower());
        if (editor >= 0)
            record.editorType = editor + 1;
    }
    if (has(e, "DataList")) {
        if (m_data.lists.isEmpty()) {
            m_host.toLog(QStringLiteral("Не найден модуль 'lists'"), false);
        } else {
            const QString id = attr(e, "DataList");
            if (!m_data.lists.contains(id))
                m_data.lists.insert(id, ValueList());
            record.valueList = m_data.lists.value(id);
        }
    }
    if (has(e, "CoeffNumberAddress"))
        record.coeffNumberAddress = number(attr(e, "CoeffNumberAddress"));
    if (record.dataType == ParamEntry::Binary)
        readBits(e, record, channel);
}

void XmlConfigReader::readAddress(const QDomElement& e, ParamEntry& record, int channel)
{
    const QStringList parts = attr(e, "Address").split(QLatin1Char(':'));
    const int interval = number(attr(e, "AddressInterval"));
    const qint64 offset = channel >= 0 ? qint64(channel) * interval : 0;
    const qint64 begin = qint64(number(parts[0])) - 1 + offset;
    const qint64 end = parts.size() == 2 ? offset + number(parts[1]) - 1 : -1;
    // A register the protocol cannot address would be asked for under another
    // address, and a huge range would list registers without end.
    if ((begin != -1 || end != -1) && (!ParamEntry::isRegisterOrNone(begin) || !ParamEntry::isRegisterOrNone(end))) {
        reportBad(record.name, QStringLiteral("адрес %1 вне диапазона регистров 1..%2")
                                   .arg(attr(e, "Address"))
                                   .arg(ParamEntry::kMaxRegisterAddress + 1));
        record.addressBegin = -1;
        record.addressEnd = -1;
        return;
    }
    record.addressBegin = int(begin);
    record.addressEnd = int(end);
}

void XmlConfigReader::readBits(const QDomElement& e, ParamEntry& record, int channel)
{
    if (!e.firstChildElement().isNull()) {
        for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            ParamEntry bit;
            bit.caption = attr(c, "Caption");
            bit.bitIndex = number(attr(c, "Index"));
            bit.readOnly = isTrue(c, "ReadOnly");
            bit.visible = !has(c, "Visible") || isTrue(c, "Visible");
            bit.updatable = isTrue(c, "Updatable");
            addBit(record, attr(c, "Name") + channelSuffix(channel), bit);
        }
        return;
    }
    const QStringList range = attr(e, "BitRange").split(QLatin1Char(':'));
    if (range.size() != 2)
        return;
    const int first = number(range[0]);
    const int last = number(range[1]);
    if (last < first)
        return;
    if (first < 0 || last > 63) {
        reportBad(record.name, QStringLiteral("биты %1:%2 вне диапазона 0..63").arg(first).arg(last));
        return;
    }
    for (int i = first, j = 1; i <= last; ++i, ++j) {
        ParamEntry bit;
        bit.caption = record.caption + QStringLiteral(" №") + QString::number(j);
        bit.bitIndex = i;
        bit.readOnly = record.readOnly;
        bit.updatable = record.updatable;
        addBit(record, record.name + QStringLiteral("bi") + QString::number(j - 1), bit);
    }
}

void XmlConfigReader::addBit(ParamEntry& parent, const QString& key, ParamEntry bit)
{
    if (bit.bitIndex < 0 || bit.bitIndex > 63) {
        reportBad(key, QStringLiteral("номер бита %1 вне диапазона 0..63").arg(bit.bitIndex));
        return;
    }
    ParamEntryMap& map = *parent.ownerMap;
    if (!fitsUnder(map, key, parent.name))
        return;
    bit.name = key;
    bit.editorType = ParamEntry::CheckBox;
    bit.dataType = ParamEntry::Bool;
    bit.parentName = parent.name;
    map.insert(key, bit);
    parent.childNames.append(key);
    parent.hasChildren = true;
}

bool XmlConfigReader::fitsUnder(const ParamEntryMap& map, const QString& key, const QString& parentKey)
{
    // At most kMaxNesting steps up, so the check stays linear in the file
    // and a chain that is already broken ends too.
    QString ancestor = parentKey;
    for (int depth = 0; !ancestor.isEmpty(); ++depth) {
        if (ancestor == key) {
            reportBad(key, QStringLiteral("имя совпадает с именем записи, в которую он вложен"));
            return false;
        }
        if (depth == kMaxNesting) {
            reportBad(key, QStringLiteral("вложен глубже %1 уровней").arg(kMaxNesting));
            return false;
        }
        const ParamEntry* up = map.find(ancestor);
        if (!up)
            break;
        ancestor = up->parentName;
    }
    return true;
}

ParamEntry* XmlConfigReader::makeRecord(ParamEntryMap& map, const QString& key, const QString& parentKey)
{
    if (!fitsUnder(map, key, parentKey))
        return nullptr;
    ParamEntry& record = map.insert(key);
    record.name = key;
    record.parentName = parentKey.isNull() ? QLatin1String("") : parentKey;
    return &record;
}

void XmlConfigReader::appendChild(ParamEntryMap& map, const QString& parentKey, const QString& key)
{
    if (ParamEntry* parent = parentKey.isEmpty() ? nullptr : map.find(parentKey))
        parent->childNames.append(key);
}

void XmlConfigReader::takeScript(const QString& id, QString& field)
{
    if (m_data.scripts.isEmpty()) {
        m_host.toLog(QStringLiteral("Не найден модуль 'scripts'"), false);
        return;
    }
    field = m_data.scripts.value(id, QLatin1String(""));
}

void XmlConfigReader::reportBad(const QString& name, const QString& reason)
{
    m_host.toLog(QStringLiteral("Ошибка в описании параметра %1 (%2): %3").arg(name, m_file, reason), false);
}
