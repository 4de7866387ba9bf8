#include "windows/window_parts.h"

#include "player/player_script.h"

namespace larkspur {

void setModalEntriesEnabled(StatusMenu& menu, bool enabled) {
  menu.setItemEnabled(MenuItemTrackDetails, enabled);
  for (std::int64_t id = MenuItemPlayPause; id <= MenuItemAbout; ++id)
    menu.setItemEnabled(id, enabled);
}

void handleModalMenuChoice(WindowParts& p, std::int64_t id) {
  namespace PS = PlayerScript;
  if (id == MenuObjectQuit && p.queue.currentWindow() == WindowApplication) p.core.quit();
  if (id == MenuItemNext) {
    p.bridge.runScript(PS::NextTrack);
    p.core.countCommand();
  } else if (id == MenuItemPrevious) {
    p.bridge.runScript(PS::PreviousTrack);
    p.bridge.runScript(PS::PreviousTrack);
    p.core.countCommand();
  } else if (id == MenuItemRepeat) {
    p.bridge.runScript(PS::RestartTrack);
  }
}

}  // namespace larkspur
