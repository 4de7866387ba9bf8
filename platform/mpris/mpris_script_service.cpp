#include "platform/mpris/mpris_script_service.h"

#include <gio/gio.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/mpris/mpris_text.h"
#include "player/player_script.h"

namespace larkspur {
namespace {

constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* BusService = "org.freedesktop.DBus";
constexpr const char* BusPath = "/org/freedesktop/DBus";
constexpr std::string_view MprisPrefix = "org.mpris.MediaPlayer2.";

struct VariantUnref {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

bool isType(GVariant* v, const char* type) {
  return v && g_variant_is_of_type(v, G_VARIANT_TYPE(type));
}

// Strings must be of type 's'. Players have been seen to send object paths
// for strings and the reverse; only where we say so is an object path taken.
std::optional<std::string> textOf(GVariant* v, bool acceptObjectPath = false) {
  if (!isType(v, "s") && !(acceptObjectPath && isType(v, "o"))) return std::nullopt;
  gsize length = 0;
  const gchar* s = g_variant_get_string(v, &length);
  if (length > mpris::MaxTextBytes) return std::nullopt;
  return std::string(s, length);
}

// Integers arrive in whatever width the player chose: the client sends
// mpris:length as 't' although the interface says 'x', and some players send
// 'i', 'u' or even 'd'. Every integer type is taken when it fits in int64;
// a double only when it is finite and in range.
std::optional<std::int64_t> integerOf(GVariant* v) {
  if (!v) return std::nullopt;
  switch (g_variant_classify(v)) {
    case G_VARIANT_CLASS_INT16: return g_variant_get_int16(v);
    case G_VARIANT_CLASS_UINT16: return g_variant_get_uint16(v);
    case G_VARIANT_CLASS_INT32: return g_variant_get_int32(v);
    case G_VARIANT_CLASS_UINT32: return g_variant_get_uint32(v);
    case G_VARIANT_CLASS_INT64: return g_variant_get_int64(v);
    case G_VARIANT_CLASS_UINT64: {
      guint64 u = g_variant_get_uint64(v);
      if (u > static_cast<guint64>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
      return static_cast<std::int64_t>(u);
    }
    case G_VARIANT_CLASS_DOUBLE: {
      double d = g_variant_get_double(v);
      if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) return std::nullopt;
      return static_cast<std::int64_t>(std::floor(d));
    }
    default: return std::nullopt;
  }
}

// xesam:artist is a list of strings; a lone string (against the interface,
// but seen in the wild) is taken as a list of one. An empty list, or any item
// that is not a string, is no answer.
std::optional<std::string> artistsOf(GVariant* v) {
  if (isType(v, "s")) return textOf(v);
  if (!isType(v, "as") || g_variant_n_children(v) == 0) return std::nullopt;
  std::vector<std::string> artists;
  for (gsize i = 0; i < g_variant_n_children(v); ++i) {
    Variant item(g_variant_get_child_value(v, i));
    std::optional<std::string> text = textOf(item.get());
    if (!text) return std::nullopt;
    artists.push_back(std::move(*text));
  }
  std::string joined = mpris::joinArtists(artists);
  if (joined.size() > mpris::MaxTextBytes) return std::nullopt;
  return joined;
}

std::optional<ScriptResult> answer(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  ScriptResult r;
  r.text = std::move(*text);
  return r;
}

std::optional<ScriptResult> truth(bool value) { return answer(value ? "true" : "false"); }

// Metadata is a{sv}; a player sending any other shape has no metadata.
class Metadata {
 public:
  explicit Metadata(Variant dict) : dict_(isType(dict.get(), "a{sv}") ? std::move(dict) : nullptr) {}
  Variant value(const char* key) const {
    return Variant(dict_ ? g_variant_lookup_value(dict_.get(), key, nullptr) : nullptr);
  }
  std::optional<std::string> text(const char* key, bool acceptObjectPath = false) const {
    return textOf(value(key).get(), acceptObjectPath);
  }

 private:
  Variant dict_;
};

}  // namespace

struct MprisScriptService::Impl {
  using Handler = std::optional<ScriptResult> (Impl::*)();
  struct Entry {
    TextView script;
    Handler handler;
  };

  Endpoints endpoints;
  int callTimeoutMs;
  int startTimeoutMs;
  GDBusConnection* connection = nullptr;
  // The instance name the player was last found under, tried before the
  // well-known name; empty while the player answers to the well-known one.
  std::string instanceName;
  // Set within one text once no player answered, so its further calls do not
  // look for it again.
  bool playerAbsent = false;

  ~Impl() {
    if (connection) g_object_unref(connection);
  }

  GDBusConnection* bus();
  Variant call(const std::string& dest, const char* path, const char* iface, const char* method,
               GVariant* params, const char* replyType, bool* nameGone = nullptr);
  Variant callPlayerObject(const char* iface, const char* method, GVariant* params,
                           const char* replyType);
  std::vector<std::string> busNames();
  std::optional<std::string> playerName();
  Variant property(const std::string& dest, const char* iface, const char* name);
  Variant playerProperty(const char* name);
  Metadata playerProperties(std::optional<std::string>* status);
  bool setProperty(const char* name, GVariant* value);
  bool callPlayer(const char* method, GVariant* params = nullptr);
  Metadata metadata();
  bool startPlayer();
  std::optional<std::string> waitForPlayer();
  std::optional<ScriptResult> run(TextView script);

  std::optional<ScriptResult> activate();
  std::optional<ScriptResult> nothing() { return std::nullopt; }
  std::optional<ScriptResult> play() { return command("Play"); }
  std::optional<ScriptResult> next() { return command("Next"); }
  std::optional<ScriptResult> previous() { return command("Previous"); }
  std::optional<ScriptResult> playPause() { return command("PlayPause"); }
  std::optional<ScriptResult> mute() { return volume(0.0); }
  std::optional<ScriptResult> fullVolume() { return volume(1.0); }
  std::optional<ScriptResult> command(const char* method) {
    callPlayer(method);
    return std::nullopt;
  }
  std::optional<ScriptResult> volume(double level) {
    setProperty("Volume", g_variant_new_double(level));
    return std::nullopt;
  }
  std::optional<ScriptResult> toggleShuffle();
  std::optional<ScriptResult> restart();
  std::optional<ScriptResult> isPlaying();
  std::optional<ScriptResult> isShuffling();
  std::optional<ScriptResult> trackUri();
  std::optional<ScriptResult> artwork();
  std::optional<ScriptResult> playingName();
  std::optional<ScriptResult> playingArtist();
  std::optional<ScriptResult> artist();
  std::optional<ScriptResult> album();
  std::optional<ScriptResult> minutes();
  std::optional<ScriptResult> seconds();
  std::optional<ScriptResult> rating();
  std::optional<ScriptResult> trackNumber();
  std::optional<ScriptResult> playerIdentities();
  std::optional<ScriptResult> quit();
};

// Our own connection rather than the process-wide one from g_bus_get_sync:
// that one ends the whole process when the bus goes away and keeps pointing
// at a dead bus afterwards. Ours is made again when it has been closed.
GDBusConnection* MprisScriptService::Impl::bus() {
  if (connection && !g_dbus_connection_is_closed(connection)) return connection;
  g_clear_object(&connection);
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (address) {
    auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    connection = g_dbus_connection_new_for_address_sync(address, flags, nullptr, nullptr, &error);
    g_free(address);
  }
  g_clear_error(&error);
  return connection;
}

// Never starts a service by bus activation: a missing player answers at once.
Variant MprisScriptService::Impl::call(const std::string& dest, const char* path,
                                       const char* iface, const char* method, GVariant* params,
                                       const char* replyType, bool* nameGone) {
  GDBusConnection* c = bus();
  if (!c) {
    if (params) g_variant_unref(g_variant_ref_sink(params));
    return nullptr;
  }
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      c, dest.c_str(), path, iface, method, params, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
      G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, nullptr, &error);
  if (nameGone)
    *nameGone = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
                g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN);
  g_clear_error(&error);
  return Variant(reply);
}

// Listing the bus names costs a round trip of its own, so the player is
// called by name and the names are listed only when nobody owns that name.
// Nothing of the player's answers is kept between calls, only where it lives.
Variant MprisScriptService::Impl::callPlayerObject(const char* iface, const char* method,
                                                   GVariant* params, const char* replyType) {
  // Held so that the same parameters can go to a second name.
  Variant held(params ? g_variant_ref_sink(params) : nullptr);
  if (playerAbsent) return nullptr;
  bool gone = false;
  if (!instanceName.empty()) {
    Variant reply = call(instanceName, ObjectPath, iface, method, held.get(), replyType, &gone);
    if (reply || !gone) return reply;
    instanceName.clear();
  }
  Variant reply =
      call(endpoints.playerBusName, ObjectPath, iface, method, held.get(), replyType, &gone);
  if (reply || !gone) return reply;
  std::optional<std::string> name = playerName();
  if (!name) {
    playerAbsent = true;
    return nullptr;
  }
  if (*name != endpoints.playerBusName) instanceName = *name;
  return call(*name, ObjectPath, iface, method, held.get(), replyType);
}

std::vector<std::string> MprisScriptService::Impl::busNames() {
  std::vector<std::string> names;
  Variant reply = call(BusService, BusPath, BusService, "ListNames", nullptr, "(as)");
  if (!reply) return names;
  Variant list(g_variant_get_child_value(reply.get(), 0));
  for (gsize i = 0; i < g_variant_n_children(list.get()); ++i) {
    Variant name(g_variant_get_child_value(list.get(), i));
    names.emplace_back(g_variant_get_string(name.get(), nullptr));
  }
  return names;
}

// The client owns its name plainly, or with ".instance<pid>" appended when
// more than one may run.
std::optional<std::string> MprisScriptService::Impl::playerName() {
  const std::string& exact = endpoints.playerBusName;
  const std::string instance = exact + ".instance";
  std::optional<std::string> found;
  for (auto& name : busNames()) {
    if (name == exact) return name;
    if (!found && name.starts_with(instance)) found = std::move(name);
  }
  return found;
}

namespace {
Variant unboxedProperty(Variant reply) {
  if (!reply) return nullptr;
  Variant boxed(g_variant_get_child_value(reply.get(), 0));
  return Variant(g_variant_get_variant(boxed.get()));
}
}  // namespace

Variant MprisScriptService::Impl::property(const std::string& dest, const char* iface,
                                           const char* name) {
  return unboxedProperty(call(dest, ObjectPath, PropertiesInterface, "Get",
                              g_variant_new("(ss)", iface, name), "(v)"));
}

Variant MprisScriptService::Impl::playerProperty(const char* name) {
  return unboxedProperty(callPlayerObject(PropertiesInterface, "Get",
                                          g_variant_new("(ss)", PlayerInterface, name), "(v)"));
}

// The playback status and the metadata in one round trip.
Metadata MprisScriptService::Impl::playerProperties(std::optional<std::string>* status) {
  Variant reply = callPlayerObject(PropertiesInterface, "GetAll",
                                   g_variant_new("(s)", PlayerInterface), "(a{sv})");
  if (!reply) return Metadata(nullptr);
  Variant all(g_variant_get_child_value(reply.get(), 0));
  *status = textOf(Variant(g_variant_lookup_value(all.get(), "PlaybackStatus", nullptr)).get());
  return Metadata(Variant(g_variant_lookup_value(all.get(), "Metadata", nullptr)));
}

bool MprisScriptService::Impl::setProperty(const char* name, GVariant* value) {
  return callPlayerObject(PropertiesInterface, "Set",
                          g_variant_new("(ssv)", PlayerInterface, name, value), nullptr) != nullptr;
}

bool MprisScriptService::Impl::callPlayer(const char* method, GVariant* params) {
  return callPlayerObject(PlayerInterface, method, params, nullptr) != nullptr;
}

Metadata MprisScriptService::Impl::metadata() { return Metadata(playerProperty("Metadata")); }

namespace {
// The player must outlive us and our terminal session.
void detachChild(gpointer) { setsid(); }
}  // namespace

bool MprisScriptService::Impl::startPlayer() {
  const char* path = g_getenv("PATH");
  const char* home = g_get_home_dir();
  std::vector<std::string> argv = mpris::playerCommand(
      endpoints.playerInstallPaths, endpoints.playerExecutableName, path ? path : "", home ? home : "");
  if (argv.empty()) return false;
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  // Without DO_NOT_REAP_CHILD GLib forks twice, so no zombie is left to us.
  auto flags = static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
  GError* error = nullptr;
  gboolean ok = g_spawn_async(nullptr, cargv.data(), nullptr, flags, detachChild, nullptr, nullptr, &error);
  g_clear_error(&error);
  return ok;
}

namespace {
void onNameOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                        GVariant* params, gpointer data) {
  if (!isType(params, "(sss)")) return;
  const gchar* newOwner = nullptr;
  g_variant_get(params, "(&s&s&s)", nullptr, nullptr, &newOwner);
  if (newOwner && *newOwner) *static_cast<bool*>(data) = true;
}

gboolean wakeUp(gpointer) { return G_SOURCE_REMOVE; }

// One blocking iteration of `context`, ending by `deadline` at the latest.
void iterateUntil(GMainContext* context, gint64 deadline) {
  gint64 leftMs = (deadline - g_get_monotonic_time()) / 1000 + 1;
  GSource* timer = g_timeout_source_new(static_cast<guint>(leftMs));
  g_source_set_callback(timer, wakeUp, nullptr, nullptr);
  g_source_attach(timer, context);
  g_main_context_iteration(context, TRUE);
  g_source_destroy(timer);
  g_source_unref(timer);
}
}  // namespace

// Watches the bus on a private context, so nothing else of ours runs while
// we wait, and gives up at the start time-out.
std::optional<std::string> MprisScriptService::Impl::waitForPlayer() {
  GDBusConnection* c = bus();
  if (!c) return std::nullopt;
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  bool changed = false;
  guint id = g_dbus_connection_signal_subscribe(
      c, BusService, BusService, "NameOwnerChanged", BusPath, endpoints.playerBusName.c_str(),
      G_DBUS_SIGNAL_FLAGS_MATCH_ARG0_NAMESPACE, onNameOwnerChanged, &changed, nullptr);
  g_main_context_pop_thread_default(context);
  // The name may have come before the subscription did.
  std::optional<std::string> found = playerName();
  const gint64 deadline = g_get_monotonic_time() + gint64{startTimeoutMs} * 1000;
  while (!found && g_get_monotonic_time() < deadline) {
    iterateUntil(context, deadline);
    if (changed) {
      changed = false;
      found = playerName();
    }
  }
  g_dbus_connection_signal_unsubscribe(c, id);
  while (g_main_context_iteration(context, FALSE)) {
  }
  g_main_context_unref(context);
  return found;
}

std::optional<ScriptResult> MprisScriptService::Impl::activate() {
  // Raising is a courtesy; a player that cannot be raised is still running.
  if (callPlayerObject(RootInterface, "Raise", nullptr, nullptr) || !playerAbsent) return std::nullopt;
  if (!bus() || !startPlayer()) return std::nullopt;
  std::optional<std::string> player = waitForPlayer();
  if (!player) return std::nullopt;
  if (*player != endpoints.playerBusName) instanceName = *player;
  call(*player, ObjectPath, RootInterface, "Raise", nullptr, nullptr);
  return std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::toggleShuffle() {
  Variant shuffle = playerProperty("Shuffle");
  if (isType(shuffle.get(), "b"))
    setProperty("Shuffle", g_variant_new_boolean(!g_variant_get_boolean(shuffle.get())));
  return std::nullopt;
}

// SetPosition needs the track's object path; a player that names its tracks
// otherwise is sent back by its own position instead.
std::optional<ScriptResult> MprisScriptService::Impl::restart() {
  Variant id = metadata().value("mpris:trackid");
  if (isType(id.get(), "o")) {
    callPlayer("SetPosition",
               g_variant_new("(ox)", g_variant_get_string(id.get(), nullptr), gint64{0}));
    return std::nullopt;
  }
  std::optional<std::int64_t> position = integerOf(playerProperty("Position").get());
  if (position && *position > 0) callPlayer("Seek", g_variant_new("(x)", -*position));
  return std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::isPlaying() {
  std::optional<std::string> status = textOf(playerProperty("PlaybackStatus").get());
  if (status == "Playing") return truth(true);
  if (status == "Paused" || status == "Stopped") return truth(false);
  return std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::isShuffling() {
  Variant shuffle = playerProperty("Shuffle");
  if (!isType(shuffle.get(), "b")) return std::nullopt;
  return truth(g_variant_get_boolean(shuffle.get()));
}

std::optional<ScriptResult> MprisScriptService::Impl::trackUri() {
  Metadata md = metadata();
  std::optional<std::string> id = md.text("mpris:trackid", true);
  std::optional<std::string> url = md.text("xesam:url");
  return answer(mpris::trackUri(id, url));
}

std::optional<ScriptResult> MprisScriptService::Impl::artwork() {
  std::optional<std::string> url = metadata().text("mpris:artUrl");
  if (!url) return std::nullopt;
  return answer(mpris::artworkUrl(*url, endpoints.webHost, endpoints.imagePrefix));
}

std::optional<ScriptResult> MprisScriptService::Impl::playingName() {
  std::optional<std::string> status;
  Metadata md = playerProperties(&status);
  return status == "Playing" ? answer(md.text("xesam:title")) : std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::playingArtist() {
  std::optional<std::string> status;
  Metadata md = playerProperties(&status);
  return status == "Playing" ? answer(artistsOf(md.value("xesam:artist").get())) : std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::artist() {
  return answer(artistsOf(metadata().value("xesam:artist").get()));
}

std::optional<ScriptResult> MprisScriptService::Impl::album() {
  return answer(metadata().text("xesam:album"));
}

std::optional<ScriptResult> MprisScriptService::Impl::minutes() {
  std::optional<std::int64_t> length = integerOf(metadata().value("mpris:length").get());
  return length ? answer(mpris::durationMinutes(*length)) : std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::seconds() {
  std::optional<std::int64_t> length = integerOf(metadata().value("mpris:length").get());
  return length ? answer(mpris::durationSeconds(*length)) : std::nullopt;
}

// The rating is a fraction; it must be a double, as the interface says.
std::optional<ScriptResult> MprisScriptService::Impl::rating() {
  Variant v = metadata().value("xesam:autoRating");
  if (!isType(v.get(), "d")) return std::nullopt;
  return answer(mpris::popularity(g_variant_get_double(v.get())));
}

// Any integer type is taken: the interface says 'i', players differ.
std::optional<ScriptResult> MprisScriptService::Impl::trackNumber() {
  Variant v = metadata().value("xesam:trackNumber");
  if (isType(v.get(), "d")) return std::nullopt;
  std::optional<std::int64_t> number = integerOf(v.get());
  if (!number || *number < 0) return std::nullopt;
  return answer(std::to_string(*number));
}

// Stands in for the list of foreground programs: every media player on the
// bus by its human name, which for the client is "Spotify".
std::optional<ScriptResult> MprisScriptService::Impl::playerIdentities() {
  ScriptResult result;
  result.isList = true;
  for (const auto& name : busNames()) {
    if (!name.starts_with(MprisPrefix)) continue;
    result.items.push_back(textOf(property(name, RootInterface, "Identity").get()));
  }
  return result;
}

std::optional<ScriptResult> MprisScriptService::Impl::quit() {
  callPlayerObject(RootInterface, "Quit", nullptr, nullptr);
  return std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::run(TextView script) {
  namespace S = PlayerScript;
  static const std::array<Entry, 25> table = {{
      {S::ActivatePlayer, &Impl::activate},
      {S::PlayCurrentTrack, &Impl::play},
      {S::HidePlayer, &Impl::nothing},
      {S::TrackUri, &Impl::trackUri},
      {S::MuteVolume, &Impl::mute},
      {S::FullVolume, &Impl::fullVolume},
      {S::NextTrack, &Impl::next},
      {S::PreviousTrack, &Impl::previous},
      {S::PlayPause, &Impl::playPause},
      {S::ToggleShuffle, &Impl::toggleShuffle},
      {S::RestartTrack, &Impl::restart},
      {S::IsPlaying, &Impl::isPlaying},
      {S::IsShuffling, &Impl::isShuffling},
      {S::ArtworkUrl, &Impl::artwork},
      {S::PlayingTrackName, &Impl::playingName},
      {S::PlayingTrackArtist, &Impl::playingArtist},
      {S::TrackArtist, &Impl::artist},
      {S::TrackAlbum, &Impl::album},
      {S::DurationMinutes, &Impl::minutes},
      {S::DurationSeconds, &Impl::seconds},
      {S::TrackPopularity, &Impl::rating},
      {S::TrackNumber, &Impl::trackNumber},
      {S::TrackId, &Impl::trackUri},
      {S::ForegroundProcessPaths, &Impl::playerIdentities},
      {S::QuitPlayer, &Impl::quit},
  }};
  for (const Entry& e : table) {
    if (e.script != script) continue;
    playerAbsent = false;
    return (this->*e.handler)();
  }
  return std::nullopt;
}

MprisScriptService::MprisScriptService(const Endpoints& endpoints, int callTimeoutMs,
                                       int startTimeoutMs)
    : impl_(std::make_unique<Impl>()) {
  impl_->endpoints = endpoints;
  impl_->callTimeoutMs = callTimeoutMs;
  impl_->startTimeoutMs = startTimeoutMs;
}

MprisScriptService::~MprisScriptService() = default;

std::optional<ScriptResult> MprisScriptService::execute(TextView script) { return impl_->run(script); }

}  // namespace larkspur
