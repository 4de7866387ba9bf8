#include "windows/track_details_window.h"

#include "platform/files.h"
#include "player/player_script.h"

namespace larkspur {

namespace PS = PlayerScript;

namespace {

constexpr std::int64_t kWindow = TrackDetailsWindowNumber;

Text shortened(const Text& text, std::size_t limit, std::size_t keep) {
  return text.size() >= limit ? leftUnits(text, keep) + u"..." : text;
}

ControlSpec label(Rect frame, Text text, Font font) {
  ControlSpec spec;
  spec.kind = ControlKind::Label;
  spec.frame = frame;
  spec.text = std::move(text);
  spec.font = font;
  spec.align = Align::Center;
  return spec;
}

ControlSpec button(Rect frame, Text text, Font font, int bezel) {
  ControlSpec spec;
  spec.kind = ControlKind::Button;
  spec.frame = frame;
  spec.text = std::move(text);
  spec.font = font;
  spec.bezelStyle = bezel;
  return spec;
}

}  // namespace

TrackDetailsWindow::Item TrackDetailsWindow::readItem() {
  Item item;
  item.artist = p_.bridge.runScript(PS::TrackArtist);
  item.album = p_.bridge.runScript(PS::TrackAlbum);
  item.minutes = p_.bridge.runScript(PS::DurationMinutes);
  item.seconds = p_.bridge.runScript(PS::DurationSeconds);
  item.popularity = p_.bridge.runScript(PS::TrackPopularity);
  item.number = p_.bridge.runScript(PS::TrackNumber);
  item.id = p_.bridge.runScript(PS::TrackId);
  return item;
}

void TrackDetailsWindow::loadArtwork() {
  if (p_.prefs.hideArtwork == 0) {
    p_.images.copy(SlotMenuArtwork, SlotDetailsArtwork);
  } else if (p_.prefs.hideArtwork == 1) {
    p_.artwork.fetch();
    if (p_.artwork.cached())
      loadImageFile(p_.images, SlotDetailsArtwork, p_.artwork.artworkPath());
  }
}

TrackDetailsWindow::Buttons TrackDetailsWindow::createControls(const Item& item) {
  WindowTable& w = p_.windows;
  Buttons b;
  Text seconds = item.seconds.size() <= 1 ? u"0" + item.seconds : item.seconds;
  Text heading = shortened(p_.title.rawName(), 78, 76) + u" (" + item.minutes + u":" + seconds + u")";
  w.addControl(label({0, 16, 600, 24}, heading, {13, false}));
  b.copy = w.addControl(button({250, 40, 100, 22}, u"Copy URL", {11, false}, 12));
  ControlSpec art;
  art.kind = ControlKind::ImageView;
  art.frame = {232, 64, 132, 132};
  art.groovedFrame = true;
  art.image = p_.images.platformImage(SlotDetailsArtwork);
  if (art.image) {
    art.frame.width = art.image->pointWidth + 4;
    art.frame.height = art.image->pointHeight + 4;
  }
  w.addControl(art);
  if (!item.episode)
    b.desktop = w.addControl(button({220, 203, 156, 22}, u"Set Artwork as Desktop", {11, false}, 12));
  w.addControl(label({0, 230, 600, 24}, shortened(item.artist, 64, 64), {16, true}));
  Font albumFont = item.episode ? Font{16, true} : Font{13, false};
  w.addControl(label({0, 252, 600, 24}, shortened(item.album, 78, 78), albumFont));
  if (!item.episode) {
    w.addControl(label({0, 278, 600, 24}, u"Track on Album: " + item.number, {12, false}));
    w.addControl(label({0, 298, 600, 24}, u"Spotify Popularity (0-100): " + item.popularity,
                       {12, false}));
  }
  ControlSpec ok = button({480, 324, 100, 25}, u"OK", {13, false}, 1);
  ok.isDefault = true;
  b.ok = w.addControl(ok);
  return b;
}

void TrackDetailsWindow::run() {
  Text opening = p_.bridge.runScript(PS::TrackUri);
  bool episode = contains(opening, u"episode");
  p_.system.activateApp();
  Text title = Text(u"Current ") + (episode ? u"Podcast" : u"Track") + u" Details";
  p_.windows.open(kWindow, 0, 0, 600, 370, title, WindowCloseButton | WindowCentred | 0x08);
  p_.windows.setStayOnTop(kWindow, true);
  p_.windows.hideMinimiseAndZoom(kWindow);
  Item item = readItem();
  item.opening = opening;
  item.episode = episode;
  loadArtwork();
  setModalEntriesEnabled(p_.statusMenu, false);
  p_.images.setSize(SlotDetailsArtwork, 132, 132);
  Buttons buttons = createControls(item);
  for (;;) {
    std::int32_t code = p_.queue.wait(-1);
    Text current = p_.bridge.runScript(PS::TrackUri);
    if (!handle(code, item, buttons)) break;
    if (current != item.opening) break;
  }
  p_.images.free(SlotDetailsArtwork);
  p_.windows.close(kWindow);
  setModalEntriesEnabled(p_.statusMenu, true);
}

bool TrackDetailsWindow::handle(std::int32_t code, Item& item, const Buttons& buttons) {
  std::int64_t object = p_.queue.currentObject();
  switch (code) {
    case EventNextTrack: p_.bridge.runScript(PS::NextTrack); p_.core.countCommand(); break;
    case EventPreviousTrack: p_.bridge.runScript(PS::PreviousTrack); p_.core.countCommand(); break;
    case EventRestartTrack: p_.bridge.runScript(PS::RestartTrack); break;
    case EventCloseRequest: return false;
    case EventControl:
      if (object == buttons.ok) return false;
      if (object == buttons.copy) copyAddress(item);
      else if (buttons.desktop && object == buttons.desktop) setArtworkAsDesktop();
      break;
    case EventMenu:
      if (object == MenuItemQuit) p_.core.quit();
      handleModalMenuChoice(p_, object);
      break;
    default: break;
  }
  return true;
}

void TrackDetailsWindow::copyAddress(Item& item) {
  Text prefix = item.episode ? u"spotify:episode:" : u"spotify:track:";
  removeAllInPlace(item.id, prefix);
  Text address = u"https://" + fromUtf8(p_.endpoints.webHost) +
                 (item.episode ? u"/episode/" : u"/track/") + item.id;
  p_.pasteboard.setText(address);
}

void TrackDetailsWindow::setArtworkAsDesktop() {
  // Only a plain identifier is ever cached, so the copy's name stays in
  // the folder.
  if (!p_.artwork.cached()) return;
  const Text& id = p_.artwork.artworkId();
  std::string directory = p_.system.homeDirectory() + ".bkgd/";
  // Setting the desktop to a file that is not there would blank it.
  if (!files::ensureDirectory(directory, 0700)) return;
  std::string target = directory + toUtf8(id) + ".jpeg";
  if (!files::copyFileReplacing(p_.artwork.artworkPath(), target)) return;
  p_.system.setDesktopPicture(target);
}

}  // namespace larkspur
