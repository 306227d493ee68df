#include "mapping/invoicedocument.h"

#include "data/error.h"
#include "data/fileaccess.h"
#include "mapping/cp1251.h"

#include <QFileInfo>
#include <QStringList>
#include <QStringTokenizer>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <mutex>

namespace eschf {

namespace {

// What one parse reports. The parser's channels write here instead of stderr.
struct ParseReport
{
    bool failed = false;
    int line = 0;
    QString message;
    bool externalRefused = false;
    QString externalResource;
};

// The entity loader is one for the whole process and gets no report of ours, so it finds the
// parse of its thread here.
thread_local ParseReport* t_report = nullptr;

void collectError(void* context, xmlErrorPtr error)
{
    auto* report = static_cast<ParseReport*>(context);
    if (report == nullptr || error == nullptr || error->level < XML_ERR_ERROR || report->failed)
        return;
    // The first error is the cause; what follows it is mostly its echo.
    report->failed = true;
    report->line = error->line;
    report->message = QString::fromUtf8(error->message).simplified();
}

void discardMessage(void*, const char*, ...) {}

// No DTD, entity or other resource outside the file is ever read, whatever the file declares.
xmlParserInputPtr refuseExternal(const char* url, const char* id, xmlParserCtxtPtr)
{
    if (t_report != nullptr && !t_report->externalRefused) {
        t_report->externalRefused = true;
        t_report->externalResource = QString::fromUtf8(url != nullptr ? url : (id != nullptr ? id : ""));
    }
    return nullptr;
}

// libxml2 joins adjacent CDATA sections into one node; the reading rules count every section.
void addCdataSection(void* userData, const xmlChar* value, int length)
{
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    xmlNodePtr parent = context->node;
    if (parent != nullptr && parent->last != nullptr && parent->last->type == XML_CDATA_SECTION_NODE) {
        if (xmlNodePtr section = xmlNewCDataBlock(context->myDoc, value, length))
            xmlAddChild(parent, section);
        return;
    }
    xmlSAX2CDataBlock(userData, value, length);
}

void initLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternal);
        registerCp1251Handler();
    });
}

// The error handlers of libxml2 are per thread: set ours for one parse on the parsing thread, then
// give back what was there.
class ParserChannels
{
public:
    explicit ParserChannels(ParseReport& report)
        : m_structured(xmlStructuredError), m_structuredContext(xmlStructuredErrorContext),
          m_generic(xmlGenericError), m_genericContext(xmlGenericErrorContext), m_report(t_report)
    {
        xmlSetStructuredErrorFunc(&report, collectError);
        xmlSetGenericErrorFunc(nullptr, discardMessage);
        t_report = &report;
    }
    ~ParserChannels()
    {
        t_report = m_report;
        xmlSetGenericErrorFunc(m_genericContext, m_generic);
        xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
    }
    ParserChannels(const ParserChannels&) = delete;
    ParserChannels& operator=(const ParserChannels&) = delete;

private:
    xmlStructuredErrorFunc m_structured;
    void* m_structuredContext;
    xmlGenericErrorFunc m_generic;
    void* m_genericContext;
    ParseReport* m_report;
};

struct ContextFree
{
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

// Internal entities are expanded within libxml2's own limits (no XML_PARSE_HUGE); external ones
// reach refuseExternal only. No DTD is loaded, nothing is validated, no default attribute is added.
constexpr int kParseOptions = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_COMPACT;

QString fileLabel(const QString& fileName)
{
    return fileName.isEmpty() ? QStringLiteral("Документ") : QStringLiteral("Файл «%1»").arg(fileName);
}

_xmlDoc* parseBytes(const QByteArray& bytes, const QString& fileName)
{
    initLibxml();
    if (bytes.size() > INT_MAX)
        throw Error(QStringLiteral("%1 не загружен: файл слишком велик.").arg(fileLabel(fileName)));
    std::unique_ptr<xmlParserCtxt, ContextFree> context(xmlNewParserCtxt());
    if (!context)
        throw Error(QStringLiteral("%1 не загружен: не хватает памяти.").arg(fileLabel(fileName)));
    context->sax->cdataBlock = addCdataSection;
    // White space is text to the parser, never "ignorable" by the heuristics that a process-wide
    // keep-blanks default would switch on; the reading rules decide what counts.
    context->sax->ignorableWhitespace = xmlSAX2Characters;
    // A fresh context copies the process-wide defaults into its options; only ours count.
    context->options = 0;

    ParseReport report;
    xmlDocPtr doc = nullptr;
    {
        ParserChannels channels(report);
        doc = xmlCtxtReadMemory(context.get(), bytes.constData(), static_cast<int>(bytes.size()), nullptr,
                                nullptr, kParseOptions);
    }
    if (doc != nullptr && context->wellFormed && !report.failed && !report.externalRefused)
        return doc;

    xmlFreeDoc(doc);
    if (report.externalRefused)
        throw Error(QStringLiteral("%1 не загружен: в нём ссылка на внешний ресурс «%2», такие ссылки не "
                                   "читаются.")
                        .arg(fileLabel(fileName), report.externalResource));
    if (!report.failed) {
        const xmlError* last = xmlCtxtGetLastError(context.get());
        if (last != nullptr && last->message != nullptr) {
            report.line = last->line;
            report.message = QString::fromUtf8(last->message).simplified();
        }
    }
    if (report.message.isEmpty())
        throw Error(QStringLiteral("%1 не загружен: это не XML-документ.").arg(fileLabel(fileName)));
    throw Error(QStringLiteral("%1 не загружен: ошибка XML в строке %2: %3")
                    .arg(fileLabel(fileName), QString::number(report.line), report.message));
}

bool isBlank(const xmlChar* text)
{
    if (text == nullptr)
        return true;
    for (; *text != 0; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r')
            return false;
    }
    return true;
}

// Names are compared as written, without converting the parser's UTF-8: the invoice's names are
// ASCII, so a character compares with a byte; anything else goes the long way.
bool nameIs(const xmlChar* utf8, QStringView name)
{
    qsizetype i = 0;
    for (; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c == 0 || c >= 0x80)
            return QAnyStringView::equal(QUtf8StringView(reinterpret_cast<const char*>(utf8)), name);
        if (utf8[i] != c)
            return false;
    }
    return utf8[i] == 0;
}

xmlNode* findChild(const xmlNode* parent, QStringView name)
{
    for (xmlNode* node = parent->children; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && nameIs(node->name, name))
            return node;
    }
    return nullptr;
}

QString fromXml(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

bool isRoot(const xmlNode* node)
{
    return node->parent == nullptr || node->parent->type != XML_ELEMENT_NODE;
}

// One step of a path; a position is added among siblings of the same name.
QString pathStep(const xmlNode* node)
{
    QString step = fromXml(node->name);
    int same = 0;
    int position = 0;
    for (const xmlNode* sibling = node->parent->children; sibling != nullptr; sibling = sibling->next) {
        if (sibling->type == XML_ELEMENT_NODE && xmlStrEqual(sibling->name, node->name)) {
            ++same;
            if (sibling == node)
                position = same;
        }
    }
    if (same > 1)
        step += QLatin1Char('[') + QString::number(position) + QLatin1Char(']');
    return step;
}

QString pathBelowRoot(const xmlNode* node)
{
    QStringList steps;
    for (; !isRoot(node); node = node->parent)
        steps.prepend(pathStep(node));
    return steps.join(QLatin1Char('/'));
}

QString nodePath(const xmlNode* node)
{
    return isRoot(node) ? fromXml(node->name) : pathBelowRoot(node);
}

Error unreadableText(const XmlElement& element, const xmlNode* node)
{
    QString what;
    switch (node->type) {
    case XML_ELEMENT_NODE:
        what = QStringLiteral("вложенный элемент «%1»").arg(fromXml(node->name));
        break;
    case XML_COMMENT_NODE:
        what = QStringLiteral("комментарий");
        break;
    case XML_PI_NODE:
        what = QStringLiteral("инструкция обработки «%1»").arg(fromXml(node->name));
        break;
    case XML_ENTITY_REF_NODE:
        what = QStringLiteral("ссылка на сущность «%1»").arg(fromXml(node->name));
        break;
    default:
        what = QStringLiteral("не текст");
        break;
    }
    return Error(QStringLiteral("Текст элемента «%1» не читается: в нём %2.").arg(element.path(), what));
}

QString attributeValue(const xmlAttr* attribute)
{
    const xmlNode* value = attribute->children;
    if (value == nullptr)
        return QString();
    if (value->next == nullptr && value->type == XML_TEXT_NODE)
        return fromXml(value->content);
    xmlChar* joined = xmlNodeListGetString(attribute->doc, value, 1);
    QString result = fromXml(joined);
    xmlFree(joined);
    return result;
}

} // namespace

QString XmlElement::name() const
{
    return m_node != nullptr ? fromXml(m_node->name) : QString();
}

QString XmlElement::path() const
{
    if (m_node != nullptr)
        return nodePath(m_node);
    if (m_lastFound == nullptr || isRoot(m_lastFound))
        return m_missing;
    return pathBelowRoot(m_lastFound) + QLatin1Char('/') + m_missing;
}

XmlElement XmlElement::missingChild(QStringView name) const
{
    return XmlElement(m_node, name.toString());
}

XmlElement XmlElement::child(QStringView name) const
{
    if (m_node == nullptr)
        return *this;
    if (xmlNode* found = findChild(m_node, name))
        return XmlElement(found);
    return missingChild(name);
}

XmlElement XmlElement::at(QStringView path) const
{
    if (m_node == nullptr)
        return *this;
    xmlNode* node = m_node;
    for (QStringView step : qTokenize(path, u'/')) {
        xmlNode* found = findChild(node, step);
        if (found == nullptr)
            return XmlElement(node).missingChild(step);
        node = found;
    }
    return XmlElement(node);
}

bool XmlElement::present() const
{
    if (m_node == nullptr)
        return false;
    for (const xmlNode* node = m_node->children; node != nullptr; node = node->next) {
        if (node->type != XML_TEXT_NODE || !isBlank(node->content))
            return true;
    }
    return false;
}

QString XmlElement::text() const
{
    if (m_node == nullptr)
        return QString();
    // Adjacent text nodes are one text (the parser splits it at entities); white space only text
    // is none; each CDATA section is one.
    const xmlNode* content = nullptr;
    int parts = 0;
    for (const xmlNode* node = m_node->children; node != nullptr;) {
        if (node->type == XML_TEXT_NODE) {
            const xmlNode* first = node;
            bool blank = true;
            for (; node != nullptr && node->type == XML_TEXT_NODE; node = node->next)
                blank = blank && isBlank(node->content);
            if (!blank) {
                ++parts;
                content = first;
            }
            continue;
        }
        if (node->type != XML_CDATA_SECTION_NODE)
            throw unreadableText(*this, node);
        ++parts;
        content = node;
        node = node->next;
    }
    if (parts == 0)
        return QString();
    if (parts > 1)
        throw Error(QStringLiteral("Текст элемента «%1» не читается: в нём несколько частей текста "
                                   "(текст и CDATA).")
                        .arg(path()));
    if (content->type == XML_CDATA_SECTION_NODE || content->next == nullptr ||
        content->next->type != XML_TEXT_NODE)
        return fromXml(content->content);
    QByteArray joined;
    for (const xmlNode* node = content; node != nullptr && node->type == XML_TEXT_NODE; node = node->next)
        joined += reinterpret_cast<const char*>(node->content);
    return QString::fromUtf8(joined);
}

QString XmlElement::attribute(QStringView name) const
{
    if (m_node == nullptr) {
        if (m_lastFound == nullptr && m_missing.isEmpty())
            throw Error(QStringLiteral("Нет атрибута «%1»: документ не загружен.").arg(name));
        throw Error(QStringLiteral("Нет атрибута «%1»: нет элемента «%2».").arg(name, path()));
    }
    for (const xmlAttr* attribute = m_node->properties; attribute != nullptr; attribute = attribute->next) {
        if (nameIs(attribute->name, name))
            return attributeValue(attribute);
    }
    throw Error(QStringLiteral("Нет атрибута «%1» у элемента «%2».").arg(name, path()));
}

std::vector<XmlElement> XmlElement::children(QStringView name) const
{
    std::vector<XmlElement> found;
    if (m_node == nullptr)
        return found;
    for (xmlNode* node = m_node->children; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && nameIs(node->name, name))
            found.push_back(XmlElement(node));
    }
    return found;
}

void InvoiceDocument::DocFree::operator()(_xmlDoc* doc) const
{
    xmlFreeDoc(doc);
}

InvoiceDocument::InvoiceDocument()
{
    initLibxml();
}

InvoiceDocument::~InvoiceDocument() = default;

void InvoiceDocument::load(const QString& filePath)
{
    clear();
    const QString fileName = QFileInfo(filePath).fileName();
    const WholeFile file = readWholeFile(filePath);
    if (!file.opened)
        throw Error(QStringLiteral("Файл «%1» не открывается: %2").arg(filePath, file.error));
    if (!file.complete)
        throw Error(QStringLiteral("Файл «%1» не читается: %2").arg(filePath, file.error));
    m_doc.reset(parseBytes(file.bytes, fileName));
}

void InvoiceDocument::loadBytes(const QByteArray& bytes, const QString& fileName)
{
    clear();
    m_doc.reset(parseBytes(bytes, fileName));
}

bool InvoiceDocument::isLoaded() const
{
    return m_doc != nullptr;
}

void InvoiceDocument::clear()
{
    m_doc.reset();
}

XmlElement InvoiceDocument::root() const
{
    return m_doc ? XmlElement(xmlDocGetRootElement(m_doc.get())) : XmlElement();
}

} // namespace eschf
