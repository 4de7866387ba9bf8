#pragma once
#include "windows/window_parts.h"

namespace larkspur {

// The details of the playing item, with Copy URL and Set Artwork as Desktop.
// Runs its own loop on the shared queue; returns when closed or when the
// playing item changes.
class TrackDetailsWindow {
 public:
  explicit TrackDetailsWindow(WindowParts parts) : p_(parts) {}
  void run();

 private:
  struct Item {
    Text opening;
    bool episode = false;
    Text name, artist, album, minutes, seconds, popularity, number, id;
  };
  struct Buttons {
    std::int64_t copy = 0, desktop = 0, ok = 0;
  };
  Item readItem();
  void loadArtwork();
  Buttons createControls(const Item& item);
  // Answers false when the loop should end.
  bool handle(std::int32_t code, Item& item, const Buttons& buttons);
  void copyAddress(Item& item);
  void setArtworkAsDesktop();

  WindowParts p_;
};

}  // namespace larkspur
