// Facts about the machine and the few desktop-wide actions: clipboard,
// wallpaper, detached shell commands, leaving the process.
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/gtk/gtk_desktop_impl.h"
#include "platform/installed_memory.h"

namespace larkspur {
namespace {

// GSettings aborts on a schema it does not know, so every lookup goes
// through the schema source first.
GSettings* settingsIfInstalled(const char* schemaId, const char* key) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return nullptr;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId, TRUE);
  if (!schema) return nullptr;
  bool hasKey = g_settings_schema_has_key(schema, key);
  g_settings_schema_unref(schema);
  return hasKey ? g_settings_new(schemaId) : nullptr;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isExecutable(const std::string& path) {
  return g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE) &&
         !g_file_test(path.c_str(), G_FILE_TEST_IS_DIR);
}

bool spawnDetached(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // Its own session, and no child of ours to reap: the spawned program is
  // adopted by init once our intermediate process is gone.
  auto flags = GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                           G_SPAWN_STDERR_TO_DEV_NULL);
  GPid pid = 0;
  gboolean ok = g_spawn_async(
      nullptr, args.data(), nullptr, GSpawnFlags(flags | G_SPAWN_DO_NOT_REAP_CHILD),
      [](gpointer) { setsid(); }, nullptr, &pid, nullptr);
  if (!ok) return false;
  // Reap it whenever it ends, so it never lingers as a zombie.
  g_child_watch_add(pid, [](GPid child, gint, gpointer) { g_spawn_close_pid(child); }, nullptr);
  return true;
}

bool onPath(const char* program) {
  gchar* found = g_find_program_in_path(program);
  g_free(found);
  return found != nullptr;
}

}  // namespace

int GtkDesktop::osMajorVersion() const {
  // The minimum-version check has no meaning here: answer one that passes.
  return 99;
}

std::uint64_t GtkDesktop::physicalMemory() const {
  long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
  std::uint64_t kernelTotal = pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * size : 0;
  return installedMemory("/sys/devices/system/memory", kernelTotal);
}

double GtkDesktop::screenScale() const {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return 1.0;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  return monitor ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1.0;
}

bool GtkDesktop::darkAppearance() const {
  if (GtkSettings* settings = gtk_settings_get_default()) {
    gboolean preferDark = FALSE;
    gchar* theme = nullptr;
    g_object_get(settings, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name",
                 &theme, nullptr);
    std::string name = theme ? theme : "";
    g_free(theme);
    if (preferDark) return true;
    for (char& ch : name) ch = static_cast<char>(g_ascii_tolower(ch));
    if (endsWith(name, "-dark") || endsWith(name, ":dark")) return true;
  }
  if (GSettings* gs = settingsIfInstalled("org.gnome.desktop.interface", "color-scheme")) {
    gchar* scheme = g_settings_get_string(gs, "color-scheme");
    bool dark = scheme && std::string(scheme) == "prefer-dark";
    g_free(scheme);
    g_object_unref(gs);
    return dark;
  }
  return false;
}

std::string GtkDesktop::homeDirectory() const {
  std::string home = g_get_home_dir();
  if (home.empty() || home.back() != '/') home += '/';
  return home;
}

std::string GtkDesktop::executablePath() const {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool GtkDesktop::playerInstalled() const {
  for (std::string path : impl_->endpoints.playerInstallPaths) {
    if (path.rfind("~/", 0) == 0) path = homeDirectory() + path.substr(2);
    if (isExecutable(path)) return true;
  }
  const std::string& name = impl_->endpoints.playerExecutableName;
  return !name.empty() && onPath(name.c_str());
}

void GtkDesktop::setAccessoryPolicy() {
  // Without a dock there is nothing to hide: windows stay off the task bar
  // through their own hints.
}

void GtkDesktop::activateApp() {
  for (auto& [number, slot] : impl_->windows)
    if (!(slot.options & 0x01)) gtk_window_present(GTK_WINDOW(slot.window));
}

void GtkDesktop::sleepMs(int ms) {
  if (ms > 0) g_usleep(static_cast<gulong>(ms) * 1000);
}

void GtkDesktop::setClipboardText(const Text& text) {
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  std::string utf8 = toUtf8(text);
  gtk_clipboard_set_text(clipboard, utf8.c_str(), static_cast<gint>(utf8.size()));
  // Hands the text to a clipboard manager, if one runs, so it outlives us.
  gtk_clipboard_store(clipboard);
}

void GtkDesktop::setDesktopPicture(const std::string& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  if (!uri) return;
  if (GSettings* gs = settingsIfInstalled("org.gnome.desktop.background", "picture-uri")) {
    g_settings_set_string(gs, "picture-uri", uri);
    GSettingsSchema* schema = nullptr;
    g_object_get(gs, "settings-schema", &schema, nullptr);
    if (schema && g_settings_schema_has_key(schema, "picture-uri-dark"))
      g_settings_set_string(gs, "picture-uri-dark", uri);
    if (schema) g_settings_schema_unref(schema);
    g_settings_sync();
    g_object_unref(gs);
  } else if (onPath("xfconf-query")) {
    spawnDetached({"xfconf-query", "-c", "xfce4-desktop", "-p",
                   "/backdrop/screen0/monitor0/workspace0/last-image", "-s", path});
  } else if (onPath("plasma-apply-wallpaperimage")) {
    spawnDetached({"plasma-apply-wallpaperimage", path});
  }
  g_free(uri);
}

bool GtkDesktop::launchShell(const std::string& command) {
  return spawnDetached({"/bin/sh", "-c", command});
}

void GtkDesktop::exitProcess(int status) {
  impl_->teardown();
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

}  // namespace larkspur
