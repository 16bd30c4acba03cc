#include "classic/xmlnesting.h"

#include <QHash>
#include <QIODevice>

// The builder of this Qt version parses with the SAX reader, which is
// deprecated; the measure has to read exactly as the builder does.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QXmlDefaultHandler>
#include <QXmlInputSource>
#include <QXmlSimpleReader>

namespace {
class Measure : public QXmlDefaultHandler {
public:
    Measure(int limit, qint64 textBound) : m_limit(limit), m_textBound(textBound) {}
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
    bool internalEntityDecl(const QString& name, const QString& value) override
    {
        if (!declared())
            return false;
        // A parameter entity is declared as "%name" and started as "name";
        // one of each under the same name counts as the longer.
        int& size = m_entitySizes[name.startsWith(QLatin1Char('%')) ? name.mid(1) : name];
        size = qMax(size, value.size());
        return true;
    }
    bool externalEntityDecl(const QString&, const QString&, const QString&) override { return declared(); }
    bool unparsedEntityDecl(const QString&, const QString&, const QString&, const QString&) override
    {
        return declared();
    }
    bool startEntity(const QString& name) override
    {
        // Counted before the reader takes in the text, so that it never holds
        // more than the bound; an entity inside this one counts when it starts.
        m_expanded += m_entitySizes.value(name);
        if (m_expanded <= m_textBound)
            return true;
        m_tooMuchText = true;
        return false;
    }
    XmlNesting refusal() const
    {
        if (m_tooDeep)
            return XmlNesting::TooDeep;
        if (m_tooMuchText)
            return XmlNesting::TooMuchText;
        return m_tooManyEntities ? XmlNesting::TooManyEntities : XmlNesting::NotXml;
    }

private:
    bool declared()
    {
        m_tooManyEntities = ++m_declarations > kMaxEntityDeclarations;
        return !m_tooManyEntities;
    }

    const int m_limit;
    const qint64 m_textBound;
    int m_depth = 0;
    bool m_tooDeep = false;
    QHash<QString, int> m_entitySizes;
    qint64 m_expanded = 0;
    bool m_tooMuchText = false;
    int m_declarations = 0;
    bool m_tooManyEntities = false;
};
}

qint64 xmlEntityTextBound(qint64 fileSize)
{
    return qMax<qint64>(kEntityTextPerFileByte * qMax<qint64>(fileSize, 0), kMinEntityText);
}

XmlNesting measureXmlNesting(QIODevice& file, int limit)
{
    Measure measure(limit, xmlEntityTextBound(file.size() - file.pos()));
    QXmlInputSource source(&file);
    QXmlSimpleReader reader;
    // The builder's settings without namespace processing.
    reader.setFeature(QStringLiteral("http://xml.org/sax/features/namespaces"), false);
    reader.setFeature(QStringLiteral("http://xml.org/sax/features/namespace-prefixes"), true);
    reader.setFeature(QStringLiteral("http://trolltech.com/xml/features/report-whitespace-only-CharData"), false);
    // Only the measure's own: the start of every expansion is reported, which
    // splits the reported text there and changes nothing the reader accepts.
    reader.setFeature(QStringLiteral("http://trolltech.com/xml/features/report-start-end-entity"), true);
    reader.setContentHandler(&measure);
    reader.setErrorHandler(&measure);
    reader.setLexicalHandler(&measure);
    reader.setDeclHandler(&measure);
    reader.setDTDHandler(&measure);
    if (reader.parse(&source))
        return XmlNesting::Within;
    return measure.refusal();
}
QT_WARNING_POP
