#include "app/logline.h"

#include <QFileInfo>
#include <QListWidgetItem>

namespace eschf::logline {

namespace {

constexpr int kFileRole = Qt::UserRole;
constexpr int kResultRole = Qt::UserRole + 1;

} // namespace

void setFile(QListWidgetItem& line, const QString& path)
{
    line.setData(kFileRole, path);
}

void setResult(QListWidgetItem& line, const FileResult& result)
{
    line.setText(result.lineText);
    line.setToolTip(result.reason);
    line.setData(kResultRole, QVariant::fromValue(result));
}

QString fileOf(const QListWidgetItem& line)
{
    return line.data(kFileRole).toString();
}

std::optional<FileResult> resultOf(const QListWidgetItem& line)
{
    const QVariant stored = line.data(kResultRole);
    if (!stored.canConvert<FileResult>())
        return std::nullopt;
    return stored.value<FileResult>();
}

ReportRow reportRowOf(const QListWidgetItem& line)
{
    return ReportRow{QFileInfo(fileOf(line)).fileName(), line.text(), resultOf(line)};
}

std::optional<BranchKey> missingBranchOf(const QListWidgetItem& line)
{
    const std::optional<FileResult> result = resultOf(line);
    if (!result || result->outcome != Outcome::B || !result->party)
        return std::nullopt;
    const QString branch = result->party->branchCode.trimmed();
    if (branch.isEmpty())
        return std::nullopt;
    return BranchKey{result->party->unp, branch};
}

} // namespace eschf::logline
