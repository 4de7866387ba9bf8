#include "platform/mpris/player_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace larkspur::mpris {
namespace {

// A window may go away between listing and reading it; Xlib's default
// handler would end our process for that.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

// The 32-bit items of a property; Xlib hands them over as longs.
std::vector<unsigned long> longs(Display* d, Window w, Atom property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> out;
  if (XGetWindowProperty(d, w, property, 0, 4096, False, type, &actual, &format, &count, &after,
                         &data) == Success &&
      data && actual == type && format == 32) {
    auto* items = reinterpret_cast<unsigned long*>(data);
    out.assign(items, items + count);
  }
  if (data) XFree(data);
  return out;
}

// The window manager's list of the windows it manages (their frames hide
// them from the root's children); without a window manager, the root's
// children are the top-level windows.
std::vector<unsigned long> topLevels(Display* d) {
  Window root = DefaultRootWindow(d);
  std::vector<unsigned long> managed = longs(d, root, XInternAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW);
  if (!managed.empty()) return managed;
  Window rootReturn = None, parent = None, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, root, &rootReturn, &parent, &children, &count) && children)
    managed.assign(children, children + count);
  if (children) XFree(children);
  return managed;
}

unsigned parentOf(unsigned pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The name in parentheses may hold anything, closing parentheses included.
  std::size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 4 >= stat.size()) return 0;
  return static_cast<unsigned>(std::strtoul(stat.c_str() + close + 4, nullptr, 10));
}

bool startedUnder(unsigned pid, unsigned ancestor) {
  for (int depth = 0; pid > 1 && depth < 64; ++depth, pid = parentOf(pid))
    if (pid == ancestor) return true;
  return false;
}

}  // namespace

void minimiseWindowsOf(unsigned pid) {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  if (pid == 0 || (session && std::string(session) == "wayland")) return;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  auto previous = XSetErrorHandler(ignoreXError);
  Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
  for (unsigned long w : topLevels(d)) {
    std::vector<unsigned long> owner = longs(d, w, pidAtom, XA_CARDINAL);
    if (owner.size() == 1 && startedUnder(static_cast<unsigned>(owner[0]), pid))
      XIconifyWindow(d, w, DefaultScreen(d));
  }
  XSync(d, False);
  XSetErrorHandler(previous);
  XCloseDisplay(d);
}

}  // namespace larkspur::mpris
