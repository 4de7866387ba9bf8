#include "platform/mpris/mpris_script_service.h"

#include <gio/gio.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/mpris/mpris_names.h"
#include "platform/mpris/mpris_text.h"
#include "platform/mpris/player_windows.h"
#include "platform/mpris/session_bus.h"
#include "player/player_script.h"

namespace larkspur {
namespace {

using namespace mpris;

constexpr std::string_view MprisPrefix = "org.mpris.MediaPlayer2.";

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

  // What the player last told us of its playback status and item: read
  // with GetAll, then kept current by its PropertiesChanged signals, which
  // every MPRIS player sends. Forgotten when we send a command, when a name
  // of the player changes owner, on a new connection, and once it has aged
  // (maxAgeUs), so that a player whose signals went missing is still followed.
  struct PlayerState {
    bool known = false;
    std::uint64_t generation = 0;
    gint64 readAt = 0;
    std::string owner;  // the unique name that answered; empty: no player
    Variant status;
    Variant metadata;
  };

  Impl(const Endpoints& e, int callTimeout, int startTimeout, int stateMaxAge, int signalledMaxAge);

  Endpoints endpoints;
  int callTimeoutMs;
  int startTimeoutMs;
  gint64 stateMaxAgeUs;
  // The read that only confirms a signalling player's signals still come is
  // all an idle program does, two wake-ups each time; a player caught
  // leaving a change unsignalled falls back to stateMaxAgeUs and the poll.
  gint64 signalledMaxAgeUs;
  gint64 maxAgeUs() const { return signalling ? signalledMaxAgeUs : stateMaxAgeUs; }
  SessionBus bus;
  PlayerState state;
  // Set when a name of the player gains an owner; waitForPlayer clears it.
  bool ownerAppeared = false;
  // The player has shown that it reports its changes: until it has (and
  // again once a read finds a change it did not report) it is polled.
  bool signalling = false;
  // Who sent a change while we did not know who the player was (our first
  // command's change comes before the first read): the player, once a read
  // names it so.
  std::string heardFrom;
  std::function<void()> changed;
  static constexpr gint64 PumpIntervalUs = 50'000;
  gint64 pumpedAt = std::numeric_limits<gint64>::min() / 2;
  // The instance name the player was last found under, tried before the
  // well-known name; empty while the player answers to the well-known one.
  std::string instanceName;
  // Set within one text once no player answered, so its further calls do not
  // look for it again.
  bool playerAbsent = false;

  Variant call(const std::string& dest, const char* path, const char* iface, const char* method,
               GVariant* params, const char* replyType, bool* nameGone = nullptr);
  BusReply callPlayerObject(const char* iface, const char* method, GVariant* params,
                            const char* replyType);
  bool isPlayerName(std::string_view name) const;
  void onPropertiesChanged(const std::string& sender, GVariant* body);
  void onNameOwnerChanged(GVariant* body);
  const PlayerState& playerState();
  void forgetState() { state.known = false; }
  void notify() {
    if (changed) changed();
  }
  int trustedForMs() const;
  std::vector<std::string> busNames();
  std::optional<std::string> playerName();
  Variant property(const std::string& dest, const char* iface, const char* name);
  Variant playerProperty(const char* name);
  bool setProperty(const char* name, GVariant* value);
  bool callPlayer(const char* method, GVariant* params = nullptr);
  Metadata metadata();
  bool startPlayer();
  std::optional<std::string> waitForPlayer();
  std::optional<ScriptResult> run(TextView script);
  long processId();

  std::optional<ScriptResult> activate();
  std::optional<ScriptResult> hide();
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

Variant MprisScriptService::Impl::call(const std::string& dest, const char* path,
                                       const char* iface, const char* method, GVariant* params,
                                       const char* replyType, bool* nameGone) {
  BusReply reply = bus.call(dest, path, iface, method, params, replyType, callTimeoutMs);
  if (nameGone) *nameGone = reply.nameGone;
  return std::move(reply.body);
}

// Listing the bus names costs a round trip of its own, so the player is
// called by name and the names are listed only when nobody owns that name.
// Nothing of the player's answers is kept between calls, only where it lives.
BusReply MprisScriptService::Impl::callPlayerObject(const char* iface, const char* method,
                                                    GVariant* params, const char* replyType) {
  // Held so that the same parameters can go to a second name.
  Variant held(params ? g_variant_ref_sink(params) : nullptr);
  if (playerAbsent) return {};
  auto ask = [&](const std::string& name) {
    return bus.call(name, ObjectPath, iface, method, held.get(), replyType, callTimeoutMs);
  };
  if (!instanceName.empty()) {
    BusReply reply = ask(instanceName);
    if (reply.body || !reply.nameGone) return reply;
    instanceName.clear();
  }
  BusReply reply = ask(endpoints.playerBusName);
  if (reply.body || !reply.nameGone) return reply;
  std::optional<std::string> name = playerName();
  if (!name) {
    playerAbsent = true;
    return {};
  }
  if (*name != endpoints.playerBusName) instanceName = *name;
  return ask(*name);
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
                                          g_variant_new("(ss)", PlayerInterface, name), "(v)")
                             .body);
}

bool MprisScriptService::Impl::isPlayerName(std::string_view name) const {
  const std::string& exact = endpoints.playerBusName;
  return name.starts_with(exact) && (name.size() == exact.size() || name[exact.size()] == '.');
}

namespace {
// Players repeat unchanged values (a volume set may bring the whole item
// again); only a new value is a change worth a refresh.
bool same(const Variant& a, const Variant& b) {
  return a && b ? g_variant_equal(a.get(), b.get()) : !a && !b;
}
}  // namespace

// Changes reported after the state was read are applied; those reported
// before it reach us while the read waits, when nothing is known, and pass.
// The values last known stay behind a forgotten state, to tell a change.
void MprisScriptService::Impl::onPropertiesChanged(const std::string& sender, GVariant* body) {
  Variant iface(g_variant_get_child_value(body, 0));
  if (std::string_view(g_variant_get_string(iface.get(), nullptr)) != PlayerInterface) return;
  if (state.owner.empty()) heardFrom = sender;
  if (state.owner.empty() || sender != state.owner) return;
  signalling = true;
  Variant invalidated(g_variant_get_child_value(body, 2));
  for (gsize i = 0; i < g_variant_n_children(invalidated.get()); ++i) {
    Variant name(g_variant_get_child_value(invalidated.get(), i));
    std::string_view n = g_variant_get_string(name.get(), nullptr);
    if (n == "PlaybackStatus" || n == "Metadata") {
      forgetState();
      notify();
      return;
    }
  }
  Variant changedValues(g_variant_get_child_value(body, 1));
  Variant status(g_variant_lookup_value(changedValues.get(), "PlaybackStatus", nullptr));
  Variant item(g_variant_lookup_value(changedValues.get(), "Metadata", nullptr));
  const bool news = (status && !same(state.status, status)) || (item && !same(state.metadata, item));
  if (state.known) {
    if (status) state.status = std::move(status);
    if (item) state.metadata = std::move(item);
  }
  if (news) notify();
}

void MprisScriptService::Impl::onNameOwnerChanged(GVariant* body) {
  const gchar *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
  g_variant_get(body, "(&s&s&s)", &name, &oldOwner, &newOwner);
  if (!isPlayerName(name)) return;
  forgetState();
  signalling = false;
  if (*newOwner) ownerAppeared = true;
  notify();
}

// The status and the metadata in one round trip, or none while what we
// know still holds. A player that does not answer is asked again next time;
// one that is not there is not looked for until a name of it appears.
const MprisScriptService::Impl::PlayerState& MprisScriptService::Impl::playerState() {
  const gint64 now = g_get_monotonic_time();
  // The texts come in bursts, three or four each second; one look at what
  // the bus has sent serves a burst.
  if (now - pumpedAt >= PumpIntervalUs) {
    bus.pump();
    pumpedAt = now;
  }
  const bool current = bus.connected() && state.known && state.generation == bus.generation();
  if (current && now - state.readAt < maxAgeUs()) return state;
  PlayerState aged = std::move(state);
  state = PlayerState{};
  BusReply reply = callPlayerObject(PropertiesInterface, "GetAll",
                                    g_variant_new("(s)", PlayerInterface), "(a{sv})");
  if (reply.body) {
    Variant all(g_variant_get_child_value(reply.body.get(), 0));
    state.status.reset(g_variant_lookup_value(all.get(), "PlaybackStatus", nullptr));
    state.metadata.reset(g_variant_lookup_value(all.get(), "Metadata", nullptr));
    state.owner = std::move(reply.sender);
    state.known = !state.owner.empty();
  } else {
    state.known = playerAbsent;
  }
  state.generation = bus.generation();
  state.readAt = now;
  // Another connection or player has shown nothing yet; a read forced by
  // age that finds what no signal told of means the player's signals do
  // not reach us (any more).
  if (aged.generation != state.generation || aged.owner != state.owner ||
      (current && (!same(aged.status, state.status) || !same(aged.metadata, state.metadata))))
    signalling = false;
  if (!state.owner.empty() && state.owner == heardFrom) signalling = true;
  heardFrom.clear();
  return state;
}

int MprisScriptService::Impl::trustedForMs() const {
  if (!bus.connected() || !state.known || state.generation != bus.generation()) return 0;
  // Without a player its arrival is announced by the bus itself.
  if (!state.owner.empty() && !signalling) return 0;
  const gint64 left = state.readAt + maxAgeUs() - g_get_monotonic_time();
  return left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
}

bool MprisScriptService::Impl::setProperty(const char* name, GVariant* value) {
  forgetState();
  return callPlayerObject(PropertiesInterface, "Set",
                          g_variant_new("(ssv)", PlayerInterface, name, value), nullptr)
             .body != nullptr;
}

bool MprisScriptService::Impl::callPlayer(const char* method, GVariant* params) {
  forgetState();
  return callPlayerObject(PlayerInterface, method, params, nullptr).body != nullptr;
}

namespace {
Metadata metadataOf(const Variant& md) { return Metadata(Variant(md ? g_variant_ref(md.get()) : nullptr)); }
}  // namespace

Metadata MprisScriptService::Impl::metadata() { return metadataOf(playerState().metadata); }

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

// Gives up at the start time-out. Names that appear are watched for from
// the first connection on, so one that appears while the names are listed
// is not missed.
std::optional<std::string> MprisScriptService::Impl::waitForPlayer() {
  ownerAppeared = false;
  std::optional<std::string> found = playerName();
  const gint64 deadline = g_get_monotonic_time() + gint64{startTimeoutMs} * 1000;
  while (!found) {
    gint64 leftMs = (deadline - g_get_monotonic_time()) / 1000;
    if (leftMs <= 0 || !bus.waitForMessage(static_cast<int>(leftMs))) break;
    if (!ownerAppeared) continue;
    ownerAppeared = false;
    found = playerName();
  }
  return found;
}

// A player that is already running stays where the user left it: only one
// we had to start is brought up, as launching it would.
std::optional<ScriptResult> MprisScriptService::Impl::activate() {
  forgetState();
  if (!bus.connect() || playerName() || !startPlayer()) return std::nullopt;
  std::optional<std::string> player = waitForPlayer();
  if (!player) return std::nullopt;
  if (*player != endpoints.playerBusName) instanceName = *player;
  call(*player, ObjectPath, RootInterface, "Raise", nullptr, nullptr);
  return std::nullopt;
}

// MPRIS has no call for it: the windows are found by the process that owns
// the player's name.
std::optional<ScriptResult> MprisScriptService::Impl::hide() {
  std::optional<std::string> player = bus.connect() ? playerName() : std::nullopt;
  if (!player) return std::nullopt;
  Variant reply = call(BusService, BusPath, BusService, "GetConnectionUnixProcessID",
                       g_variant_new("(s)", player->c_str()), "(u)");
  guint32 pid = 0;
  if (reply) g_variant_get(reply.get(), "(u)", &pid);
  minimiseWindowsOf(pid);
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
  std::optional<std::string> status = textOf(playerState().status.get());
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
  const PlayerState& now = playerState();
  if (textOf(now.status.get()) != "Playing") return std::nullopt;
  return answer(metadataOf(now.metadata).text("xesam:title"));
}

std::optional<ScriptResult> MprisScriptService::Impl::playingArtist() {
  const PlayerState& now = playerState();
  if (textOf(now.status.get()) != "Playing") return std::nullopt;
  return answer(artistsOf(metadataOf(now.metadata).value("xesam:artist").get()));
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
  forgetState();
  callPlayerObject(RootInterface, "Quit", nullptr, nullptr);
  return std::nullopt;
}

std::optional<ScriptResult> MprisScriptService::Impl::run(TextView script) {
  namespace S = PlayerScript;
  static const std::array<Entry, 25> table = {{
      {S::ActivatePlayer, &Impl::activate},
      {S::PlayCurrentTrack, &Impl::play},
      {S::HidePlayer, &Impl::hide},
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

MprisScriptService::Impl::Impl(const Endpoints& e, int callTimeout, int startTimeout,
                               int stateMaxAge, int signalledMaxAge)
    : endpoints(e),
      callTimeoutMs(callTimeout),
      startTimeoutMs(startTimeout),
      stateMaxAgeUs(gint64{stateMaxAge} * 1000),
      signalledMaxAgeUs(gint64{signalledMaxAge} * 1000),
      bus(callTimeout) {
  bus.subscribe(std::string("type='signal',interface='") + PropertiesInterface +
                    "',member='PropertiesChanged',path='" + ObjectPath + "',arg0='" +
                    PlayerInterface + "'",
                PropertiesInterface, "PropertiesChanged", "(sa{sv}as)",
                [this](const std::string& sender, GVariant* body) { onPropertiesChanged(sender, body); });
  // A name the bus would refuse in a rule is no name to watch; calls to it
  // fail on their own.
  if (!g_dbus_is_name(endpoints.playerBusName.c_str())) return;
  bus.subscribe(std::string("type='signal',sender='") + BusService + "',interface='" + BusService +
                    "',member='NameOwnerChanged',path='" + BusPath + "',arg0namespace='" +
                    endpoints.playerBusName + "'",
                BusService, "NameOwnerChanged", "(sss)",
                [this](const std::string&, GVariant* body) { onNameOwnerChanged(body); });
}

MprisScriptService::MprisScriptService(const Endpoints& endpoints, int callTimeoutMs,
                                       int startTimeoutMs, int stateMaxAgeMs, int signalledMaxAgeMs)
    : impl_(std::make_unique<Impl>(endpoints, callTimeoutMs, startTimeoutMs, stateMaxAgeMs,
                                   signalledMaxAgeMs)) {}

MprisScriptService::~MprisScriptService() = default;

// The bus daemon knows the process behind each name; the sound server's
// streams are matched against it.
long MprisScriptService::Impl::processId() {
  auto pidOf = [&](const std::string& name) -> long {
    Variant reply = call(BusService, BusPath, BusService, "GetConnectionUnixProcessID",
                         g_variant_new("(s)", name.c_str()), "(u)");
    guint32 pid = 0;
    if (reply) g_variant_get(reply.get(), "(u)", &pid);
    return pid;
  };
  if (long pid = pidOf(instanceName.empty() ? endpoints.playerBusName : instanceName)) return pid;
  std::optional<std::string> name = playerName();
  return name ? pidOf(*name) : 0;
}

std::optional<ScriptResult> MprisScriptService::execute(TextView script) { return impl_->run(script); }

long MprisScriptService::playerProcessId() { return impl_->processId(); }

void MprisScriptService::watchChanges(std::function<void()> changed) {
  impl_->changed = std::move(changed);
  impl_->bus.handleInMainLoop();
}

int MprisScriptService::trustedForMs() const { return impl_->trustedForMs(); }

}  // namespace larkspur
