#include "platform/menu_table.h"

namespace larkspur {

MenuTable::~MenuTable() { free(-1); }

MenuModel* MenuTable::createPopupMenu(int number) {
  if (exists(number)) free(number);
  auto menu = std::make_unique<MenuModel>();
  menu->number = number;
  current_ = menu.get();
  menus_[number] = std::move(menu);
  return current_;
}

void MenuTable::addItem(std::int64_t itemId, const Text& text, const Image* image,
                        const std::string& iconName) {
  if (!current_) return;
  MenuEntry entry;
  entry.id = itemId;
  // "&" marks a mnemonic on some desktops; ours carry none.
  entry.text = removeAll(text, u"&");
  entry.image = image;
  entry.iconName = iconName;
  current_->entries.push_back(std::move(entry));
}

void MenuTable::addSeparator() {
  if (!current_) return;
  MenuEntry entry;
  entry.separator = true;
  current_->entries.push_back(std::move(entry));
}

void MenuTable::setItemDisabled(int number, std::int64_t itemId, bool disabled) {
  auto it = menus_.find(number);
  if (it == menus_.end()) return;
  MenuEntry* entry = it->second->find(itemId);
  // With ad muting on every tick switches the entries on again; only a
  // change reaches the desktop.
  if (!entry || entry->enabled == !disabled) return;
  entry->enabled = !disabled;
  port_.menuItemEnabledChanged(*it->second, itemId);
}

bool MenuTable::exists(int number) const { return menus_.count(number) != 0; }

void MenuTable::free(int number) {
  if (number == -1) {
    while (!menus_.empty()) free(menus_.begin()->first);
    return;
  }
  auto it = menus_.find(number);
  if (it == menus_.end()) return;
  port_.menuFreed(*it->second);
  if (current_ == it->second.get()) current_ = nullptr;
  menus_.erase(it);
}

const MenuModel* MenuTable::platformMenus(int number) const {
  auto it = menus_.find(number);
  return it == menus_.end() ? nullptr : it->second.get();
}

}  // namespace larkspur
