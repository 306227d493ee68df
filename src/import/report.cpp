#include "import/report.h"

#include "data/error.h"

#include <QDir>
#include <QStringList>

namespace eschf {

namespace {

QString quoted(QString field)
{
    field.replace(u'"', QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

QString csvLine(const QStringList& fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString& field : fields)
        out.append(quoted(field));
    return out.join(u';') + QStringLiteral("\r\n");
}

QStringList fieldsOf(const ReportRow& row)
{
    QStringList fields{row.fileName};
    if (!row.result) {
        fields << QString() << QString() << QString() << row.lineText;
        while (fields.size() < 11)
            fields << QString();
        return fields;
    }
    const FileResult& r = *row.result;
    fields << r.invoiceNumber << outcomeLetter(r.outcome) << outcomeWords(r) << row.lineText << r.reason;
    const MissingParty party = r.party.value_or(MissingParty{});
    fields << party.role << party.unp << party.branchCode << party.name << party.address;
    return fields;
}

QString errorOf(const QSaveFile& file, const QString& path)
{
    return QStringLiteral("Не удалось записать отчёт %1: %2")
        .arg(QDir::toNativeSeparators(path), file.errorString());
}

} // namespace

QByteArray reportText(const QList<ReportRow>& rows)
{
    QString text =
        csvLine({QStringLiteral("Файл"), QStringLiteral("Номер ЭСЧФ"), QStringLiteral("Исход"),
                 QStringLiteral("Исход словами"), QStringLiteral("Строка журнала"), QStringLiteral("Причина"),
                 QStringLiteral("Не найдена сторона"), QStringLiteral("УНП"), QStringLiteral("Код филиала"),
                 QStringLiteral("Наименование"), QStringLiteral("Адрес")});
    for (const ReportRow& row : rows)
        text += csvLine(fieldsOf(row));
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

ReportFile::ReportFile(QString path) : m_path(std::move(path)), m_file(m_path) {}

void ReportFile::open()
{
    if (!m_file.open(QIODevice::WriteOnly))
        throw Error(errorOf(m_file, m_path));
}

void ReportFile::write(const QList<ReportRow>& rows)
{
    if (!m_file.isOpen())
        open();
    const QByteArray text = reportText(rows);
    if (m_file.write(text) != text.size() || !m_file.commit())
        throw Error(errorOf(m_file, m_path));
}

} // namespace eschf
