#pragma once

#include "import/fileimport.h"
#include "import/report.h"

#include <QMetaType>
#include <QString>

#include <optional>

class QListWidgetItem;

Q_DECLARE_METATYPE(eschf::FileResult)

namespace eschf::logline {

// What a line of the log list carries besides its text: the file it stands for, from the moment it
// is listed, and how that file ended, once it is handled. The report and the branch redirection
// take them from here; the text is only what the operator reads.
void setFile(QListWidgetItem& line, const QString& path);
// The line's text and tooltip (the reason) follow the result.
void setResult(QListWidgetItem& line, const FileResult& result);

QString fileOf(const QListWidgetItem& line);
std::optional<FileResult> resultOf(const QListWidgetItem& line);
ReportRow reportRowOf(const QListWidgetItem& line);

// A branch redirection the directory may be missing: the taxpayer number the lookup searched with
// and the branch code as the invoice gives it, trimmed.
struct BranchKey
{
    QString unn;
    QString dopUnn;
};
// Only for a file that ended with no sender organisation and whose invoice names a branch.
std::optional<BranchKey> missingBranchOf(const QListWidgetItem& line);

} // namespace eschf::logline
