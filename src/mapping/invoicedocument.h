#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

struct _xmlNode;
struct _xmlDoc;

namespace eschf {

// An element of the loaded invoice, read by the reading rules. A lookup that finds nothing gives an
// empty element: absent, empty text, and every lookup below it empty too. A lookup never fails.
// White space only text is no content anywhere. An element stays valid until its document loads
// another file or is cleared.
class XmlElement
{
public:
    XmlElement() = default;

    bool isNull() const { return m_node == nullptr; }
    QString name() const;
    // Where it stands, for messages: "roster/rosterItem[2]/name" below the document element (the
    // document element gives its own name); an empty element gives the path it was looked up by.
    QString path() const;

    // The first child element of that exact name (rule 1). Namespaces take no part: local names
    // are compared, case-sensitively.
    XmlElement child(QStringView name) const;
    // A path "a/b/c" of child lookups.
    XmlElement at(QStringView path) const;
    // It has at least one child node that is not white space only text (rule 2); a comment or a
    // CDATA section, even of white space, counts.
    bool present() const;
    // Its character content (rule 3), references resolved: empty when absent; throws Error naming
    // the element when it holds an element, a comment, a processing instruction or more than one
    // text or CDATA part.
    QString text() const;
    // An attribute by name (rule 4); throws Error when it is missing.
    QString attribute(QStringView name) const;
    // The child elements of that exact name in document order (rule 5); others are passed over.
    std::vector<XmlElement> children(QStringView name) const;

private:
    friend class InvoiceDocument;
    explicit XmlElement(_xmlNode* node) : m_node(node) {}
    XmlElement(_xmlNode* lastFound, QString missing) : m_lastFound(lastFound), m_missing(std::move(missing))
    {
    }
    XmlElement missingChild(QStringView name) const;

    _xmlNode* m_node = nullptr;
    // Only for an empty element: the last element the lookup found and the first name it did not.
    _xmlNode* m_lastFound = nullptr;
    QString m_missing;
};

// The document object: one parsed invoice file at a time.
class InvoiceDocument
{
public:
    InvoiceDocument();
    ~InvoiceDocument();
    InvoiceDocument(const InvoiceDocument&) = delete;
    InvoiceDocument& operator=(const InvoiceDocument&) = delete;

    // Parses the file, replacing the previous tree. No network, no DTD, no external entity.
    // Throws Error with the parser's message and line; a failed load leaves no tree.
    void load(const QString& filePath);
    // The same from bytes in memory (fileName only names it in messages).
    void loadBytes(const QByteArray& bytes, const QString& fileName = QString());
    bool isLoaded() const;
    void clear();
    // Trades trees with other: a file read elsewhere becomes this document's.
    void swap(InvoiceDocument& other) noexcept { m_doc.swap(other.m_doc); }

    // The document element; an empty element when nothing is loaded.
    XmlElement root() const;

private:
    struct DocFree
    {
        void operator()(_xmlDoc* doc) const;
    };
    std::unique_ptr<_xmlDoc, DocFree> m_doc;
};

} // namespace eschf
