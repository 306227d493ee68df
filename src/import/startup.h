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
    bool settingsFound = false;            // step 1
    std::optional<SettingsFile> settings;  // step 2
    QString path;                          // step 2: the invoice folder prefix
    std::optional<ConnectionSpec> spec;    // step 3: what the worker opens its own connection from
    std::optional<QString> ownUnn;         // step 4: the own taxpayer number, empty when no row
    std::optional<bool> downloadEnabled;   // step 5
    std::optional<int> purged;             // step 6: incomplete invoices removed
    QString failure;                       // the text that stopped start-up (no password in it)

    bool succeeded() const { return settingsFound && failure.isEmpty(); }
};

// The message of a missing settings file; the program ends after it.
QString settingsMissingMessage();

// Start-up steps 1 to 6 on dm. Never throws: a failed step stops the rest and is kept in failure.
StartupState runStartup(TDM& dm, const QString& settingsPath);

} // namespace eschf
