#pragma once

#include <QStringList>

class QApplication;

namespace eschf {

// What every window of the program shares, set once on the application before the first window:
// the Tahoma typeface for every text, message boxes and menus included, and Qt's own texts (the
// edit menus, the buttons of the standard boxes) in Russian. The translations are looked for in
// a translations folder beside the executable first, then where Qt keeps them.
void prepareApplication(QApplication& app);

// The GUI program: reads the command line (--config PATH), creates the data module and the main
// window, and runs the event loop until the window is closed. Needs the QApplication to exist.
// Returns the program's exit status: 1 when the settings file is missing, 2 for a bad command line.
int runLoader(const QStringList& arguments);

} // namespace eschf
