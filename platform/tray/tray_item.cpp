// The tray item's life and the rules every way in shares: a choice counts only
// for an entry the menu holds enabled, a scroll burst is one choice, and an
// open menu holds the refresh ticks until it closes or its host is gone.
#include "platform/tray/tray_item.h"

#include "platform/event_queue.h"
#include "platform/gtk/gtk_pixbuf.h"
#include "platform/tray/tray_impl.h"

namespace larkspur {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
// A host that marked the menu open and then never said it closed it (it
// crashed, or it does not send the event) must not stop the title for good.
constexpr guint kMenuReleaseSeconds = 60;
// Touchpads and free-spinning wheels send a stream of steps for one flick.
constexpr gint64 kScrollBurstMicroseconds = 400000;

void onWatcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
  static_cast<TrayItem::Impl*>(data)->watcherAppeared();
}

void onWatcherVanished(GDBusConnection*, const gchar*, gpointer data) {
  static_cast<TrayItem::Impl*>(data)->watcherVanished();
}

void onHostVanished(GDBusConnection*, const gchar*, gpointer data) {
  static_cast<TrayItem::Impl*>(data)->releaseMenu();
}

gboolean onReleaseTimeout(gpointer data) {
  auto* self = static_cast<TrayItem::Impl*>(data);
  self->releaseTimeout = 0;
  self->releaseMenu();
  return G_SOURCE_REMOVE;
}

// ARGB32 in network byte order, as the item's pixmaps travel.
TrayIcon trayIconOf(GdkPixbuf* pixels) {
  TrayIcon icon;
  icon.width = gdk_pixbuf_get_width(pixels);
  icon.height = gdk_pixbuf_get_height(pixels);
  int stride = gdk_pixbuf_get_rowstride(pixels);
  int channels = gdk_pixbuf_get_n_channels(pixels);
  const guchar* src = gdk_pixbuf_read_pixels(pixels);
  icon.argb.reserve(static_cast<std::size_t>(icon.width) * icon.height * 4);
  for (int y = 0; y < icon.height; ++y) {
    for (int x = 0; x < icon.width; ++x) {
      const guchar* p = src + static_cast<std::size_t>(y) * stride + x * channels;
      icon.argb.push_back(channels == 4 ? p[3] : 255);
      icon.argb.insert(icon.argb.end(), {p[0], p[1], p[2]});
    }
  }
  return icon;
}

}  // namespace

TrayItem::TrayItem(EventQueue& queue, std::function<void()> menuReleased)
    : impl_(std::make_unique<Impl>(queue, std::move(menuReleased))) {
  Impl& s = *impl_;
  s.bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!s.bus || !s.exportItem()) {
    // No session bus: the XEmbed icon is all a tray can show of us.
    s.showXembed();
    return;
  }
  s.startMenuServer();
  s.watcherWatch = g_bus_watch_name_on_connection(s.bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                  onWatcherAppeared, onWatcherVanished, &s, nullptr);
}

TrayItem::~TrayItem() {
  Impl& s = *impl_;
  if (s.watcherWatch) g_bus_unwatch_name(s.watcherWatch);
  if (s.registering) {
    g_cancellable_cancel(s.registering);
    g_clear_object(&s.registering);
  }
  s.menuReleased = nullptr;
  s.releaseMenu();
  s.hideXembed();
  s.stopMenuServer();
  s.unexportItem();
  g_clear_object(&s.iconPixels);
  g_clear_object(&s.bus);
}

void TrayItem::setIconFolder(const std::string& folder) {
  // Hosts are handed the folder as a plain path: "bin/../share" and a
  // trailing slash made plain.
  gchar* plain = folder.empty() ? nullptr : g_canonicalize_filename(folder.c_str(), nullptr);
  impl_->iconFolder = plain ? plain : "";
  g_free(plain);
}

void TrayItem::setImage(const Image* image, bool templateImage) {
  Impl& s = *impl_;
  g_clear_object(&s.iconPixels);
  s.iconPixels = image ? pixbufAtPointSize(*image) : nullptr;
  s.icon = s.iconPixels ? trayIconOf(s.iconPixels) : TrayIcon{};
  // Hosts draw a symbolic icon in the panel's own foreground colour, which is
  // what a template image asks for; the pixels stay for hosts that draw
  // pixmaps only.
  std::string symbolic = s.iconFolder + "/" + kSymbolicIconName + ".svg";
  if (s.iconPixels && templateImage && g_file_test(symbolic.c_str(), G_FILE_TEST_IS_REGULAR))
    s.icon.name = kSymbolicIconName;
  s.emitChanges();
  s.updateXembedIcon();
}

void TrayItem::setLabel(const std::string& utf8) {
  if (impl_->label == utf8) return;
  impl_->label = utf8;
  impl_->emitChanges();
}

void TrayItem::setToolTip(const std::string& utf8) {
  if (impl_->toolTip == utf8) return;
  impl_->toolTip = utf8;
  impl_->emitChanges();
  if (impl_->statusIcon) impl_->updateXembedIcon();
}

void TrayItem::setMenu(const MenuModel* model) {
  impl_->model = model;
  impl_->exportMenu();
  if (impl_->statusIcon) impl_->rebuildGtkMenu();
}

void TrayItem::entryEnabledChanged(const MenuModel& model, std::int64_t id) {
  if (impl_->model != &model) return;
  for (const MenuEntry& e : model.entries) {
    if (e.separator || e.id != id) continue;
    impl_->exportEnabled(id, e.enabled);
    impl_->gtkEnabled(id, e.enabled);
  }
}

void TrayItem::menuFreed(const MenuModel& model) {
  // What is exported stays until the next build replaces it, so a host never
  // sees an empty menu in between; choices from it count for nothing.
  if (impl_->model == &model) impl_->model = nullptr;
}

void TrayItem::setMouseActions(const StatusMouseActions& actions) { impl_->mouse = actions; }

bool TrayItem::menuOpen() const { return impl_->menuOpen; }

void TrayItem::Impl::choose(std::int64_t id) {
  if (!model || id == 0) return;
  // Hosts deliver clicks on disabled entries too; only enabled ones count.
  for (const MenuEntry& e : model->entries) {
    if (e.separator || e.id != id) continue;
    if (!e.enabled) return;
    queue.enqueue(EventMenu, id, 0, 0);
    // Choosing an entry closes the menu in every host, and those built on
    // libdbusmenu-gtk never say so: without this, the label would wait for
    // the release time-out after every choice there.
    releaseMenu();
    return;
  }
}

// One choice per burst of steps, in the direction of its first step: a burst
// lasts 400 ms from that step, whatever follows within it.
void TrayItem::Impl::scroll(bool away) {
  gint64 now = g_get_monotonic_time();
  if (bursting && now - burstStart < kScrollBurstMicroseconds) return;
  bursting = true;
  burstStart = now;
  choose(away ? mouse.wheelAway : mouse.wheelTowards);
}

void TrayItem::Impl::markMenuOpen(const std::set<std::string>& hosts) {
  menuOpen = true;
  if (releaseTimeout) g_source_remove(releaseTimeout);
  releaseTimeout = g_timeout_add_seconds(kMenuReleaseSeconds, onReleaseTimeout, this);
  for (const std::string& host : hosts) {
    if (hostWatches.count(host) || !bus) continue;
    hostWatches[host] = g_bus_watch_name_on_connection(
        bus, host.c_str(), G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr, onHostVanished, this, nullptr);
  }
}

void TrayItem::Impl::releaseMenu() {
  if (releaseTimeout) g_source_remove(releaseTimeout);
  releaseTimeout = 0;
  for (auto& [host, watch] : hostWatches) g_bus_unwatch_name(watch);
  hostWatches.clear();
  if (!menuOpen) return;
  menuOpen = false;
  if (menuReleased) menuReleased();
}

void TrayItem::Impl::watcherAppeared() {
  // A new watcher (a panel restarted) knows nothing of us: register again.
  registered = false;
  registerWithWatcher();
}

void TrayItem::Impl::watcherVanished() {
  registered = false;
  if (registering) {
    g_cancellable_cancel(registering);
    g_clear_object(&registering);
  }
  showXembed();
}

}  // namespace larkspur
