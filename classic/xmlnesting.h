// How deep the elements of an XML file nest, measured before the file is
// built into a document.
//
// Qt's document builder (QDomDocument::setContent on a device) slows down with
// the square of the nesting and, past some 100,000 levels, overflows the
// stack. The measure runs the very reader the builder runs, set up as the
// builder sets it up, so it sees every element the builder would build
// (elements that entities expand to among them) and refuses the same files;
// it stops at the first element past the limit, so it stays linear in the
// file however deep or damaged that is. GUI thread or any other; no state.
#pragma once

class QIODevice;

enum class XmlNesting {
    Within,  // the builder may read the file
    TooDeep, // an element nests deeper than the limit
    NotXml,  // the builder would refuse the file as it stands
};

// Reads `file` from its current position to its end.
XmlNesting measureXmlNesting(QIODevice& file, int limit);
