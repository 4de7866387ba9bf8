// A simulated Spotify client for tests and the demo: an MPRIS 2 service on
// the session bus that plays a scripted list of items with the metadata
// shapes the real client sends, and writes every call it receives to a
// record file.
//
// Options (also read from LARKSPUR_SIM_ARGS, since the program starts us as
// plain `spotify` without arguments):
//   --items FILE              one item per line:
//                             kind|id|title|artist;artist|album|length_ms|art_id|track_no|rating
//                             kind is track, episode or ad; '#' starts a comment line
//   --art-base URL            prefix of artwork addresses (https://i.scdn.co/image/)
//   --record FILE             append one line per method call or property set
//   --paused                  start paused
//   --unresponsive-after N    answer nothing after N calls
//   --metadata TEXT           send this a{sv} (GVariant text form) as metadata
//   --instance                own the name with an ".instance<pid>" suffix
//   --silent                  send no PropertiesChanged, as a careless player might
//   --x11-window              show a window of its own on $DISPLAY, as the client does
//
// While a sound server runs it plays a quiet tone through it (silence while
// paused), named as the real client names its stream, so muting can be seen.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gio/gio.h>
#include <pulse/glib-mainloop.h>
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/mpris/mpris_names.h"

namespace {

using namespace larkspur::mpris;

constexpr const char* BusName = "org.mpris.MediaPlayer2.spotify";

constexpr const char* IntrospectionXml = R"(<node>
 <interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/><method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/>
  <property name="CanRaise" type="b" access="read"/>
  <property name="HasTrackList" type="b" access="read"/>
  <property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
 </interface>
 <interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/><method name="Previous"/><method name="Pause"/>
  <method name="PlayPause"/><method name="Stop"/><method name="Play"/>
  <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
  <method name="SetPosition">
   <arg direction="in" name="TrackId" type="o"/><arg direction="in" name="Position" type="x"/>
  </method>
  <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
  <signal name="Seeked"><arg name="Position" type="x"/></signal>
  <property name="PlaybackStatus" type="s" access="read"/>
  <property name="LoopStatus" type="s" access="readwrite"/>
  <property name="Rate" type="d" access="readwrite"/>
  <property name="Shuffle" type="b" access="readwrite"/>
  <property name="Metadata" type="a{sv}" access="read"/>
  <property name="Volume" type="d" access="readwrite"/>
  <property name="Position" type="x" access="read"/>
  <property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/>
  <property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/>
  <property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/>
  <property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
 </interface>
</node>)";

constexpr const char* BuiltInItems = R"(
track|6rqhFgbbKwnb9MLmUQDhG6|Morning Glass - 2011 Remaster|Cedar Lane|Low Tide|215000|ab67616d0000b2731f0a6c2e9b4d3a7e5c8f2b10|1|0.57
track|1bW5gMl3RnXqAd9tU2zYcO|Paper Harbour|Cedar Lane;Mira Holt|Low Tide|187500|ab67616d0000b2731f0a6c2e9b4d3a7e5c8f2b10|2|0.43
track|2cX6hNm4SoYrBe0uV3aZdP|Orbit Song|The Quiet Arcs|Satellites|254000|ab67616d0000b273b02c8e41f7a9d3065e2c1a77|7|0.81
episode|3dY7iOn5TpZsCf1vW4bAeQ|Episode 12: Salt and Signals|Harbour Talks|Harbour Talks|3120000|ab6765630000ba8a9c03e5f1d2b4a6c8e0f1a2b3|0|0
ad|4eZ8jPo6UqAtDg2wX5cBfR|Advertisement|Spotify||30000|ab67616d0000b273dd04a1b2c3d4e5f6a7b8c9d0|0|0
track|5fA9kQp7VrBuEh3xY6dCgS|Lanterns (Remix)|Nadia Ferro|Night Ferry|201000|ab67616d0000b273e15f2a3b4c5d6e7f8091a2b3|3|0.66
track|6gB0lRq8WsCvFi4yZ7eDhT|Slow Engine|Otto Brand;Kai Lune;June Park|Workshop|312400|ab67616d0000b273f2603b4c5d6e7f8091a2b3c4|11|0.29
track|7hC1mSr9XtDwGj5zA8fEiU|Ninety Seconds|Short Form|Miniatures|90000|ab67616d0000b273037a4c5d6e7f8091a2b3c4d5|1|0.12
track|8iD2nTs0YuExHk6aB9gFjV|Café Électrique|Zoë Åberg|Ünder Strom|178000|ab67616d0000b273148b5d6e7f8091a2b3c4d5e6|5|0.74
track|9jE3oUt1ZvFyIl7bC0hGkW|Last Light|Harbour Lights|Closing Time|265000|ab67616d0000b273259c6e7f8091a2b3c4d5e6f7|12|0.5
)";

struct Item {
  std::string kind, id, title;
  std::vector<std::string> artists;
  std::string album, art;
  gint64 lengthUs = 0;
  gint32 trackNumber = 0;
  double rating = 0;
};

struct Options {
  std::string itemsFile, recordFile, metadata;
  std::string artBase = "https://i.scdn.co/image/";
  bool paused = false, instance = false, silent = false, window = false;
  long unresponsiveAfter = -1;
};

struct Sim {
  Options options;
  std::vector<Item> items;
  std::size_t current = 0;
  bool playing = true, shuffle = false;
  double volume = 1.0;
  std::string loopStatus = "None";
  gint64 positionBase = 0, since = 0;
  long calls = 0;
  GDBusConnection* bus = nullptr;
  GMainLoop* loop = nullptr;
  GDBusNodeInfo* node = nullptr;
  std::vector<GDBusMethodInvocation*> unanswered;
  double phase = 0;  // of the tone
};

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
  if (!text.empty() && text.back() == sep) parts.emplace_back();
  return parts;
}

bool parseItem(const std::string& line, Item& item) {
  std::vector<std::string> f = split(line, '|');
  if (f.size() < 9) return false;
  item.kind = f[0];
  item.id = f[1];
  item.title = f[2];
  for (auto& a : split(f[3], ';'))
    if (!a.empty()) item.artists.push_back(a);
  item.album = f[4];
  item.lengthUs = std::atoll(f[5].c_str()) * 1000;
  item.art = f[6];
  item.trackNumber = std::atoi(f[7].c_str());
  item.rating = std::atof(f[8].c_str());
  return true;
}

std::vector<Item> parseItems(std::istream& in) {
  std::vector<Item> items;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    Item item;
    if (parseItem(line, item)) items.push_back(std::move(item));
  }
  return items;
}

std::vector<Item> loadItems(const Options& options) {
  if (options.itemsFile.empty()) {
    std::istringstream in(BuiltInItems);
    return parseItems(in);
  }
  std::ifstream in(options.itemsFile);
  return parseItems(in);
}

bool parseArgs(const std::vector<std::string>& args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--paused") o.paused = true;
    else if (a == "--instance") o.instance = true;
    else if (a == "--silent") o.silent = true;
    else if (a == "--x11-window") o.window = true;
    else if (a == "--items" && hasValue) o.itemsFile = args[++i];
    else if (a == "--record" && hasValue) o.recordFile = args[++i];
    else if (a == "--art-base" && hasValue) o.artBase = args[++i];
    else if (a == "--metadata" && hasValue) o.metadata = args[++i];
    else if (a == "--unresponsive-after" && hasValue) o.unresponsiveAfter = std::atol(args[++i].c_str());
    else {
      std::fprintf(stderr, "spotify-sim: unknown or incomplete option %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

std::vector<std::string> collectArgs(int argc, char** argv) {
  std::vector<std::string> args;
  if (const char* env = g_getenv("LARKSPUR_SIM_ARGS")) {
    gchar** words = nullptr;
    if (*env && g_shell_parse_argv(env, nullptr, &words, nullptr)) {
      for (gchar** w = words; *w; ++w) args.emplace_back(*w);
      g_strfreev(words);
    }
  }
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

// One line per call, written and flushed at once so other processes can
// follow along while we run.
void record(const Sim& sim, const std::string& line) {
  if (sim.options.recordFile.empty()) return;
  if (FILE* f = std::fopen(sim.options.recordFile.c_str(), "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

const Item* currentItem(const Sim& sim) {
  return sim.items.empty() ? nullptr : &sim.items[sim.current];
}

gint64 position(const Sim& sim) {
  gint64 p = sim.positionBase + (sim.playing ? g_get_monotonic_time() - sim.since : 0);
  const Item* item = currentItem(sim);
  return item && p > item->lengthUs ? item->lengthUs : p;
}

void setPosition(Sim& sim, gint64 p) {
  sim.positionBase = p < 0 ? 0 : p;
  sim.since = g_get_monotonic_time();
}

std::string trackIdOf(const Item& item) { return "/com/spotify/" + item.kind + "/" + item.id; }

GVariant* stringList(const std::vector<std::string>& texts) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
  for (const auto& t : texts) g_variant_builder_add(&b, "s", t.c_str());
  return g_variant_builder_end(&b);
}

// The shapes the real client sends: trackid an object path, length 't'.
GVariant* metadataOf(const Sim& sim) {
  if (!sim.options.metadata.empty()) {
    GVariant* v = g_variant_parse(G_VARIANT_TYPE("a{sv}"), sim.options.metadata.c_str(), nullptr,
                                  nullptr, nullptr);
    if (v) return v;
  }
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
  if (const Item* item = currentItem(sim)) {
    std::string url = "https://open.spotify.com/" + item->kind + "/" + item->id;
    g_variant_builder_add(&b, "{sv}", "mpris:trackid", g_variant_new_object_path(trackIdOf(*item).c_str()));
    g_variant_builder_add(&b, "{sv}", "mpris:length", g_variant_new_uint64(guint64(item->lengthUs)));
    g_variant_builder_add(&b, "{sv}", "mpris:artUrl", g_variant_new_string((sim.options.artBase + item->art).c_str()));
    g_variant_builder_add(&b, "{sv}", "xesam:album", g_variant_new_string(item->album.c_str()));
    g_variant_builder_add(&b, "{sv}", "xesam:albumArtist", stringList(item->artists));
    g_variant_builder_add(&b, "{sv}", "xesam:artist", stringList(item->artists));
    g_variant_builder_add(&b, "{sv}", "xesam:autoRating", g_variant_new_double(item->rating));
    g_variant_builder_add(&b, "{sv}", "xesam:discNumber", g_variant_new_int32(1));
    g_variant_builder_add(&b, "{sv}", "xesam:title", g_variant_new_string(item->title.c_str()));
    g_variant_builder_add(&b, "{sv}", "xesam:trackNumber", g_variant_new_int32(item->trackNumber));
    g_variant_builder_add(&b, "{sv}", "xesam:url", g_variant_new_string(url.c_str()));
  }
  return g_variant_builder_end(&b);
}

GVariant* rootProperty(const Sim&, const std::string& name) {
  if (name == "CanQuit" || name == "CanRaise") return g_variant_new_boolean(TRUE);
  if (name == "HasTrackList") return g_variant_new_boolean(FALSE);
  if (name == "Identity") return g_variant_new_string("Spotify");
  if (name == "DesktopEntry") return g_variant_new_string("spotify");
  if (name == "SupportedUriSchemes") return stringList({"spotify"});
  if (name == "SupportedMimeTypes") return stringList({});
  return nullptr;
}

GVariant* playerProperty(const Sim& sim, const std::string& name) {
  if (name == "PlaybackStatus") return g_variant_new_string(sim.playing ? "Playing" : "Paused");
  if (name == "LoopStatus") return g_variant_new_string(sim.loopStatus.c_str());
  if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate") return g_variant_new_double(1.0);
  if (name == "Shuffle") return g_variant_new_boolean(sim.shuffle);
  if (name == "Metadata") return metadataOf(sim);
  if (name == "Volume") return g_variant_new_double(sim.volume);
  if (name == "Position") return g_variant_new_int64(position(sim));
  if (name.starts_with("Can")) return g_variant_new_boolean(TRUE);
  return nullptr;
}

GVariant* propertyOf(const Sim& sim, const std::string& iface, const std::string& name) {
  if (iface == RootInterface) return rootProperty(sim, name);
  if (iface == PlayerInterface) return playerProperty(sim, name);
  return nullptr;
}

GVariant* allProperties(const Sim& sim, const std::string& iface) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
  if (GDBusInterfaceInfo* info = g_dbus_node_info_lookup_interface(sim.node, iface.c_str())) {
    for (GDBusPropertyInfo** p = info->properties; p && *p; ++p)
      if (GVariant* v = propertyOf(sim, iface, (*p)->name)) g_variant_builder_add(&b, "{sv}", (*p)->name, v);
  }
  return g_variant_builder_end(&b);
}

void emitChanged(Sim& sim, std::initializer_list<const char*> names) {
  if (sim.options.silent) return;
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
  for (const char* n : names) g_variant_builder_add(&b, "{sv}", n, playerProperty(sim, n));
  g_dbus_connection_emit_signal(sim.bus, nullptr, ObjectPath, PropertiesInterface, "PropertiesChanged",
                                g_variant_new("(sa{sv}as)", PlayerInterface, &b, nullptr), nullptr);
}

void emitSeeked(Sim& sim) {
  g_dbus_connection_emit_signal(sim.bus, nullptr, ObjectPath, PlayerInterface, "Seeked",
                                g_variant_new("(x)", position(sim)), nullptr);
}

void setPlaying(Sim& sim, bool playing) {
  gint64 p = position(sim);
  sim.playing = playing;
  setPosition(sim, p);
  emitChanged(sim, {"PlaybackStatus"});
}

void step(Sim& sim, int direction) {
  if (sim.items.empty()) return;
  std::size_t n = sim.items.size();
  long next = static_cast<long>(sim.current) + direction + static_cast<long>(n);
  sim.current = static_cast<std::size_t>(next) % n;
  setPosition(sim, 0);
  emitChanged(sim, {"Metadata", "PlaybackStatus"});
}

std::string formatNumber(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", d);
  return buf;
}

// Answers Set; the bus has already checked the value's type.
void setProperty(Sim& sim, GVariant* params, GDBusMethodInvocation* inv) {
  const gchar *iface = nullptr, *name = nullptr;
  GVariant* value = nullptr;
  g_variant_get(params, "(&s&sv)", &iface, &name, &value);
  std::string n = name, text;
  if (n == "Volume") {
    double v = g_variant_get_double(value);
    sim.volume = v < 0 ? 0 : v > 1 ? 1 : v;
    text = formatNumber(v);
  } else if (n == "Shuffle") {
    sim.shuffle = g_variant_get_boolean(value);
    text = sim.shuffle ? "true" : "false";
  } else if (n == "LoopStatus") {
    sim.loopStatus = g_variant_get_string(value, nullptr);
    text = sim.loopStatus;
  } else if (n == "Rate") {
    text = formatNumber(g_variant_get_double(value));
  }
  g_variant_unref(value);
  record(sim, n + " " + text);
  if (n == "Volume" || n == "Shuffle" || n == "LoopStatus") emitChanged(sim, {name});
  g_dbus_method_invocation_return_value(inv, nullptr);
}

void answerProperties(Sim& sim, const std::string& method, GVariant* params, GDBusMethodInvocation* inv) {
  if (method == "Set") return setProperty(sim, params, inv);
  const gchar* iface = nullptr;
  const gchar* name = nullptr;
  if (method == "GetAll") {
    g_variant_get(params, "(&s)", &iface);
    return g_dbus_method_invocation_return_value(inv, g_variant_new("(@a{sv})", allProperties(sim, iface)));
  }
  g_variant_get(params, "(&s&s)", &iface, &name);
  if (GVariant* v = propertyOf(sim, iface, name))
    return g_dbus_method_invocation_return_value(inv, g_variant_new("(v)", v));
  g_dbus_method_invocation_return_error(inv, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No such property");
}

void quitSoon(Sim& sim) {
  g_dbus_connection_flush_sync(sim.bus, nullptr, nullptr);
  g_main_loop_quit(sim.loop);
}

std::string playerCall(Sim& sim, const std::string& m, GVariant* params) {
  if (m == "Next") step(sim, 1);
  else if (m == "Previous") step(sim, -1);
  else if (m == "Play") setPlaying(sim, true);
  else if (m == "Pause" || m == "Stop") setPlaying(sim, false);
  else if (m == "PlayPause") setPlaying(sim, !sim.playing);
  else if (m == "Seek") {
    gint64 offset = 0;
    g_variant_get(params, "(x)", &offset);
    setPosition(sim, position(sim) + offset);
    emitSeeked(sim);
    return m + " " + std::to_string(offset);
  } else if (m == "SetPosition") {
    const gchar* id = nullptr;
    gint64 to = 0;
    g_variant_get(params, "(&ox)", &id, &to);
    const Item* item = currentItem(sim);
    if (item && trackIdOf(*item) == id && to >= 0 && to <= item->lengthUs) setPosition(sim, to), emitSeeked(sim);
    return m + " " + id + " " + std::to_string(to);
  } else if (m == "OpenUri") {
    const gchar* uri = nullptr;
    g_variant_get(params, "(&s)", &uri);
    return m + " " + uri;
  }
  return m;
}

void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar* iface, const gchar* method,
                  GVariant* params, GDBusMethodInvocation* inv, gpointer data) {
  Sim& sim = *static_cast<Sim*>(data);
  if (sim.options.unresponsiveAfter >= 0 && sim.calls++ >= sim.options.unresponsiveAfter) {
    sim.unanswered.push_back(inv);  // held, never answered: the caller must time out
    return;
  }
  std::string i = iface, m = method;
  if (i == PropertiesInterface) return answerProperties(sim, m, params, inv);
  if (i == RootInterface) {
    record(sim, m);
    g_dbus_method_invocation_return_value(inv, nullptr);
    if (m == "Quit") quitSoon(sim);
    return;
  }
  record(sim, playerCall(sim, m, params));
  g_dbus_method_invocation_return_value(inv, nullptr);
}

void onNameLost(GDBusConnection*, const gchar* name, gpointer data) {
  std::fprintf(stderr, "spotify-sim: could not own %s\n", name);
  g_main_loop_quit(static_cast<Sim*>(data)->loop);
}

bool registerObject(Sim& sim) {
  // Without property handlers every Get and Set comes to onMethodCall, so
  // they can be recorded and left unanswered like any other call.
  static const GDBusInterfaceVTable vtable = {onMethodCall, nullptr, nullptr, {}};
  for (const char* iface : {RootInterface, PlayerInterface}) {
    GDBusInterfaceInfo* info = g_dbus_node_info_lookup_interface(sim.node, iface);
    if (!g_dbus_connection_register_object(sim.bus, ObjectPath, info, &vtable, &sim, nullptr, nullptr))
      return false;
  }
  return true;
}

void writeTone(pa_stream* stream, std::size_t bytes, void* data) {
  Sim& sim = *static_cast<Sim*>(data);
  void* buffer = nullptr;
  if (pa_stream_begin_write(stream, &buffer, &bytes) < 0 || !buffer) return;
  auto* samples = static_cast<std::int16_t*>(buffer);
  double amplitude = sim.playing ? 300 * sim.volume : 0;
  for (std::size_t i = 0; i < bytes / 2; ++i, sim.phase += 2 * M_PI * 440 / 44100)
    samples[i] = static_cast<std::int16_t>(amplitude * std::sin(sim.phase));
  sim.phase = std::fmod(sim.phase, 2 * M_PI);
  pa_stream_write(stream, buffer, bytes / 2 * 2, nullptr, 0, PA_SEEK_RELATIVE);
}

void onSoundState(pa_context* context, void* data) {
  if (pa_context_get_state(context) != PA_CONTEXT_READY) return;
  static const pa_sample_spec spec = {PA_SAMPLE_S16LE, 44100, 1};
  pa_stream* stream = pa_stream_new(context, "Spotify", &spec, nullptr);
  if (!stream) return;
  pa_stream_set_write_callback(stream, writeTone, data);
  pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr);
}

// No server, no sound; the stream lives as long as the process.
void startSound(Sim& sim) {
  pa_glib_mainloop* loop = pa_glib_mainloop_new(nullptr);
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Spotify");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "spotify-client");
  pa_context* context =
      pa_context_new_with_proplist(pa_glib_mainloop_get_api(loop), "Spotify", props);
  pa_proplist_free(props);
  pa_context_set_state_callback(context, onSoundState, &sim);
  pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

// Mapped before the name is owned, so whoever sees the name finds the
// window; the connection stays open for our whole life.
bool showWindow() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 200, 0, 0, 0);
  XStoreName(d, w, "Spotify Premium");
  unsigned long pid = static_cast<unsigned long>(getpid());
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  XMapWindow(d, w);
  XSync(d, False);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Sim sim;
  if (!parseArgs(collectArgs(argc, argv), sim.options)) return 2;
  sim.items = loadItems(sim.options);
  sim.playing = !sim.options.paused;
  sim.since = g_get_monotonic_time();
  // The shared session connection ends the process when the bus goes away,
  // which is what a test's private bus wants of us.
  sim.bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  sim.node = g_dbus_node_info_new_for_xml(IntrospectionXml, nullptr);
  if (!sim.bus || !sim.node || !registerObject(sim)) return 1;
  if (sim.options.window && !showWindow()) return 1;
  sim.loop = g_main_loop_new(nullptr, FALSE);
  startSound(sim);
  std::string name = BusName;
  if (sim.options.instance) name += ".instance" + std::to_string(getpid());
  g_bus_own_name_on_connection(sim.bus, name.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, nullptr,
                               onNameLost, &sim, nullptr);
  g_main_loop_run(sim.loop);
  return 0;
}
