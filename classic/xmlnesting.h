// How deep the elements of an XML file nest, and how much text its entity
// references expand to, measured before the file is built into a document.
//
// Qt's document builder (QDomDocument::setContent on a device) slows down with
// the square of the nesting and, past some 100,000 levels, overflows the
// stack. The measure runs the very reader the builder runs, set up as the
// builder sets it up, so it sees every element the builder would build
// (elements that entities expand to among them) and refuses the same files;
// it stops at the first element past the limit, so it stays linear in the
// file however deep or damaged that is.
//
// The reader expands an internal entity afresh at every reference, and the
// builder again: one long entity referenced many times makes gigabytes of
// text out of a small file. The measure adds up the declared text of every
// expansion as it starts and stops once the sum passes the bound below, so a
// file is refused after reading about the bound's worth of text. Qt itself
// refuses entities that nest into too much text. GUI thread or any other; no
// state.
#pragma once

#include <QtGlobal>

class QIODevice;

enum class XmlNesting {
    Within,          // the builder may read the file
    TooDeep,         // an element nests deeper than the limit
    TooMuchText,     // entity references expand to more text than the bound
    TooManyEntities, // more entity declarations than kMaxEntityDeclarations
    NotXml,          // the builder would refuse the file as it stands
};

// The most characters the entity references of a file may expand to: a few
// times the file's size, and never less than the floor, which no real
// configuration file comes near.
enum XmlEntityBound : qint64 {
    kEntityTextPerFileByte = 4,
    kMinEntityText = 2 * 1024 * 1024,
};
qint64 xmlEntityTextBound(qint64 fileSize);
// The reader's own check of every entity declaration walks all those made
// before it: 8,000 declarations take seconds, and the builder pays them again.
// No configuration file declares more than a handful.
enum { kMaxEntityDeclarations = 1000 };

// Reads `file` from its current position to its end; the entity bound is
// taken for the bytes from there on.
XmlNesting measureXmlNesting(QIODevice& file, int limit);
