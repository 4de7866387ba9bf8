// Alerts as modal GtkMessageDialogs.
#include <gtk/gtk.h>

#include "platform/gtk/gtk_desktop_impl.h"

namespace larkspur {
namespace {

GtkWidget* iconFor(const AlertSpec& spec) {
  switch (spec.icon) {
    case AlertIcon::Note:
      return gtk_image_new_from_icon_name("dialog-information", GTK_ICON_SIZE_DIALOG);
    case AlertIcon::Stop:
      return gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    case AlertIcon::Caution:
      return gtk_image_new_from_icon_name("dialog-warning", GTK_ICON_SIZE_DIALOG);
    case AlertIcon::Custom:
      if (spec.customIcon) {
        if (GdkPixbuf* pixels = pixbufAtPointSize(*spec.customIcon)) {
          GtkWidget* image = gtk_image_new_from_pixbuf(pixels);
          g_object_unref(pixels);
          return image;
        }
      }
      return nullptr;
    case AlertIcon::Application: {
      if (const char* name = gtk_window_get_default_icon_name())
        return gtk_image_new_from_icon_name(name, GTK_ICON_SIZE_DIALOG);
      // Not installed: the image the desktop loaded at start-up.
      GList* icons = gtk_window_get_default_icon_list();
      GtkWidget* image = nullptr;
      if (icons) {
        int size = 48;
        gtk_icon_size_lookup(GTK_ICON_SIZE_DIALOG, &size, nullptr);
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(GDK_PIXBUF(icons->data), size, size,
                                                    GDK_INTERP_BILINEAR);
        image = gtk_image_new_from_pixbuf(scaled);
        g_object_unref(scaled);
      }
      g_list_free(icons);
      return image;
    }
  }
  return nullptr;
}

}  // namespace

int GtkDesktop::runAlert(const AlertSpec& spec) {
  // The session asked us to end: the pending Quit comes before any question.
  if (impl_->terminationRequested) return -1;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                             GTK_BUTTONS_NONE, "%s",
                                             toUtf8(spec.message).c_str());
  if (!spec.informative.empty())
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             toUtf8(spec.informative).c_str());
  if (GtkWidget* icon = iconFor(spec)) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), icon);
#pragma GCC diagnostic pop
    gtk_widget_show(icon);
  }
  // The answer is the button's index; GTK's own negative responses mean the
  // dialog was dismissed without one.
  if (spec.buttons.empty()) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", 0);
  } else {
    for (std::size_t i = 0; i < spec.buttons.size(); ++i)
      gtk_dialog_add_button(GTK_DIALOG(dialog), toUtf8(spec.buttons[i]).c_str(),
                            static_cast<int>(i));
  }
  int count = spec.buttons.empty() ? 1 : static_cast<int>(spec.buttons.size());
  // As in windows: a click leaves the focus, Return presses the default.
  for (int i = 0; i < count; ++i) {
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), i);
    gtk_widget_set_focus_on_click(button, FALSE);
    gtk_widget_set_receives_default(button, FALSE);
  }
  if (spec.defaultButton >= 0 && spec.defaultButton < count)
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), spec.defaultButton);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  impl_->runningAlerts.push_back(dialog);
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  std::erase(impl_->runningAlerts, dialog);
  gtk_widget_destroy(dialog);
  return response >= 0 && response < count ? response : -1;
}

}  // namespace larkspur
