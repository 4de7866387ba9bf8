#pragma once
// The sound server (PulseAudio, or PipeWire's PulseAudio service) through
// libpulse on the program's GLib main context: the playback streams are
// followed from the server's change events and muted on request. Nothing
// here waits for the server except flush.
#include <chrono>
#include <memory>

#include "platform/ports.h"

namespace larkspur {

class PulseSound final : public SoundPort {
 public:
  // A connection that is not up after connectTimeout is given up; a new one
  // is tried at most once per retryInterval.
  explicit PulseSound(std::chrono::milliseconds connectTimeout = std::chrono::seconds(5),
                      std::chrono::milliseconds retryInterval = std::chrono::seconds(30));
  ~PulseSound() override;
  PulseSound(const PulseSound&) = delete;
  PulseSound& operator=(const PulseSound&) = delete;

  std::vector<SoundStream> playbackStreams() override;
  void setStreamMuted(std::uint32_t index, bool muted) override;
  void flush() override;
  long parentProcess(long pid) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
