#pragma once
// How MPRIS values become the answers the script texts promise. Pure string
// and number rules, kept apart from the bus so they can be checked alone.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur::mpris {

// Longest text we hand on. Nothing a player means to show is this long; a
// longer value is a misbehaving player and counts as no answer.
inline constexpr std::size_t MaxTextBytes = 64 * 1024;

// The client names the item by object path ("/com/spotify/track/ID"); older
// clients sent the URI itself ("spotify:track:ID"). Both become the URI.
// Adverts are told by their page address, which holds "/ad/", whatever the
// track id says. Anything else is no answer.
std::optional<std::string> trackUri(std::optional<std::string_view> trackId,
                                    std::optional<std::string_view> pageUrl);

// Artwork once came from the player's web host under "/image/"; such an
// address is moved onto the image server so the identifier rules hold.
std::string artworkUrl(std::string_view url, std::string_view webHost,
                       std::string_view imagePrefix);

std::string joinArtists(const std::vector<std::string>& artists);

// Whole minutes, and whole seconds past the minute, of a length in
// microseconds. Negative lengths are no answer.
std::optional<std::string> durationMinutes(std::int64_t micros);
std::optional<std::string> durationSeconds(std::int64_t micros);

// A rating in 0..1 as a whole percentage; anything outside is no answer.
std::optional<std::string> popularity(double rating);

// The executable that starts the player: the first install path that can be
// run ("~/" meaning the home directory), then the name on PATH, then the
// flatpak of the client when flatpak itself is on PATH. Empty: none found.
std::vector<std::string> playerCommand(const std::vector<std::string>& installPaths,
                                       std::string_view executableName,
                                       std::string_view pathEnv, std::string_view home);

}  // namespace larkspur::mpris
