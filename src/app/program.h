#pragma once

#include <QStringList>

namespace eschf {

// The GUI program: reads the command line (--config PATH), creates the data module and the main
// window, and runs the event loop until the window is closed. Needs the QApplication to exist.
// Returns the program's exit status: 1 when the settings file is missing, 2 for a bad command line.
int runLoader(const QStringList& arguments);

} // namespace eschf
