#pragma once
// The names of the MPRIS 2 interfaces and of the bus itself, shared by the
// service that asks the player and the simulated player that answers.
namespace larkspur::mpris {

inline constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
inline constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";
inline constexpr const char* BusService = "org.freedesktop.DBus";
inline constexpr const char* BusPath = "/org/freedesktop/DBus";

}  // namespace larkspur::mpris
