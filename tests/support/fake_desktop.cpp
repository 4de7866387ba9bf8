#include "support/fake_desktop.h"

#include <sstream>

namespace larkspur::test {

std::vector<std::string> FakeWindow::layout() const {
  static const char* kinds[] = {"label", "button", "image", "field"};
  std::vector<std::string> out;
  for (auto id : order) {
    const FakeControl& c = controls.at(id);
    const Rect& f = c.spec.frame;
    std::ostringstream line;
    line << kinds[static_cast<int>(c.spec.kind)] << " " << f.x << "," << f.y << "," << f.width << "," << f.height;
    if (c.spec.kind != ControlKind::ImageView)
      line << " " << c.spec.font.size << (c.spec.font.bold ? "b " : " ") << toUtf8(c.text);
    out.push_back(line.str());
  }
  return out;
}

void FakeDesktop::chooseMenuItem(std::int64_t id) {
  then([this, id] {
    // Hosts deliver clicks on disabled entries too; the desktop drops them.
    const MenuEntry* e = entry(id);
    if (e && e->enabled && statusItemShown) queue_.enqueue(EventMenu, id, 0, 0);
  });
}

void FakeDesktop::pressHotkey(int keyCode, std::uint32_t modifiers) {
  then([this, keyCode, modifiers] {
    for (auto& [ref, grab] : grabs)
      if (grab.keyCode == keyCode && grab.modifiers == modifiers && hotkeyHandler_)
        return hotkeyHandler_(grab.identity);
  });
}

void FakeDesktop::tick() {
  then([this] {
    auto copy = timers_;
    for (auto& [handle, fire] : copy)
      if (timers_.count(handle)) fire();
  });
}

void FakeDesktop::clickButton(std::int64_t window, const std::string& text) {
  then([this, window, text] {
    for (auto& [id, c] : windows[window].controls)
      if (toUtf8(c.text) == text) return queue_.enqueue(EventControl, id, window, 0);
  });
}

void FakeDesktop::typeKey(KeyEvent key) {
  then([this, key] {
    if (queue_.offerToFilters(key)) return;
    FakeControl* c = find(key.focusedWindow, key.focusedControl);
    if (c && c->spec.kind == ControlKind::ShortcutField && key.character >= 32) c->text.push_back(key.character);
  });
}

bool FakeDesktop::dispatchOne(int timeoutMs) {
  if (script_.empty()) {
    if (timeoutMs >= 0) return false;
    throw OutOfEvents();
  }
  auto action = std::move(script_.front());
  script_.pop_front();
  action();
  return true;
}

const MenuEntry* FakeDesktop::entry(std::int64_t id) const {
  if (menu)
    for (const auto& e : menu->entries)
      if (!e.separator && e.id == id) return &e;
  return nullptr;
}

std::vector<std::string> FakeDesktop::menuLines() const {
  std::vector<std::string> lines;
  for (const auto& e : menu ? menu->entries : std::vector<MenuEntry>{}) {
    std::string line = std::to_string(e.id) + " " + toUtf8(e.text);
    if (!e.iconName.empty()) line += " [" + e.iconName + "]";
    else if (e.image) line += " [image]";
    lines.push_back(e.separator ? "---" : e.enabled ? line : line + " (disabled)");
  }
  return lines;
}

std::string FakeDesktop::enabledIds() const {
  std::string out;
  for (std::int64_t id = 1; id <= 14; ++id)
    if (const MenuEntry* e = entry(id); e && e->enabled) out += std::to_string(id) + " ";
  return out;
}

const FakeControl* FakeDesktop::control(std::int64_t window, std::int64_t id) const {
  auto w = windows.find(window);
  if (w == windows.end() || !w->second.controls.count(id)) return nullptr;
  return &w->second.controls.at(id);
}

void FakeDesktop::menuItemEnabledChanged(const MenuModel& model, std::int64_t id) {
  MenuEntry* mine = menu && menu->number == model.number ? menu->find(id) : nullptr;
  if (const MenuEntry* theirs = const_cast<MenuModel&>(model).find(id); mine && theirs) mine->enabled = theirs->enabled;
}

std::optional<HotkeyPort::HotkeyRef> FakeDesktop::registerHotkey(int keyCode, std::uint32_t modifiers,
                                                                 Identity identity, std::int64_t) {
  for (auto& [ref, grab] : grabs)  // held already, by us or another client
    if (grab.keyCode == keyCode && grab.modifiers == modifiers) return std::nullopt;
  grabs[nextRef_] = FakeGrab{keyCode, modifiers, identity};
  return nextRef_++;
}

}  // namespace larkspur::test
