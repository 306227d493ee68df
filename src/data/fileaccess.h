#pragma once

#include <QByteArray>
#include <QString>

namespace eschf {

// A file read whole. The file is open only while it is read; on Windows it is opened so that
// another program (another run on the same folder) may delete or rename it meanwhile.
struct WholeFile
{
    QByteArray bytes;
    bool opened = false;
    bool complete = false;
    QString error;
};
WholeFile readWholeFile(const QString& path);

// Deletes a file. Windows refuses while anyone holds the file open without delete sharing
// (an antivirus, an indexer, a reader of another run): such a refusal is tried again briefly.
bool deleteFile(const QString& path, QString* error);

// Whether deleteFile could delete the file now, without deleting it: the folder takes changes and,
// on Windows, the file is not read-only and nobody holds it open without delete sharing. why says
// what stands in the way.
bool mayDeleteFile(const QString& path, QString* why);

} // namespace eschf
