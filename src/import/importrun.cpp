#include "import/importrun.h"

#include "data/error.h"
#include "data/tdm.h"
#include "import/readahead.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace eschf {

void RunCounters::count(Outcome outcome)
{
    switch (counterOf(outcome)) {
    case Counter::Loaded:
        ++loaded;
        break;
    case Counter::Skipped:
        ++skip;
        break;
    case Counter::Error:
        ++error;
        break;
    case Counter::None:
        break;
    }
}

QString summaryText(const RunCounters& counters, RunMode mode)
{
    const QString separator = QStringLiteral("\n\r");
    const bool check = mode == RunMode::Check;
    return (check ? QStringLiteral("Проверка закончена.") : QStringLiteral("Загрузка закончена.")) +
           separator + (check ? QStringLiteral("Будет загружено: ") : QStringLiteral("Загружено: ")) +
           QString::number(counters.loaded) + separator + QStringLiteral("Ошибки: ") +
           QString::number(counters.error) + separator +
           (check ? QStringLiteral("Уже в базе: ") : QStringLiteral("Пропущено: ")) +
           QString::number(counters.skip);
}

namespace {

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'/' || c == u'\\';
#else
    return c == u'/';
#endif
}

// The last part of a wildcard path as a matcher: * any run of characters, ? one character,
// everything else literal (a QDir name filter would read [...] as a set), case ignored.
QRegularExpression wildcardMatcher(QStringView mask)
{
    QString pattern;
    for (const QChar c : mask) {
        if (c == u'*')
            pattern += QStringLiteral(".*");
        else if (c == u'?')
            pattern += u'.';
        else
            pattern += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

// Outcomes a failing database can cause; the others come from what the file holds.
bool mayHaveLostConnection(Outcome outcome)
{
    return outcome == Outcome::H || outcome == Outcome::I;
}

} // namespace

QFileInfoList matchingEntries(const QString& wildcardPath)
{
    qsizetype split = wildcardPath.size();
    while (split > 0 && !isSeparator(wildcardPath.at(split - 1)))
        --split;
    const QString folder = wildcardPath.left(split);
    const QRegularExpression mask = wildcardMatcher(QStringView(wildcardPath).mid(split));
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    QFileInfoList matching;
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        if (mask.match(entry.fileName()).hasMatch())
            matching.append(entry);
    }
    return matching;
}

QStringList listFolder(const QString& folderText, const QString& mask, bool namesOnly)
{
    QStringList lines;
    for (const QFileInfo& entry : matchingEntries(folderText + mask))
        lines.append(namesOnly ? entry.fileName() : folderText + entry.fileName());
    return lines;
}

ImportRun::ImportRun(TDM& dm, ConnectionParams connection, InvoiceDocument& doc, QString ownUnn,
                     bool updateOld, RunMode mode)
    : m_dm(dm), m_connection(std::move(connection)), m_doc(doc), m_ownUnn(std::move(ownUnn)),
      m_updateOld(updateOld), m_mode(mode)
{
}

void ImportRun::beginCheck()
{
    if (m_mode != RunMode::Check || m_checkOpen || !m_dm.isOpen())
        return;
    m_dm.transaction();
    m_checkOpen = true;
}

void ImportRun::endCheck()
{
    if (!m_checkOpen)
        return;
    m_checkOpen = false;
    if (!m_dm.isOpen())
        return;
    try {
        m_dm.rollback();
    } catch (const Error&) {
        // A connection that went away took its transaction with it.
    }
}

FileResult ImportRun::importOne(FileImporter& importer, const QString& path)
{
    if (!m_dm.isOpen()) {
        // Start-up stopped before it read the connection string: there is nothing to connect to.
        if (m_connection.driver.isEmpty())
            return {Outcome::I, path,
                    QStringLiteral("Нет подключения к базе данных: при запуске программы "
                                   "не прочитана строка подключения")};
        try {
            m_dm.open(m_connection);
        } catch (const Error& e) {
            return {Outcome::I, path, e.message()};
        }
    }
    try {
        beginCheck();
    } catch (const Error& e) {
        return {Outcome::I, path, e.message()};
    }
    return importer.importFile(path);
}

bool ImportRun::run(const QStringList& paths, ImportObserver& observer)
{
    m_counters = {};
    // Whatever way the run ends, a check leaves the database as it found it.
    struct CheckEnd
    {
        ImportRun& run;
        ~CheckEnd() { run.endCheck(); }
    } checkEnd{*this};
    FileImporter importer(m_dm, m_doc, m_ownUnn, m_updateOld, m_mode);
    importer.setCancelFlag(m_cancel);
    ReadAhead readAhead;
    importer.setDocumentSource(&readAhead);
    for (int i = 0; i < paths.size(); ++i) {
        if (m_cancel && m_cancel->load())
            return false;
        observer.fileStarted(i);
        readAhead.setNext(paths.value(i + 1));
        FileResult result;
        try {
            result = importOne(importer, paths.at(i));
        } catch (const ImportCancelled&) {
            return false;
        }
        // A dropped link or a database file that went away must not fail the rest of the run:
        // the next file opens the connection afresh.
        if (mayHaveLostConnection(result.outcome) && !m_dm.connectionAnswers()) {
            m_checkOpen = false;
            m_dm.close();
        }
        m_counters.count(result.outcome);
        observer.fileFinished(i, result);
    }
    return true;
}

} // namespace eschf
