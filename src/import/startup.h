#pragma once

#include "data/connection.h"
#include "data/settingsfile.h"

#include <QString>

#include <optional>

namespace eschf {

class TDM;

// What start-up found, step by step. A step that did not run leaves its member empty.
struct StartupState
{
    QString settingsPath;
    bool settingsFound = false;                 // MdbConnect.ini exists
    std::optional<SettingsFile> settings;       // its two lines
    QString path;                               // the invoice folder prefix
    std::optional<ConnectionParams> connection; // what the worker opens its own connection from
    std::optional<QString> ownUnn;              // the own taxpayer number, empty when no row
    std::optional<bool> downloadEnabled;        // whether the download button may be used
    std::optional<int> purged;                  // incomplete invoices removed
    std::optional<int> incomplete;              // without the purge: the incomplete invoices it would remove
    QString failure;                            // the text that stopped start-up (no password in it)

    bool succeeded() const { return settingsFound && failure.isEmpty(); }
};

// The message of a missing settings file; the program ends after it.
QString settingsMissingMessage();

// Start-up on dm: settings file, connection, own taxpayer number, download button, purge of
// incomplete invoices (only counted when purge is false: a check changes nothing). Never throws: a
// failed step stops the rest and is kept in failure.
StartupState runStartup(TDM& dm, const QString& settingsPath, bool purge = true);

} // namespace eschf
