#pragma once

#include <QString>

namespace eschf {

// The two lines of MdbConnect.ini.
struct SettingsFile
{
    QString connectionString; // line 1
    QString invoiceFolder;    // line 2 as written
    QString directory;        // the folder the file lies in
};

// Reads the first two lines of the settings file (UTF-8 with or without BOM, else the ANSI code
// page: windows-1251 outside Windows). A missing second line reads as empty. Throws Error when the
// file cannot be opened or read.
SettingsFile readSettingsFile(const QString& filePath);

// The invoice folder as the text prefix the import appends "*.xml" and file names to. A line that
// names an existing folder but lacks the trailing separator gets one; any other text stays as it is.
QString invoiceFolderPrefix(const QString& invoiceFolder);

// MdbConnect.ini in the program folder (in ESCHF_SETTINGS_DIR when the build names one).
QString defaultSettingsPath();

} // namespace eschf
