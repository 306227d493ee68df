#include "import/importrun.h"

#include "data/error.h"
#include "data/tdm.h"

#include <QDir>
#include <QFileInfo>

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

QString summaryText(const RunCounters& counters)
{
    const QString separator = QStringLiteral("\n\r");
    return QStringLiteral("Загрузка закончена.") + separator + QStringLiteral("Загружено: ") +
           QString::number(counters.loaded) + separator + QStringLiteral("Ошибки: ") +
           QString::number(counters.error) + separator + QStringLiteral("Пропущено: ") +
           QString::number(counters.skip);
}

QStringList listFolder(const QString& folderText, const QString& mask, bool namesOnly)
{
    // The folder text is a prefix: whatever follows its last separator starts every name.
    const QString pattern = folderText + mask;
    qsizetype cut = pattern.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    cut = std::max(cut, pattern.lastIndexOf(u'\\'));
#endif
    const QString folder = cut < 0 ? QStringLiteral(".") : pattern.left(cut + 1);
    const QString namePattern = pattern.mid(cut + 1);
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {};
    dir.setNameFilters({namePattern});
    dir.setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    QStringList lines = dir.entryList();
    if (!namesOnly) {
        for (QString& line : lines)
            line.prepend(folderText);
    }
    return lines;
}

ImportRun::ImportRun(TDM& dm, ConnectionSpec spec, InvoiceDocument& doc, QString ownUnn, bool updateOld)
    : m_dm(dm), m_spec(std::move(spec)), m_doc(doc), m_ownUnn(std::move(ownUnn)), m_updateOld(updateOld)
{
}

FileResult ImportRun::importOne(FileImporter& importer, const QString& path)
{
    if (!m_dm.isOpen()) {
        // Start-up stopped before it read the connection string: there is nothing to connect to.
        if (m_spec.driver.isEmpty())
            return {Outcome::I, path,
                    QStringLiteral("Нет подключения к базе данных: при запуске программы "
                                   "не прочитана строка подключения")};
        try {
            m_dm.open(m_spec);
        } catch (const Error& e) {
            return {Outcome::I, path, e.message()};
        }
    }
    return importer.importFile(path);
}

bool ImportRun::run(const QStringList& paths, ImportObserver& observer)
{
    m_counters = {};
    FileImporter importer(m_dm, m_doc, m_ownUnn, m_updateOld);
    importer.setCancelFlag(m_cancel);
    for (int i = 0; i < paths.size(); ++i) {
        if (m_cancel && m_cancel->load())
            return false;
        observer.fileStarted(i);
        FileResult result;
        try {
            result = importOne(importer, paths.at(i));
        } catch (const ImportCancelled&) {
            return false;
        }
        m_counters.count(result.outcome);
        observer.fileFinished(i, result);
    }
    return true;
}

} // namespace eschf
