#include "platform/sound/pulse_sound.h"

#include <glib.h>
#include <pulse/glib-mainloop.h>
#include <pulse/pulseaudio.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace larkspur {

namespace {

std::string property(const pa_proplist* list, const char* key) {
  const char* value = list ? pa_proplist_gets(list, key) : nullptr;
  return value ? value : "";
}

}  // namespace

struct PulseSound::Impl {
  gint64 connectTimeoutUs;
  gint64 retryIntervalUs;
  pa_glib_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  gint64 attemptAt = 0;
  bool attempted = false;
  std::map<std::uint32_t, SoundStream> streams;
  // Mute requests the server has not answered yet.
  int pending = 0;

  void connect();
  void drop();
  bool ready() const { return context && pa_context_get_state(context) == PA_CONTEXT_READY; }

  static void onState(pa_context* c, void* self);
  static void onEvent(pa_context* c, pa_subscription_event_type_t type, std::uint32_t index,
                      void* self);
  static void onStream(pa_context* c, const pa_sink_input_info* info, int eol, void* self);
  static void onMuted(pa_context* c, int success, void* self);
};

// libpulse would otherwise start a server of its own (autospawn) when none
// runs; the program only uses one that is there.
void PulseSound::Impl::connect() {
  gint64 now = g_get_monotonic_time();
  if (context) {
    pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) return;
    // A server that accepts the connection and then says nothing must not
    // keep us from trying again later.
    if (PA_CONTEXT_IS_GOOD(state) && now - attemptAt < connectTimeoutUs) return;
    drop();
  }
  if (attempted && now - attemptAt < retryIntervalUs) return;
  attempted = true;
  attemptAt = now;
  if (!loop) loop = pa_glib_mainloop_new(nullptr);
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "larkspur");
  context = pa_context_new_with_proplist(pa_glib_mainloop_get_api(loop), "Larkspur", props);
  pa_proplist_free(props);
  if (!context) return;
  pa_context_set_state_callback(context, &Impl::onState, this);
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) drop();
}

void PulseSound::Impl::drop() {
  streams.clear();
  pending = 0;
  if (!context) return;
  pa_context_set_state_callback(context, nullptr, nullptr);
  pa_context_set_subscribe_callback(context, nullptr, nullptr);
  pa_context_disconnect(context);
  pa_context_unref(context);
  context = nullptr;
}

void PulseSound::Impl::onState(pa_context* c, void* self) {
  auto* impl = static_cast<Impl*>(self);
  pa_context_state_t state = pa_context_get_state(c);
  if (state == PA_CONTEXT_READY) {
    pa_context_set_subscribe_callback(c, &Impl::onEvent, self);
    if (pa_operation* op = pa_context_subscribe(c, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr))
      pa_operation_unref(op);
    if (pa_operation* op = pa_context_get_sink_input_info_list(c, &Impl::onStream, self))
      pa_operation_unref(op);
  } else if (!PA_CONTEXT_IS_GOOD(state)) {
    // The context is dropped at the next call, outside its own callback.
    impl->streams.clear();
    impl->pending = 0;
  }
}

void PulseSound::Impl::onEvent(pa_context* c, pa_subscription_event_type_t type,
                               std::uint32_t index, void* self) {
  auto* impl = static_cast<Impl*>(self);
  if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
    impl->streams.erase(index);
  } else if (pa_operation* op = pa_context_get_sink_input_info(c, index, &Impl::onStream, self)) {
    pa_operation_unref(op);
  }
}

void PulseSound::Impl::onStream(pa_context*, const pa_sink_input_info* info, int eol, void* self) {
  if (eol || !info) return;
  SoundStream s;
  s.index = info->index;
  s.processId = std::strtol(property(info->proplist, PA_PROP_APPLICATION_PROCESS_ID).c_str(),
                            nullptr, 10);
  s.applicationName = property(info->proplist, PA_PROP_APPLICATION_NAME);
  s.binary = property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
  s.muted = info->mute != 0;
  static_cast<Impl*>(self)->streams[s.index] = std::move(s);
}

void PulseSound::Impl::onMuted(pa_context*, int, void* self) {
  auto* impl = static_cast<Impl*>(self);
  if (impl->pending > 0) --impl->pending;
}

PulseSound::PulseSound(std::chrono::milliseconds connectTimeout,
                       std::chrono::milliseconds retryInterval)
    : impl_(std::make_unique<Impl>()) {
  impl_->connectTimeoutUs = connectTimeout.count() * 1000;
  impl_->retryIntervalUs = retryInterval.count() * 1000;
}

PulseSound::~PulseSound() {
  impl_->drop();
  if (impl_->loop) pa_glib_mainloop_free(impl_->loop);
}

std::vector<SoundStream> PulseSound::playbackStreams() {
  impl_->connect();
  std::vector<SoundStream> out;
  if (!impl_->ready()) return out;
  for (const auto& [index, stream] : impl_->streams) out.push_back(stream);
  return out;
}

void PulseSound::setStreamMuted(std::uint32_t index, bool muted) {
  if (!impl_->ready()) return;
  pa_operation* op = pa_context_set_sink_input_mute(impl_->context, index, muted ? 1 : 0,
                                                    &Impl::onMuted, impl_.get());
  if (!op) return;
  pa_operation_unref(op);
  ++impl_->pending;
  // Seen at once, so the next tick does not ask again before the server's
  // change event arrives.
  auto found = impl_->streams.find(index);
  if (found != impl_->streams.end()) found->second.muted = muted;
}

// Runs the program's main context until the server has answered every mute
// request, for at most a second: a server that hangs cannot hold up the exit.
void PulseSound::flush() {
  bool expired = false;
  guint timer = g_timeout_add(
      1000, [](gpointer flag) { return *static_cast<bool*>(flag) = true, G_SOURCE_REMOVE; },
      &expired);
  while (impl_->pending > 0 && impl_->ready() && !expired) g_main_context_iteration(nullptr, TRUE);
  if (!expired) g_source_remove(timer);
}

long PulseSound::parentProcess(long pid) {
  // The command name in field 2 may hold spaces and parentheses; the state
  // and the parent's id follow its last closing parenthesis.
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 1));
  std::string state;
  long parent = 0;
  rest >> state >> parent;
  return parent;
}

}  // namespace larkspur
