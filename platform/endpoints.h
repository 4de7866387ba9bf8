#pragma once
// Every address and name of the outside world in one place, so that tests and
// the demo can point the real program at loopback servers and a simulated
// player without a different code path.
#include <string>
#include <vector>

namespace larkspur {

struct Endpoints {
  // Root page of a well-known public site, asked at start and before each
  // artwork download to tell "no network" apart from "no artwork".
  std::string probeUrl = "https://www.wikipedia.org/";
  // The artwork address is this prefix followed by the image identifier.
  std::string imagePrefix = "https://i.scdn.co/image/";
  // Host part of the player's public web pages: https://<host>/track/<id>.
  std::string webHost = "open.spotify.com";
  // Page listing the maker's other applications.
  std::string otherAppsUrl = "https://larkspur.example.org/apps";
  // MPRIS bus name of the player.
  std::string playerBusName = "org.mpris.MediaPlayer2.spotify";
  // Where the player's client may be installed; PATH is searched as well.
  std::vector<std::string> playerInstallPaths = {
      "/usr/bin/spotify", "/usr/share/spotify/spotify", "/opt/spotify/spotify",
      "/snap/bin/spotify", "/var/lib/flatpak/exports/bin/com.spotify.Client",
      "~/.local/share/flatpak/exports/bin/com.spotify.Client"};
  std::string playerExecutableName = "spotify";
  // Parent of the private artwork cache directory (larkspur-<uid>/).
  std::string tempDirectory = "/tmp/";
};

}  // namespace larkspur
