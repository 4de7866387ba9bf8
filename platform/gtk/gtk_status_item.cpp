// The status item port over the tray item of our own (platform/tray). The
// item lives from the first build to the end of the process: a rebuild's
// removal only marks it, and what the new build sets replaces what changed.
#include "platform/gtk/gtk_desktop_impl.h"
#include "platform/tray/tray_item.h"

namespace larkspur {

void GtkDesktop::createStatusItem() {
  Impl& s = *impl_;
  if (!s.tray) {
    s.tray = std::make_unique<TrayItem>(s.queue, [&s] { s.fireHeldTimers(); });
    s.tray->setIconFolder(s.iconFolder);
    s.tray->setMouseActions(s.mouseActions);
  }
  s.statusItemShown = true;
}

void GtkDesktop::removeStatusItem() { impl_->statusItemShown = false; }

bool GtkDesktop::hasStatusItem() const { return impl_->statusItemShown; }

void GtkDesktop::setStatusImage(const Image* image, bool templateImage) {
  if (impl_->tray) impl_->tray->setImage(image, templateImage);
}

void GtkDesktop::setStatusTitle(const Text& title) {
  if (impl_->tray) impl_->tray->setLabel(toUtf8(title));
}

void GtkDesktop::setStatusToolTip(const Text& toolTip) {
  if (impl_->tray) impl_->tray->setToolTip(toUtf8(toolTip));
}

void GtkDesktop::setStatusMenu(const MenuModel* model) {
  if (impl_->tray) impl_->tray->setMenu(model);
}

void GtkDesktop::menuItemEnabledChanged(const MenuModel& model, std::int64_t id) {
  if (impl_->tray) impl_->tray->entryEnabledChanged(model, id);
}

void GtkDesktop::menuFreed(const MenuModel& model) {
  if (impl_->tray) impl_->tray->menuFreed(model);
}

void GtkDesktop::setStatusMouseActions(const StatusMouseActions& actions) {
  impl_->mouseActions = actions;
  if (impl_->tray) impl_->tray->setMouseActions(actions);
}

void GtkDesktop::setStatusIconFolder(const std::string& folder) {
  impl_->iconFolder = folder;
  if (impl_->tray) impl_->tray->setIconFolder(folder);
}

bool GtkDesktop::statusMenuOpen() const { return impl_->tray && impl_->tray->menuOpen(); }

}  // namespace larkspur
