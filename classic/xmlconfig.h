// Readers of a device's XML configuration: "lists.xml" and "scripts.xml" into
// the value lists and scripts, and each page file into its record map,
// register list and script buttons, from the documents already parsed into
// ClassicData. Run lists and scripts first, so that the parameters naming
// them find them.
//
// Every problem is one red log line and the reading goes on; a number that
// does not parse reads as 0. A record that would hang under itself or under
// more than 64 others, a channel count over 1,024, a bit outside 0..63 and a
// register outside the Modbus range make nothing and are named with their
// file. GUI thread.
#pragma once

#include "classic/classicdata.h"

#include <QDomNode>

struct ClassicHost;
class ModbusLink;

class XmlConfigReader {
public:
    XmlConfigReader(ClassicData& data, const ClassicHost& host, ModbusLink& link);

    void loadLists();
    void loadScripts();
    // Reads the page's "Parameters" into its map, builds and sorts its register
    // list, reads the registers over the link when one is open, and reads its
    // "Buttons" (not for the info page). False when there is no "Parameters".
    bool loadParameterSection(ClassicPage page);
    // One tree element at `level` and `position` under the record `parentKey`
    // (empty at the top).
    void parseXmlGroup(ParamEntryMap& map, const QDomNode& node, const QString& parentKey, int level, int position);
    // The parameter attributes of `node` onto a record already in its map;
    // `channel` is the parameter-set channel, -1 outside sets.
    void parseXmlParameter(const QDomNode& node, ParamEntry& record, int channel);

    // Most channels of one parameter set.
    static constexpr int kMaxChannels = 1024;
    // Most records a record may hang under. No real file comes near it; a
    // deeper one is refused there, which keeps every walk of the tree short.
    static constexpr int kMaxNesting = 64;

private:
    void readBlockMembers(ParamEntryMap& map, const QDomElement& block, ParamEntry& blockRecord,
                          const QString& parentKey, int channel);
    void readParamSet(ParamEntryMap& map, const QDomElement& set, const QString& parentKey);
    void readBits(const QDomElement& element, ParamEntry& record, int channel);
    void addBit(ParamEntry& parent, const QString& key, ParamEntry bit);
    void readAddress(const QDomElement& element, ParamEntry& record, int channel);
    // Inserts a default record named `key` under `parentKey`, or refuses (with
    // its red line) when that would make the record its own descendant or
    // hang it deeper than kMaxNesting.
    ParamEntry* makeRecord(ParamEntryMap& map, const QString& key, const QString& parentKey);
    // The same test and line for any record about to hang under `parentKey`.
    bool fitsUnder(const ParamEntryMap& map, const QString& key, const QString& parentKey);
    void appendChild(ParamEntryMap& map, const QString& parentKey, const QString& key);
    // The script stored under `id`; with no scripts at all, logs and leaves `field`.
    void takeScript(const QString& id, QString& field);
    void readButtons(ClassicPageData& page);
    void reportBad(const QString& name, const QString& reason);

    ClassicData& m_data;
    const ClassicHost& m_host;
    ModbusLink& m_link;
    QString m_file; // the page file being read
};
