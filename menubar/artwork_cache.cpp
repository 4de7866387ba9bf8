#include "menubar/artwork_cache.h"

#include <unistd.h>

#include "platform/files.h"
#include "platform/image_table.h"
#include "player/player_script.h"

namespace larkspur {

ArtworkCache::ArtworkCache(PlayerBridge& bridge, NowPlayingTitle& title, HttpPort& http,
                           AppCore& core, const Endpoints& endpoints)
    : bridge_(bridge), title_(title), http_(http), core_(core),
      prefix_(fromUtf8(endpoints.imagePrefix)) {
  // The cache lives in a directory of our own rather than loose in the shared
  // temporary directory: predictable names there would let another local user
  // point our download at any of our files through a symbolic link.
  directory_ = endpoints.tempDirectory;
  if (directory_.empty() || directory_.back() != '/') directory_.push_back('/');
  directory_ += "larkspur-" + std::to_string(::getuid()) + "/";
}

void ArtworkCache::derive(TextView artworkUrl) {
  artworkId_ = removeAll(artworkUrl, prefix_);
  artworkPath_ = directory_ + toUtf8(artworkId_) + ".jpeg";
}

// An identifier that names another directory would make the path point
// outside the cache: such artwork is never downloaded, and a file found there
// is not ours.
bool ArtworkCache::plainId() const {
  return artworkId_.find(u'/') == Text::npos && artworkId_ != u"." && artworkId_ != u"..";
}

bool ArtworkCache::cached() const {
  // A file in a directory that is not ours alone may have been put there by
  // someone else: it is not our artwork, whatever its name.
  return plainId() && files::exists(artworkPath_) && files::isPrivateDirectory(directoryPath());
}

std::string ArtworkCache::directoryPath() const {
  return directory_.substr(0, directory_.size() - 1);
}

// The tick keeps finding the artwork of an identifier that is not plain
// missing, as for any address without the image prefix.
bool ArtworkCache::downloadable() const {
  return plainId() && files::ensurePrivateDirectory(directoryPath());
}

void ArtworkCache::fetch() {
  title_.setArtworkUrl(bridge_.runScript(PlayerScript::ArtworkUrl));
  derive(title_.artworkUrl());
  if (cached()) return;
  if (!downloadable()) return;
  core_.probeNetwork();
  http_.setConnectTimeout(15000);
  // A body that is no image (an error page sent as 200, a cut transfer) is
  // a failed download: kept, it would stand for this track's artwork for
  // the rest of the session and never be fetched again.
  if (http_.downloadToFile(title_.artworkUrl(), fromUtf8(artworkPath_)) &&
      !imageFileDecodes(artworkPath_))
    ::unlink(artworkPath_.c_str());
}

void ArtworkCache::deleteCachedFiles() {
  std::string dir = directoryPath();
  if (!files::isPrivateDirectory(dir)) return;
  // A download cut short leaves its temporary file, ".<id>.jpeg." and six
  // random characters, beside the finished ones.
  if (files::deleteMatching(dir, "*.jpeg")) files::deleteMatching(dir, ".*.jpeg.??????");
}

}  // namespace larkspur
