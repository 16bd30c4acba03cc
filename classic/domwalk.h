// Walks of a parsed XML document along its sibling links. A QDomNodeList
// taken from a node whose document has gone (only the root element is kept
// of a parsed file) is rebuilt on every call, so a walk over it by index
// grows with the square of the elements.
#pragma once

#include <QDomElement>
#include <QString>

// Calls visit(element) for every element named `tag` below `root` (not `root`
// itself), in document order, as QDomNode::elementsByTagName lists them.
template <class Visit>
void forEachElementBelow(const QDomElement& root, const QString& tag, Visit visit)
{
    QDomNode node = root.firstChild();
    while (!node.isNull()) {
        if (node.isElement() && node.nodeName() == tag)
            visit(node.toElement());
        if (node.hasChildNodes()) {
            node = node.firstChild();
            continue;
        }
        // Up to the nearest ancestor with a next sibling, never past the root.
        while (node != root && node.nextSibling().isNull())
            node = node.parentNode();
        if (node == root)
            break;
        node = node.nextSibling();
    }
}
