#pragma once

#include "import/fileimport.h"

#include <QList>
#include <QSaveFile>
#include <QString>

#include <optional>

namespace eschf {

// One line of a run's report: a file and how it ended (none when it was not handled).
struct ReportRow
{
    QString fileName;
    QString lineText;
    std::optional<FileResult> result;
};

// The report of a run or a check, as a spreadsheet in the Russian locale opens it by double-click:
// CSV in UTF-8 with a BOM, ";" between fields, CRLF, every field quoted. Written to a temporary
// file beside the target and renamed over it at the end, so it is never half-written.
class ReportFile
{
public:
    explicit ReportFile(QString path);

    // Creates the temporary file; throws Error when the report could not be written there.
    void open();
    // Writes the header and the rows and puts the file in place; throws Error.
    void write(const QList<ReportRow>& rows);

private:
    QString m_path;
    QSaveFile m_file;
};

// The report's text: the header row and one row per file.
QByteArray reportText(const QList<ReportRow>& rows);

} // namespace eschf
