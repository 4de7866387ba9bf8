// Windows as GtkWindows with a GtkLayout content area, so controls sit at the
// absolute frames the logic gives them and the window keeps its own size: a
// control reaching past the edge is cut there rather than widening it.
#include <gtk/gtk.h>

#include <cmath>

#include "platform/gtk/gtk_desktop_impl.h"

namespace larkspur {
namespace {

constexpr std::uint32_t kInvisible = 0x01;
constexpr std::uint32_t kCloseButton = 0x04;
constexpr std::uint32_t kCentred = 0x40;

struct WindowLink {
  GtkDesktop::Impl* impl;
  std::int64_t number;
};

struct ControlLink {
  GtkDesktop::Impl* impl;
  std::int64_t window;
  std::int64_t control;
};

gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  auto* link = static_cast<WindowLink*>(data);
  // The window stays open until the program closes it.
  link->impl->queue.enqueue(EventCloseRequest, link->number, link->number, 0);
  return TRUE;
}

void onClicked(GtkButton*, gpointer data) {
  auto* link = static_cast<ControlLink*>(data);
  link->impl->queue.enqueue(EventControl, link->control, link->window, 0);
}

template <typename Link>
void freeLink(gpointer data, GClosure*) {
  delete static_cast<Link*>(data);
}

int points(double v) { return std::max(0, static_cast<int>(std::lround(v))); }

// Frames are laid out in points of a 72-dpi screen, so fonts are sized in
// pixels too; point sizes would grow by a third at 96 dpi and spill out of
// their frames. Buttons and entries also lose GTK's generous padding and
// minimum height so a 22-point button fits its frame.
void applyFont(GtkWidget* widget, const ControlSpec& spec) {
  std::string css = "* { font-size: " + std::to_string(points(spec.font.size)) + "px;";
  if (spec.font.bold) css += " font-weight: bold;";
  if (spec.kind == ControlKind::Button || spec.kind == ControlKind::ShortcutField)
    css += " min-height: 0; padding-top: 0; padding-bottom: 0;";
  css += " }";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                 GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

void styleLabel(GtkWidget* label, const ControlSpec& spec) {
  PangoAttrList* attrs = pango_attr_list_new();
  if (spec.textColour >= 0) {
    auto channel = [&](int shift) {
      return static_cast<guint16>(((spec.textColour >> shift) & 0xFF) * 257);
    };
    pango_attr_list_insert(attrs, pango_attr_foreground_new(channel(16), channel(8), channel(0)));
  }
  gtk_label_set_attributes(GTK_LABEL(label), attrs);
  pango_attr_list_unref(attrs);
  bool centre = spec.align == Align::Center;
  gtk_label_set_xalign(GTK_LABEL(label), centre ? 0.5f : 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_justify(GTK_LABEL(label), centre ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);  // wrap at the frame, not at a guess
}

void showImage(GtkControl& c, const Image* image) {
  GdkPixbuf* pixels = image ? pixbufAtPointSize(*image) : nullptr;
  gtk_image_set_from_pixbuf(GTK_IMAGE(c.widget), pixels);
  if (!pixels) return;
  // Shown at its display size, with the frame's few points around it.
  int w = gdk_pixbuf_get_width(pixels), h = gdk_pixbuf_get_height(pixels);
  g_object_unref(pixels);
  c.frame.width = w + 4;
  c.frame.height = h + 4;
  gtk_widget_set_size_request(c.outer, w + 4, h + 4);
}

GtkControl makeControl(GtkDesktop::Impl* impl, std::int64_t window, std::int64_t id,
                       const ControlSpec& spec) {
  GtkControl c;
  c.kind = spec.kind;
  c.frame = spec.frame;
  std::string text = toUtf8(spec.text);
  switch (spec.kind) {
    case ControlKind::Label:
      c.widget = c.outer = gtk_label_new(text.c_str());
      styleLabel(c.widget, spec);
      break;
    case ControlKind::Button: {
      c.widget = c.outer = gtk_button_new_with_label(text.c_str());
      g_signal_connect_data(c.widget, "clicked", G_CALLBACK(onClicked),
                            new ControlLink{impl, window, id}, freeLink<ControlLink>,
                            GConnectFlags(0));
      if (spec.isDefault) gtk_widget_set_can_default(c.widget, TRUE);
      // A click leaves the focus where it was, and Return (GTK's activation of
      // the default) presses the window's default button even when this one
      // has the focus.
      gtk_widget_set_focus_on_click(c.widget, FALSE);
      gtk_widget_set_receives_default(c.widget, FALSE);
      break;
    }
    case ControlKind::ImageView:
      c.widget = gtk_image_new();
      gtk_widget_set_halign(c.widget, GTK_ALIGN_START);
      gtk_widget_set_valign(c.widget, GTK_ALIGN_START);
      c.outer = gtk_frame_new(nullptr);
      gtk_frame_set_shadow_type(GTK_FRAME(c.outer),
                                spec.groovedFrame ? GTK_SHADOW_ETCHED_IN : GTK_SHADOW_NONE);
      gtk_container_add(GTK_CONTAINER(c.outer), c.widget);
      break;
    case ControlKind::ShortcutField:
      c.widget = c.outer = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(c.widget), text.c_str());
      gtk_entry_set_placeholder_text(GTK_ENTRY(c.widget), toUtf8(spec.placeholder).c_str());
      gtk_entry_set_alignment(GTK_ENTRY(c.widget), spec.align == Align::Center ? 0.5f : 0.0f);
      gtk_entry_set_width_chars(GTK_ENTRY(c.widget), 0);  // the frame's width, not GTK's minimum
      break;
  }
  if (spec.kind != ControlKind::ImageView) applyFont(c.widget, spec);
  gtk_widget_set_size_request(c.outer, points(spec.frame.width), points(spec.frame.height));
  if (spec.kind == ControlKind::ImageView && spec.image) showImage(c, spec.image);
  return c;
}

}  // namespace

GtkControl* GtkDesktop::Impl::control(std::int64_t window, std::int64_t id) {
  auto w = windows.find(window);
  if (w == windows.end()) return nullptr;
  auto c = w->second.controls.find(id);
  return c == w->second.controls.end() ? nullptr : &c->second;
}

const GtkControl* GtkDesktop::Impl::control(std::int64_t window, std::int64_t id) const {
  return const_cast<Impl*>(this)->control(window, id);
}

bool GtkDesktop::Impl::findShortcutField(GtkWidget* widget, std::int64_t* window,
                                         std::int64_t* controlId) const {
  for (const auto& [number, slot] : windows) {
    for (const auto& [id, c] : slot.controls) {
      if (c.kind == ControlKind::ShortcutField && c.widget == widget) {
        *window = number;
        *controlId = id;
        return true;
      }
    }
  }
  return false;
}

void GtkDesktop::Impl::destroyWindow(std::int64_t number) {
  auto it = windows.find(number);
  if (it == windows.end()) return;
  GtkWidget* window = it->second.window;
  windows.erase(it);
  gtk_widget_destroy(window);
}

bool GtkDesktop::openWindow(std::int64_t number, Rect content, const Text& title,
                            std::uint32_t options) {
  impl_->destroyWindow(number);
  GtkWindowSlot slot;
  slot.options = options;
  slot.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (!slot.window) return false;
  GtkWindow* window = GTK_WINDOW(slot.window);
  gtk_window_set_title(window, toUtf8(title).c_str());
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_deletable(window, (options & kCloseButton) != 0);
  if (options & kCentred) gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  else gtk_window_move(window, points(content.x), points(content.y));
  slot.content = gtk_layout_new(nullptr, nullptr);
  gtk_layout_set_size(GTK_LAYOUT(slot.content), points(content.width), points(content.height));
  gtk_widget_set_size_request(slot.content, points(content.width), points(content.height));
  gtk_container_add(GTK_CONTAINER(window), slot.content);
  g_signal_connect_data(slot.window, "delete-event", G_CALLBACK(onDeleteEvent),
                        new WindowLink{impl_.get(), number}, freeLink<WindowLink>,
                        GConnectFlags(0));
  impl_->windows[number] = std::move(slot);
  if (!(options & kInvisible)) {
    gtk_widget_show_all(GTK_WIDGET(window));
    gtk_window_present(window);
  }
  return true;
}

void GtkDesktop::closeWindow(std::int64_t number) {
  if (number == -1) {
    while (!impl_->windows.empty()) impl_->destroyWindow(impl_->windows.begin()->first);
    return;
  }
  impl_->destroyWindow(number);
}

void GtkDesktop::setStayOnTop(std::int64_t number, bool on) {
  auto it = impl_->windows.find(number);
  if (it != impl_->windows.end()) gtk_window_set_keep_above(GTK_WINDOW(it->second.window), on);
}

void GtkDesktop::hideMinimiseAndZoom(std::int64_t number) {
  auto it = impl_->windows.find(number);
  if (it == impl_->windows.end()) return;
  // Window managers give dialogs neither a minimise nor a maximise button;
  // those that still draw them honour the window's allowed functions.
  GtkWidget* window = it->second.window;
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_widget_realize(window);
  if (GdkWindow* gdk = gtk_widget_get_window(window))
    gdk_window_set_functions(gdk, GdkWMFunction(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
}

void GtkDesktop::addControl(std::int64_t window, std::int64_t controlId,
                            const ControlSpec& spec) {
  auto it = impl_->windows.find(window);
  if (it == impl_->windows.end()) return;
  removeControl(window, controlId);
  GtkControl c = makeControl(impl_.get(), window, controlId, spec);
  GtkWindowSlot& slot = it->second;
  gtk_layout_put(GTK_LAYOUT(slot.content), c.outer, points(spec.frame.x), points(spec.frame.y));
  if (!(slot.options & kInvisible)) gtk_widget_show_all(c.outer);
  if (spec.kind == ControlKind::Button && spec.isDefault) gtk_widget_grab_default(c.widget);
  // As on the original desktop, the first text field takes the keyboard when
  // its window does.
  if (spec.kind == ControlKind::ShortcutField && !gtk_window_get_focus(GTK_WINDOW(slot.window)))
    gtk_widget_grab_focus(c.widget);
  slot.controls[controlId] = c;
}

void GtkDesktop::removeControl(std::int64_t window, std::int64_t controlId) {
  auto it = impl_->windows.find(window);
  if (it == impl_->windows.end()) return;
  auto c = it->second.controls.find(controlId);
  if (c == it->second.controls.end()) return;
  GtkWidget* outer = c->second.outer;
  it->second.controls.erase(c);
  gtk_widget_destroy(outer);
}

void GtkDesktop::setControlText(std::int64_t window, std::int64_t controlId, const Text& text) {
  GtkControl* c = impl_->control(window, controlId);
  if (!c) return;
  std::string utf8 = toUtf8(text);
  switch (c->kind) {
    case ControlKind::Label: gtk_label_set_text(GTK_LABEL(c->widget), utf8.c_str()); break;
    case ControlKind::Button: gtk_button_set_label(GTK_BUTTON(c->widget), utf8.c_str()); break;
    case ControlKind::ShortcutField: gtk_entry_set_text(GTK_ENTRY(c->widget), utf8.c_str()); break;
    case ControlKind::ImageView: break;
  }
}

Text GtkDesktop::controlText(std::int64_t window, std::int64_t controlId) const {
  const GtkControl* c = impl_->control(window, controlId);
  if (!c) return {};
  const char* utf8 = nullptr;
  switch (c->kind) {
    case ControlKind::Label: utf8 = gtk_label_get_text(GTK_LABEL(c->widget)); break;
    case ControlKind::Button: utf8 = gtk_button_get_label(GTK_BUTTON(c->widget)); break;
    case ControlKind::ShortcutField: utf8 = gtk_entry_get_text(GTK_ENTRY(c->widget)); break;
    case ControlKind::ImageView: break;
  }
  return utf8 ? fromUtf8(utf8) : Text{};
}

void GtkDesktop::setControlImage(std::int64_t window, std::int64_t controlId, const Image* image) {
  GtkControl* c = impl_->control(window, controlId);
  if (c && c->kind == ControlKind::ImageView) showImage(*c, image);
}

void GtkDesktop::resetSelection(std::int64_t window, std::int64_t controlId) {
  GtkControl* c = impl_->control(window, controlId);
  if (!c || c->kind != ControlKind::ShortcutField) return;
  gtk_editable_select_region(GTK_EDITABLE(c->widget), 0, 0);
  gtk_editable_set_position(GTK_EDITABLE(c->widget), 0);
}

}  // namespace larkspur
