#include "classic/xmlnesting.h"

#include <QtGlobal>

// The builder of this Qt version parses with the SAX reader, which is
// deprecated; the measure has to read exactly as the builder does.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QXmlDefaultHandler>
#include <QXmlInputSource>
#include <QXmlSimpleReader>

namespace {
class DepthCounter : public QXmlDefaultHandler {
public:
    explicit DepthCounter(int limit) : m_limit(limit) {}
    bool startElement(const QString&, const QString&, const QString&, const QXmlAttributes&) override
    {
        if (++m_depth <= m_limit)
            return true;
        m_tooDeep = true;
        return false;
    }
    bool endElement(const QString&, const QString&, const QString&) override
    {
        --m_depth;
        return true;
    }
    bool tooDeep() const { return m_tooDeep; }

private:
    const int m_limit;
    int m_depth = 0;
    bool m_tooDeep = false;
};
}

XmlNesting measureXmlNesting(QIODevice& file, int limit)
{
    QXmlInputSource source(&file);
    QXmlSimpleReader reader;
    // The builder's settings without namespace processing.
    reader.setFeature(QStringLiteral("http://xml.org/sax/features/namespaces"), false);
    reader.setFeature(QStringLiteral("http://xml.org/sax/features/namespace-prefixes"), true);
    reader.setFeature(QStringLiteral("http://trolltech.com/xml/features/report-whitespace-only-CharData"), false);
    DepthCounter counter(limit);
    reader.setContentHandler(&counter);
    reader.setErrorHandler(&counter);
    reader.setLexicalHandler(&counter);
    reader.setDeclHandler(&counter);
    reader.setDTDHandler(&counter);
    if (reader.parse(&source))
        return XmlNesting::Within;
    return counter.tooDeep() ? XmlNesting::TooDeep : XmlNesting::NotXml;
}
QT_WARNING_POP
