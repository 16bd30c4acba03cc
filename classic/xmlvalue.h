// Puts the value of an XML record into its property, through the property's
// own manager. A property of a manager other than the record's kind needs is
// left alone. GUI thread.
#pragma once

struct ParamEntry;
class QtProperty;

// Classic pages show doubles with as many decimals as the manager allows.
constexpr int kClassicDecimals = 50;

// int (a combo box: the position of the pair keyed by the value), uint, float,
// simplefloat and bool records; other kinds show nothing here. Numbers are set
// only when they differ.
void showXmlValue(QtProperty* property, const ParamEntry& record);
