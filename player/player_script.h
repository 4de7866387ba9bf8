#pragma once
// The complete, fixed set of script texts the program sends. They are sent
// exactly as stored: two of them have a blank before "to", the rest do not.
#include <array>
#include <string_view>

namespace larkspur::PlayerScript {

inline constexpr std::u16string_view ActivatePlayer = u"tell application\"Spotify\"to activate";
inline constexpr std::u16string_view PlayCurrentTrack = u"tell application\"Spotify\"to play current track";
inline constexpr std::u16string_view HidePlayer = u"tell application\"Finder\"to set visible of process\"Spotify\"to false";
inline constexpr std::u16string_view TrackUri = u"tell application\"Spotify\"to spotify url of current track";
inline constexpr std::u16string_view MuteVolume = u"tell application\"Spotify\"to set sound volume to 0";
inline constexpr std::u16string_view FullVolume = u"tell application\"Spotify\"to set sound volume to 100";
inline constexpr std::u16string_view NextTrack = u"tell application\"Spotify\"to Next track";
inline constexpr std::u16string_view PreviousTrack = u"tell application\"Spotify\"to Previous track";
inline constexpr std::u16string_view PlayPause = u"tell application\"Spotify\"to playpause";
inline constexpr std::u16string_view ToggleShuffle = u"tell application\"Spotify\"to set shuffling to not shuffling";
inline constexpr std::u16string_view RestartTrack = u"tell application\"Spotify\"to set player position to 0";
inline constexpr std::u16string_view IsPlaying = u"tell application\"Spotify\"to player state is playing";
inline constexpr std::u16string_view IsShuffling = u"tell application\"Spotify\"to shuffling";
inline constexpr std::u16string_view ArtworkUrl = u"tell application\"Spotify\"to artwork url of current track";
inline constexpr std::u16string_view PlayingTrackName = u"tell application\"Spotify\" to if player state is playing then name of current track";
inline constexpr std::u16string_view PlayingTrackArtist = u"tell application\"Spotify\" to if player state is playing then artist of current track";
inline constexpr std::u16string_view TrackArtist = u"tell application\"Spotify\"to artist of current track";
inline constexpr std::u16string_view TrackAlbum = u"tell application\"Spotify\"to album of current track";
inline constexpr std::u16string_view DurationMinutes = u"tell application\"Spotify\"to round ((duration of current track / 1000) / 60) rounding down";
inline constexpr std::u16string_view DurationSeconds = u"tell application\"Spotify\"to round ((duration of current track / 1000) mod 60) rounding down";
inline constexpr std::u16string_view TrackPopularity = u"tell application\"Spotify\"to popularity of current track";
inline constexpr std::u16string_view TrackNumber = u"tell application\"Spotify\"to track number of current track";
inline constexpr std::u16string_view TrackId = u"tell application\"Spotify\"to id of current track";
inline constexpr std::u16string_view ForegroundProcessPaths = u"tell application\"System Events\"to get POSIX path of (file of every process whose background only is false)";
inline constexpr std::u16string_view QuitPlayer = u"tell application\"Spotify\"to quit";

inline constexpr std::array<std::u16string_view, 25> All = {
    ActivatePlayer, PlayCurrentTrack, HidePlayer, TrackUri, MuteVolume,
    FullVolume, NextTrack, PreviousTrack, PlayPause, ToggleShuffle,
    RestartTrack, IsPlaying, IsShuffling, ArtworkUrl, PlayingTrackName,
    PlayingTrackArtist, TrackArtist, TrackAlbum, DurationMinutes, DurationSeconds,
    TrackPopularity, TrackNumber, TrackId, ForegroundProcessPaths, QuitPlayer};

}  // namespace larkspur::PlayerScript
