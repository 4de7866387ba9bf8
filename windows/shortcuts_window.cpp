#include "windows/shortcuts_window.h"

namespace larkspur {

void ShortcutsWindow::run() { p_.core.relaunch(); }

}  // namespace larkspur
