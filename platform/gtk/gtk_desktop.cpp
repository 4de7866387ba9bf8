// Start-up and teardown of the desktop, and the GLib main loop as the source
// of system events: one main-context iteration per wait, timers as GLib
// timeouts, termination signals and the capture field's key filter.
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdlib>

#include "platform/gtk/gtk_desktop_impl.h"
#include "platform/gtk/key_map.h"

namespace larkspur {
namespace {

constexpr std::uint32_t kCapsLockFlag = 1u << 16;
constexpr std::uint32_t kShiftFlag = 1u << 17;
constexpr std::uint32_t kControlFlag = 1u << 18;
constexpr std::uint32_t kOptionFlag = 1u << 19;
constexpr std::uint32_t kCommandFlag = 1u << 20;
constexpr int kKeypadEnter = 76;

gboolean onTerminationSignal(gpointer data) {
  auto* impl = static_cast<GtkDesktop::Impl*>(data);
  // The program decides for itself whether to quit: it sees the request as
  // the Quit item of the application.
  impl->queue.enqueue(EventMenu, MenuObjectQuit, WindowApplication, 0);
  // A modal alert runs its own loop and would hold the Quit back until the
  // user answered; the request closes it as if dismissed without a choice.
  impl->terminationRequested = true;
  for (GtkWidget* dialog : std::vector<GtkWidget*>(impl->runningAlerts))
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
  return G_SOURCE_CONTINUE;
}

gboolean onTimer(gpointer data) {
  auto* timer = static_cast<GtkDesktop::Impl::Timer*>(data);
  // While a tray host shows our menu, ticks wait (a rebuild would replace
  // the menu under the pointer); the first one due follows the close.
  if (timer->impl->tray && timer->impl->tray->menuOpen()) {
    timer->held = true;
    return G_SOURCE_CONTINUE;
  }
  // Copied: the callback may stop (and free) its own timer.
  auto fire = timer->fire;
  if (fire) fire();
  return G_SOURCE_CONTINUE;
}

gboolean onWaitTimeout(gpointer data) {
  *static_cast<bool*>(data) = true;
  return G_SOURCE_REMOVE;
}

std::uint32_t modifierFlags(guint state) {
  std::uint32_t flags = 0;
  if (state & GDK_LOCK_MASK) flags |= kCapsLockFlag;
  if (state & GDK_SHIFT_MASK) flags |= kShiftFlag;
  if (state & GDK_CONTROL_MASK) flags |= kControlFlag;
  if (state & GDK_MOD1_MASK) flags |= kOptionFlag;
  if (state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) flags |= kCommandFlag;
  return flags;
}

// The key as the capture field reports it: the key number of the physical
// key whatever the layout, and the character the layout types with Shift
// alone (and Num Lock, which decides what the keypad types).
KeyEvent keyEventFor(const GdkEventKey& key) {
  KeyEvent ev;
  GdkDisplay* display = gdk_window_get_display(key.window);
  ev.modifierFlags = modifierFlags(key.state);
  ev.virtualKeyCode = virtualKeyForKeycode(key.hardware_keycode);
  guint typing = key.state & GDK_SHIFT_MASK;
  if (GDK_IS_X11_DISPLAY(display))
    typing |= key.state & XkbKeysymToModifiers(GDK_DISPLAY_XDISPLAY(display), XK_Num_Lock);
  guint keyval = 0;
  gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(display), key.hardware_keycode,
                                      GdkModifierType(typing), key.group, &keyval, nullptr,
                                      nullptr, nullptr);
  // The original keyboard's keypad Enter types ETX, not a carriage return.
  gunichar c = ev.virtualKeyCode == kKeypadEnter ? 3 : gdk_keyval_to_unicode(keyval);
  if (c > 0xFFFF) c = 0xD800 + ((c - 0x10000) >> 10);  // the first unit of the pair
  ev.character = static_cast<char16_t>(c);
  return ev;
}

// In front of GTK's own dispatch: key presses aimed at a capture field go to
// the queue's filters first and never reach the entry when one consumes them.
void onGdkEvent(GdkEvent* event, gpointer data) {
  auto* impl = static_cast<GtkDesktop::Impl*>(data);
  // A modifier pressed alone is not a key-down of its own: it passes.
  if (event->type == GDK_KEY_PRESS && event->key.window && !event->key.is_modifier) {
    gpointer user = nullptr;
    gdk_window_get_user_data(event->key.window, &user);
    GtkWidget* top = user ? gtk_widget_get_toplevel(GTK_WIDGET(user)) : nullptr;
    GtkWidget* focus = top && GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
    std::int64_t window = -1, controlId = -1;
    if (focus && impl->findShortcutField(focus, &window, &controlId)) {
      KeyEvent ev = keyEventFor(event->key);
      ev.focusedWindow = window;
      ev.focusedControl = controlId;
      if (impl->queue.offerToFilters(ev)) return;
    }
  }
  gtk_main_do_event(event);
}

void passToGtk(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

// Windows and alerts show the application icon: the icon theme's, also in a
// tree installed elsewhere than /usr, else the image a build tree keeps
// beside its executable.
void setDefaultIcon(const std::string& executable) {
  std::string share = executable.substr(0, executable.rfind('/') + 1) + "../share/";
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  gtk_icon_theme_append_search_path(theme, (share + "icons").c_str());
  if (gtk_icon_theme_has_icon(theme, "larkspur"))
    gtk_window_set_default_icon_name("larkspur");
  else
    gtk_window_set_default_icon_from_file((share + "larkspur/fancy_app_icon.png").c_str(), nullptr);
}

// A Wayland session gives programs global shortcuts only through the portal:
// X11 grabs there fire only while an X11 window has the focus. The grabs
// stay the way when the user asks GTK for X11 (GDK_BACKEND=x11), as on a
// desktop set to pass all keys to X11 programs.
bool hotkeysByPortal() {
  const char* type = g_getenv("XDG_SESSION_TYPE");
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  const char* backend = g_getenv("GDK_BACKEND");
  bool waylandSession = type ? g_str_equal(type, "wayland") : wayland && *wayland;
  return waylandSession && !(backend && g_str_has_prefix(backend, "x11"));
}

}  // namespace

std::unique_ptr<GtkDesktop> GtkDesktop::create(EventQueue& queue, const Endpoints& endpoints,
                                               std::string* error) {
  setProgramLocale();
  // GTK would otherwise take the session's locale over ours, and in a C
  // session the any-case removals would fold ASCII letters only.
  gtk_disable_setlocale();
  bool byPortal = hotkeysByPortal();
  gdk_set_allowed_backends(byPortal ? "wayland,x11" : "x11,*");
  if (!gtk_init_check(nullptr, nullptr)) {
    if (error) {
      const char* display = g_getenv("DISPLAY");
      const char* wayland = g_getenv("WAYLAND_DISPLAY");
      *error = std::string("cannot open the display (DISPLAY=") + (display ? display : "unset") +
               ", WAYLAND_DISPLAY=" + (wayland ? wayland : "unset") + ")";
    }
    return nullptr;
  }
  std::unique_ptr<GtkDesktop> desktop(new GtkDesktop(queue, endpoints));
  desktop->impl_->byPortal = byPortal;
  return desktop;
}

GtkDesktop::GtkDesktop(EventQueue& queue, const Endpoints& endpoints)
    : impl_(std::make_unique<Impl>(queue, endpoints)) {
  queue.setSource(this);
  impl_->bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  for (int sig : {SIGTERM, SIGINT, SIGHUP})
    impl_->signalSources.push_back(g_unix_signal_add(sig, onTerminationSignal, impl_.get()));
  gdk_event_handler_set(onGdkEvent, impl_.get(), nullptr);
  setDefaultIcon(executablePath());
}

GtkDesktop::~GtkDesktop() {
  impl_->teardown();
  gdk_event_handler_set(passToGtk, nullptr, nullptr);
  for (guint id : impl_->signalSources) g_source_remove(id);
  for (auto& [handle, timer] : impl_->timers) g_source_remove(timer->source);
  impl_->timers.clear();
  // Let the destroyed widgets and the tray item's bus traffic settle.
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  if (impl_->bus) g_object_unref(impl_->bus);
  impl_->queue.setSource(nullptr);
}

void GtkDesktop::Impl::teardown() {
  while (!windows.empty()) destroyWindow(windows.begin()->first);
  tray.reset();
  releaseHotkeys();
}

void GtkDesktop::Impl::fireHeldTimers() {
  std::vector<TimerHandle> due;
  for (auto& [handle, timer] : timers)
    if (timer->held) due.push_back(handle);
  for (TimerHandle handle : due) {
    auto it = timers.find(handle);  // an earlier one may have stopped it
    if (it == timers.end()) continue;
    it->second->held = false;
    auto fire = it->second->fire;
    if (fire) fire();
  }
}

namespace {
struct DispatchScope {
  explicit DispatchScope(int& depth) : depth_(depth) { ++depth_; }
  ~DispatchScope() { --depth_; }
  DispatchScope(const DispatchScope&) = delete;
  DispatchScope& operator=(const DispatchScope&) = delete;
  int& depth_;
};
}  // namespace

bool GtkDesktop::dispatchOne(int timeoutMs) {
  GMainContext* context = g_main_context_default();
  DispatchScope scope(impl_->dispatchDepth);
  if (timeoutMs < 0) {
    // A wake-up without a dispatch still counts: wait reports -1 and the
    // caller looks at the queue again.
    g_main_context_iteration(context, TRUE);
    return true;
  }
  if (timeoutMs == 0) return g_main_context_iteration(context, FALSE);
  std::size_t before = impl_->queue.size();
  bool timedOut = false;
  GSource* timeout = g_timeout_source_new(static_cast<guint>(timeoutMs));
  g_source_set_callback(timeout, onWaitTimeout, &timedOut, nullptr);
  g_source_attach(timeout, context);
  g_main_context_iteration(context, TRUE);
  g_source_destroy(timeout);
  g_source_unref(timeout);
  return !timedOut || impl_->queue.size() > before;
}

// Inside our own iteration a wake-up is not needed: the iteration returns
// after this round of callbacks and the queue is looked at. Waking anyway
// would cost every timer tick two more rounds of the loop.
void GtkDesktop::wake() {
  if (impl_->dispatchDepth == 0) g_main_context_wakeup(g_main_context_default());
}

bool GtkDesktop::hasPending() {
  return impl_->dispatchDepth > 0 || g_main_context_pending(g_main_context_default());
}

TimerPort::TimerHandle GtkDesktop::startTimer(int intervalMs, std::function<void()> fire) {
  if (intervalMs <= 0) return 0;
  auto timer = std::make_unique<Impl::Timer>();
  timer->impl = impl_.get();
  timer->fire = std::move(fire);
  timer->source = g_timeout_add(static_cast<guint>(intervalMs), onTimer, timer.get());
  TimerHandle handle = impl_->nextTimer++;
  impl_->timers[handle] = std::move(timer);
  return handle;
}

void GtkDesktop::stopTimer(TimerHandle handle) {
  auto it = impl_->timers.find(handle);
  if (it == impl_->timers.end()) return;
  g_source_remove(it->second->source);
  impl_->timers.erase(it);
}

}  // namespace larkspur
