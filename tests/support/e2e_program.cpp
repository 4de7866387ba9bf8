#include "support/e2e_program.h"

#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <plist/plist.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support/gtk_session.h"
#include "support/private_bus.h"

namespace larkspur::test {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";

// Exit statuses of processes already reaped, so a second question about the
// same process still has its answer.
std::map<pid_t, int>& reaped() {
  static std::map<pid_t, int> statuses;
  return statuses;
}

int statusValue(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

bool reap(pid_t pid) {
  if (reaped().count(pid)) return true;
  int raw = 0;
  if (waitpid(pid, &raw, WNOHANG) != pid) return false;
  reaped()[pid] = statusValue(raw);
  return true;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The processes this one is parent of, with their command names.
std::vector<std::pair<pid_t, std::string>> children() {
  std::vector<std::pair<pid_t, std::string>> out;
  const pid_t self = getpid();
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (dirent* e = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    // "pid (comm) state ppid ...": comm may hold blanks, so parse from the
    // last parenthesis.
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    auto open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == self) out.emplace_back(pid, stat.substr(open + 1, close - open - 1));
  }
  closedir(proc);
  return out;
}

std::string artIdOf(const std::string& itemLine) {
  std::vector<std::string> fields;
  std::istringstream in(itemLine);
  for (std::string f; std::getline(in, f, '|');) fields.push_back(f);
  return fields.size() >= 7 ? fields[6] : std::string();
}

plist_t plistOf(const Settings& settings) {
  plist_t dict = plist_new_dict();
  for (const auto& [key, value] : settings) {
    if (const auto* n = std::get_if<std::int64_t>(&value))
      plist_dict_set_item(dict, key.c_str(), plist_new_uint(static_cast<std::uint64_t>(*n)));
    else
      plist_dict_set_item(dict, key.c_str(), plist_new_string(std::get<std::string>(value).c_str()));
  }
  return dict;
}

}  // namespace

Settings defaultSettings() {
  Settings s = {{"Val9", std::int64_t{1}}, {"Val11", std::int64_t{0}}, {"Val17", std::int64_t{0}},
                {"Val19", std::int64_t{0}}, {"Val51", std::int64_t{1}}};
  for (const char* key : {"Val31", "Val33", "Val35", "Val37", "Val39", "Val41"})
    s[key] = std::string();
  return s;
}

std::string makeJpeg(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  GdkPixbuf* pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  if (!pixels) return {};
  gdk_pixbuf_fill(pixels, (guint32(r) << 24) | (guint32(g) << 16) | (guint32(b) << 8) | 0xFF);
  gchar* buffer = nullptr;
  gsize size = 0;
  std::string out;
  if (gdk_pixbuf_save_to_buffer(pixels, &buffer, &size, "jpeg", nullptr, "quality", "90", nullptr))
    out.assign(buffer, size);
  g_free(buffer);
  g_object_unref(pixels);
  return out;
}

std::string E2eProgram::executable() { return LARKSPUR_BINARY_DIR "tools/larkspur-loopback"; }

E2eProgram::E2eProgram()
    : home_(dir_.file("home")),
      tempDirectory_(dir_.file("tmp")),
      recordPath_(dir_.file("player-record.txt")),
      endpointsPath_(dir_.file("endpoints.txt")) {
  // Whatever the program starts detached comes back to us when its parent
  // goes, instead of to init: we can read its exit status and end it.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  std::filesystem::create_directories(home_);
  std::filesystem::create_directories(tempDirectory_);
  server_.route("/", LoopbackHttpServer::text(200, "<html>up</html>"));
  probeUrl_ = server_.url("/");
  imagePrefix_ = server_.url("/image/");
  watcher_ = std::make_unique<FakeStatusWatcher>();
  waitFor([&] { return watcher_->ready(); }, 5000);
}

E2eProgram::~E2eProgram() {
  endEverything();
  watcher_.reset();
}

void E2eProgram::endEverything() {
  // The relaunch shells first, or they start a successor once the program
  // they wait for has gone.
  static const std::set<std::string> ours = {"sh", "sleep", "larkspur-loopba", "spotify",
                                            "spotify-sim"};
  for (const std::string& wave : {std::string("sh"), std::string()}) {
    for (const auto& [pid, comm] : children())
      if (ours.count(comm) && (wave.empty() || comm == wave)) kill(pid, SIGKILL);
  }
  waitUntil([&] {
    for (const auto& [pid, comm] : children()) {
      if (!ours.count(comm)) continue;
      kill(pid, SIGKILL);
      if (!reap(pid)) return false;
    }
    return true;
  }, 5000);
}

void E2eProgram::setItems(const std::string& text) {
  std::string path = dir_.write("items.txt", text);
  addSimArgs("--items " + path);
  int shade = 40;
  for (const std::string& line : lines(text)) {
    if (line[0] == '#') continue;
    std::string id = artIdOf(line);
    if (id.empty()) continue;
    LoopbackHttpServer::Response image;
    image.body = makeJpeg(64, 64, static_cast<std::uint8_t>(shade), 90, 160);
    image.headers = {{"Content-Type", "image/jpeg"}};
    server_.route("/image/" + id, image);
    shade = (shade + 37) % 256;
  }
}

void E2eProgram::addSimArgs(const std::string& args) {
  if (!simArgs_.empty()) simArgs_ += ' ';
  simArgs_ += args;
}

void E2eProgram::presetSettings(const Settings& overrides) {
  Settings all = defaultSettings();
  for (const auto& [key, value] : overrides) all[key] = value;
  std::string dir = home_ + "/Library/Preferences";
  std::filesystem::create_directories(dir);
  plist_t dict = plistOf(all);
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(dict, &xml, &length);
  std::ofstream(settingsPath(), std::ios::binary).write(xml, length);
  plist_to_xml_free(xml);
  plist_free(dict);
  chmod(settingsPath().c_str(), 0600);
}

void E2eProgram::writeEndpoints() {
  std::ofstream out(endpointsPath_);
  out << "probeUrl=" << probeUrl_ << "\n"
      << "imagePrefix=" << imagePrefix_ << "\n"
      << "webHost=open.example.test\n"
      << "otherAppsUrl=" << server_.url("/other-apps") << "\n"
      << "tempDirectory=" << tempDirectory_ << "\n";
}

bool E2eProgram::spawn() {
  writeEndpoints();
  if (!simOnPath_)
    simOnPath_ = std::make_unique<SimOnPath>("--record " + recordPath_ + " --art-base " +
                                             imagePrefix_ + (simArgs_.empty() ? "" : " " + simArgs_));
  std::string exe = executable();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv("HOME", home_.c_str(), 1);
    setenv("LARKSPUR_ENDPOINTS_FILE", endpointsPath_.c_str(), 1);
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return false;
  pid_ = pid;
  busName_.clear();
  return true;
}

bool E2eProgram::start(int timeoutMs) {
  if (!spawn()) return false;
  pid_t spawned = pid_;
  return waitForSuccessor(-1, timeoutMs) && pid_ == spawned;
}

pid_t E2eProgram::pidOfConnection(const std::string& busName) {
  GVariant* reply = watcher_->call(kBusService, kBusPath, kBusService, "GetConnectionUnixProcessID",
                                   g_variant_new("(s)", busName.c_str()));
  if (!reply) return -1;
  guint32 pid = 0;
  g_variant_get(reply, "(u)", &pid);
  g_variant_unref(reply);
  return static_cast<pid_t>(pid);
}

bool E2eProgram::waitForSuccessor(pid_t oldPid, int timeoutMs) {
  std::map<std::string, pid_t> known;
  return waitFor([&] {
    const auto& regs = watcher_->registrations();
    for (auto it = regs.rbegin(); it != regs.rend(); ++it) {
      if (!known.count(it->busName)) known[it->busName] = pidOfConnection(it->busName);
      pid_t pid = known[it->busName];
      if (pid > 0 && pid != oldPid && running(pid)) {
        pid_ = pid;
        busName_ = it->busName;
        return true;
      }
    }
    return false;
  }, timeoutMs);
}

std::optional<int> E2eProgram::waitForExit(pid_t pid, int timeoutMs) {
  if (!waitFor([&] { return reap(pid); }, timeoutMs)) return std::nullopt;
  return reaped()[pid];
}

bool E2eProgram::running(pid_t pid) { return !reap(pid) && kill(pid, 0) == 0; }

void E2eProgram::signal(pid_t pid, int sig) {
  if (!reap(pid)) kill(pid, sig);
}

bool E2eProgram::waitFor(const std::function<bool()>& condition, int timeoutMs) {
  return iterateUntil(condition, timeoutMs);
}

std::string E2eProgram::objectPath() const {
  std::string path;
  for (const auto& r : watcher_->registrations())
    if (r.busName == busName_) path = r.objectPath;
  return path;
}

std::string E2eProgram::label() {
  std::string path = objectPath();
  if (path.empty()) return "<no item>";
  GVariant* v = watcher_->property(busName_, path, kItemInterface, "XAyatanaLabel");
  std::string s = v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) ? g_variant_get_string(v, nullptr)
                                                                      : std::string("<no label>");
  if (v) g_variant_unref(v);
  return s;
}

std::vector<MenuLine> E2eProgram::menu() {
  std::vector<MenuLine> out;
  std::string item = objectPath();
  if (item.empty()) return out;
  GVariant* menuPath = watcher_->property(busName_, item, kItemInterface, "Menu");
  if (!menuPath) return out;
  std::string path = g_variant_is_of_type(menuPath, G_VARIANT_TYPE_OBJECT_PATH)
                         ? g_variant_get_string(menuPath, nullptr)
                         : "";
  g_variant_unref(menuPath);
  if (path.empty()) return out;
  GVariant* reply = watcher_->call(busName_, path, kMenuInterface, "GetLayout",
                                   g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
  if (!reply) return out;
  guint revision = 0;
  GVariant* root = nullptr;
  g_variant_get(reply, "(u@(ia{sv}av))", &revision, &root);
  GVariant* items = g_variant_get_child_value(root, 2);
  for (gsize i = 0; i < g_variant_n_children(items); ++i) {
    GVariant* boxed = g_variant_get_child_value(items, i);
    GVariant* child = g_variant_get_variant(boxed);
    gint32 id = 0;
    g_variant_get_child(child, 0, "i", &id);
    GVariant* props = g_variant_get_child_value(child, 1);
    GVariantDict dict;
    g_variant_dict_init(&dict, props);
    const gchar* type = nullptr;
    const gchar* text = nullptr;
    gboolean enabled = TRUE, visible = TRUE;
    g_variant_dict_lookup(&dict, "type", "&s", &type);
    g_variant_dict_lookup(&dict, "label", "&s", &text);
    g_variant_dict_lookup(&dict, "enabled", "b", &enabled);
    g_variant_dict_lookup(&dict, "visible", "b", &visible);
    MenuLine line;
    line.dbusId = id;
    line.separator = g_strcmp0(type, "separator") == 0;
    line.label = text ? text : "";
    line.enabled = enabled;
    line.hasImage = g_variant_dict_contains(&dict, "icon-data");
    if (visible) out.push_back(line);
    g_variant_dict_clear(&dict);
    g_variant_unref(props);
    g_variant_unref(child);
    g_variant_unref(boxed);
  }
  g_variant_unref(items);
  g_variant_unref(root);
  g_variant_unref(reply);
  return out;
}

std::vector<MenuLine> E2eProgram::entries() {
  std::vector<MenuLine> out;
  for (const MenuLine& line : menu())
    if (!line.separator) out.push_back(line);
  return out;
}

bool E2eProgram::click(int dbusId) {
  std::string item = objectPath();
  if (item.empty()) return false;
  GVariant* menuPath = watcher_->property(busName_, item, kItemInterface, "Menu");
  if (!menuPath) return false;
  std::string path = g_variant_is_of_type(menuPath, G_VARIANT_TYPE_OBJECT_PATH)
                         ? g_variant_get_string(menuPath, nullptr)
                         : "/";
  g_variant_unref(menuPath);
  std::string error;
  GVariant* reply =
      watcher_->call(busName_, path, kMenuInterface, "Event",
                     g_variant_new("(isvu)", dbusId, "clicked", g_variant_new_int32(0), 0u), &error);
  if (reply) g_variant_unref(reply);
  // The program may act on the click (and leave) before it answers.
  return reply != nullptr || !error.empty();
}

bool E2eProgram::clickLabel(const std::string& prefix) {
  for (const MenuLine& line : entries())
    if (line.label.starts_with(prefix)) return click(line.dbusId);
  return false;
}

bool E2eProgram::waitForLabel(const std::string& text, int timeoutMs) {
  return waitFor([&] { return label() == text; }, timeoutMs);
}

int E2eProgram::imageRequests(const std::string& artId) const {
  int n = 0;
  for (const auto& r : server_.requests())
    if (r.path == "/image/" + artId) ++n;
  return n;
}

int E2eProgram::probeRequests() const {
  int n = 0;
  for (const auto& r : server_.requests())
    if (r.path == "/") ++n;
  return n;
}

std::string E2eProgram::settingsPath() const {
  return home_ + "/Library/Preferences/Larkspur.plist";
}

std::optional<Settings> E2eProgram::settings() const {
  std::string xml = readFile(settingsPath());
  if (xml.empty()) return std::nullopt;
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  if (!root || plist_get_node_type(root) != PLIST_DICT) {
    if (root) plist_free(root);
    return std::nullopt;
  }
  Settings out;
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(root, &it);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root, it, &key, &value);
    if (!key) break;
    if (plist_get_node_type(value) == PLIST_UINT) {
      uint64_t n = 0;
      plist_get_uint_val(value, &n);
      out[key] = static_cast<std::int64_t>(n);
    } else if (plist_get_node_type(value) == PLIST_STRING) {
      char* s = nullptr;
      plist_get_string_val(value, &s);
      out[key] = std::string(s ? s : "");
      free(s);
    } else {
      out[key] = std::string("<other type>");
    }
    free(key);
  }
  free(it);
  plist_free(root);
  return out;
}

std::string E2eProgram::cacheDirectory() const {
  return tempDirectory_ + "/larkspur-" + std::to_string(getuid());
}

std::vector<std::string> E2eProgram::cacheFiles() const {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(cacheDirectory(), ec))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> E2eProgram::record() const { return readLines(recordPath_); }

int E2eProgram::recordCount(const std::string& line) const {
  auto all = record();
  return static_cast<int>(std::count(all.begin(), all.end(), line));
}

bool E2eProgram::waitForRecord(const std::string& line, int timeoutMs) {
  return waitFor([&] { return recordCount(line) > 0; }, timeoutMs);
}

bool E2eProgram::playerOnBus() { return playerPid() > 0; }

pid_t E2eProgram::playerPid() {
  GVariant* reply = watcher_->call(kBusService, kBusPath, kBusService, "NameHasOwner",
                                   g_variant_new("(s)", SimBusName));
  gboolean has = FALSE;
  if (reply) {
    g_variant_get(reply, "(b)", &has);
    g_variant_unref(reply);
  }
  return has ? pidOfConnection(SimBusName) : -1;
}

std::vector<std::string> E2eProgram::windowsNamed(const std::string& name) {
  return lines(runProgram({"xdotool", "search", "--onlyvisible", "--name", name}));
}

std::vector<std::string> E2eProgram::windowsOf(pid_t pid) {
  return lines(runProgram({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)}));
}

bool E2eProgram::focusWindow(const std::string& id) {
  bool ok = false;
  runProgram({"xdotool", "windowfocus", "--sync", id}, &ok);
  return ok;
}

bool E2eProgram::pressKeys(const std::string& keys) {
  bool ok = false;
  runProgram({"xdotool", "key", keys}, &ok);
  return ok;
}

bool E2eProgram::clickAt(const std::string& id, int x, int y) {
  bool ok = false;
  runProgram({"xdotool", "mousemove", "--sync", "--window", id, std::to_string(x), std::to_string(y),
              "click", "1"},
             &ok);
  return ok;
}

bool E2eProgram::closeWindow(const std::string& id) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = static_cast<Window>(std::stoul(id));
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  Status sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XCloseDisplay(display);  // flushes
  return sent != 0;
}

std::string E2eProgram::clipboard() { return runProgram({"xclip", "-o", "-selection", "clipboard"}); }

}  // namespace larkspur::test
