#pragma once
// Album artwork as files, one per image identifier, in a private directory:
// downloaded once, the first time its track is seen, read from disk by every
// view. A missing file for the playing track is how a new track is noticed.
#include <string>

#include "app/app_core.h"
#include "menubar/now_playing_title.h"
#include "platform/endpoints.h"
#include "platform/ports.h"
#include "player/player_bridge.h"

namespace larkspur {

class ArtworkCache {
 public:
  ArtworkCache(PlayerBridge& bridge, NowPlayingTitle& title, HttpPort& http, AppCore& core,
               const Endpoints& endpoints);

  // Asks for the artwork address again and downloads the file when missing.
  void fetch();
  // Derives artworkId and artworkPath from an address without asking.
  void derive(TextView artworkUrl);
  // The file is there, in a directory only we can write.
  bool cached() const;

  const Text& artworkId() const { return artworkId_; }
  const std::string& artworkPath() const { return artworkPath_; }
  const std::string& directory() const { return directory_; }

  // Quit: the *.jpeg files of our directory and the partial downloads,
  // nothing else.
  void deleteCachedFiles();

 private:
  bool downloadable() const;
  std::string directoryPath() const;  // without the trailing "/"
  bool plainId() const;

  PlayerBridge& bridge_;
  NowPlayingTitle& title_;
  HttpPort& http_;
  AppCore& core_;
  Text prefix_;
  std::string directory_;  // <tmp>/larkspur-<uid>/
  Text artworkId_;
  std::string artworkPath_;
};

}  // namespace larkspur
