// The EDS reader: turns every object and sub-entry section of an EDS (an INI
// file, UTF-8) into a classic CAN record. GUI thread; a section that stands
// for a run of dynamic sub-indices asks the connected device how many it has
// (an SDO read that waits as long as the link's own time-out).
#pragma once

#include <QString>

struct ClassicHost;
class ParamEntryMap;

// Reads the file at edsPath into `map` (which it does not clear first): a
// record per object section ("1018") and per sub-entry ("1018sub1"), named
// "<sub-index as three decimals> <section> <ParameterName>" (no sub-index
// digits for an object), with its sub-entries listed in the object's
// childNames. A section "xxxxsub0" of an index from A000 to BFFF makes the
// next section stand for as many sub-indices as the device reports. Sections
// of 1021 (the stored EDS) make no record. A missing file is one red line, and
// so is each section whose index or sub-index is no number or does not fit an
// SDO address (16 and 8 bits), which makes no record.
void readEds(const QString& edsPath, ParamEntryMap& map, const ClassicHost& host);
