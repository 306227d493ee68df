#pragma once

#include <QString>

namespace eschf {

// What tells one file from another behind the same name, or a name that reaches the same file
// (a link): equal texts for the same file, an empty text when the file is not there.
QString fileIdentity(const QString& path);

// The identity with the file's size and time of last change: what changes when the file is
// written again or replaced. Empty when the file is not there.
QString fileVersion(const QString& path);

} // namespace eschf
