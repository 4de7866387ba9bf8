#pragma once
// Popup menus by number. The menu model is the platform menu: the desktop
// renders it when it is attached to the status item.
#include <map>
#include <memory>

#include "platform/ports.h"

namespace larkspur {

class MenuTable {
 public:
  explicit MenuTable(StatusItemPort& port) : port_(port) {}
  ~MenuTable();

  // Makes the new menu current; replaces a menu of the same number.
  MenuModel* createPopupMenu(int number);
  void addItem(std::int64_t itemId, const Text& text, const Image* image,
               const std::string& iconName = {});
  void addSeparator();
  void setItemDisabled(int number, std::int64_t itemId, bool disabled);
  bool exists(int number) const;
  void free(int number);  // -1 frees all
  const MenuModel* platformMenus(int number) const;

 private:
  StatusItemPort& port_;
  std::map<int, std::unique_ptr<MenuModel>> menus_;
  MenuModel* current_ = nullptr;
};

}  // namespace larkspur
