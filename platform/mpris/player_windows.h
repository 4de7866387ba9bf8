#pragma once
// The player's windows, where the desktop lets another program act on them.

namespace larkspur::mpris {

// Asks the window manager to minimise each top-level X11 window whose
// _NET_WM_PID is `pid` or a process started under it. Outside an X11
// session nothing happens.
void minimiseWindowsOf(unsigned pid);

}  // namespace larkspur::mpris
