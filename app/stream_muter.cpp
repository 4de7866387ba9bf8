#include "app/stream_muter.h"

#include <algorithm>
#include <cctype>

namespace larkspur {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

// The player plays its sound from its own process or from a helper process
// it started; a player in a sandbox reports process ids of another
// namespace, so its stream is known by the name it gives instead.
bool StreamMuter::isPlayers(const SoundStream& stream, long playerPid) const {
  if (playerPid > 0) {
    long pid = stream.processId;
    // Bounded, in case the process table changes under the walk.
    for (int depth = 0; pid > 1 && depth < 64; ++depth, pid = sound_->parentProcess(pid))
      if (pid == playerPid) return true;
  }
  return sameName(stream.applicationName, playerName_) || sameName(stream.binary, playerName_);
}

void StreamMuter::mute() {
  if (!sound_) return;
  std::vector<SoundStream> streams = sound_->playbackStreams();
  if (streams.empty()) return;
  long playerPid = player_.playerProcessId();
  for (const SoundStream& s : streams) {
    if (s.muted || !isPlayers(s, playerPid)) continue;
    sound_->setStreamMuted(s.index, true);
    ours_.insert(s.index);
  }
}

void StreamMuter::unmute() {
  if (!sound_) return;
  std::vector<SoundStream> streams = sound_->playbackStreams();
  if (ours_.empty()) return;
  // A stream index is never reused while the server runs, so an index of
  // ours that is still listed is still the stream we muted.
  for (const SoundStream& s : streams)
    if (ours_.count(s.index) && s.muted) sound_->setStreamMuted(s.index, false);
  ours_.clear();
}

void StreamMuter::unmuteOurs() {
  if (sound_ && !ours_.empty()) unmute();
}

void StreamMuter::unmuteBeforeExit() {
  if (!sound_ || ours_.empty()) return;
  unmute();
  sound_->flush();
}

}  // namespace larkspur
