#include <gtk/gtk.h>
#include <signal.h>

#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

using GtkAlerts = GtkDesktopTest;

// Acts as the user once the alert is up: answers `response` and records the
// dialog's texts and buttons.
struct AlertUser {
  int response;
  std::string primary, secondary;
  std::vector<std::string> buttons;
  bool answered = false;
};

gboolean answerWhenShown(gpointer data) {
  auto* user = static_cast<AlertUser*>(data);
  GList* all = gtk_window_list_toplevels();
  GtkWidget* dialog = nullptr;
  for (GList* l = all; l; l = l->next)
    if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
      dialog = GTK_WIDGET(l->data);
  g_list_free(all);
  if (!dialog) return G_SOURCE_CONTINUE;
  gchar *text = nullptr, *secondary = nullptr;
  g_object_get(dialog, "text", &text, "secondary-text", &secondary, nullptr);
  user->primary = text ? text : "";
  user->secondary = secondary ? secondary : "";
  g_free(text);
  g_free(secondary);
  for (int i = 0; i < 4; ++i) {
    GtkWidget* b = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), i);
    if (b) user->buttons.push_back(gtk_button_get_label(GTK_BUTTON(b)));
  }
  user->answered = true;
  gtk_dialog_response(GTK_DIALOG(dialog), user->response);
  return G_SOURCE_REMOVE;
}

TEST_F(GtkAlerts, AnswersTheIndexOfThePressedButton) {
  AlertUser user{1, {}, {}, {}};
  g_timeout_add(10, answerWhenShown, &user);
  AlertSpec spec;
  spec.message = u"Spotify is not installed";
  spec.informative = u"Install it first.";
  spec.icon = AlertIcon::Caution;
  spec.buttons = {u"Quit", u"Continue"};
  EXPECT_EQ(desktop->runAlert(spec), 1);
  ASSERT_TRUE(user.answered);
  EXPECT_EQ(user.primary, "Spotify is not installed");
  EXPECT_EQ(user.secondary, "Install it first.");
  EXPECT_EQ(user.buttons, (std::vector<std::string>{"Quit", "Continue"}));
}

TEST_F(GtkAlerts, SingleDefaultButtonAnswersZeroAndDismissalAnswersMinusOne) {
  Image icon;
  icon.width = icon.height = 8;
  icon.pointWidth = icon.pointHeight = 64;
  icon.rgba.assign(8 * 8 * 4, 255);
  AlertSpec about;
  about.message = u"Larkspur";
  about.icon = AlertIcon::Custom;
  about.customIcon = &icon;
  AlertUser ok{0, {}, {}, {}};
  g_timeout_add(10, answerWhenShown, &ok);
  EXPECT_EQ(desktop->runAlert(about), 0);
  EXPECT_EQ(ok.buttons, (std::vector<std::string>{"OK"}));

  AlertUser closer{GTK_RESPONSE_DELETE_EVENT, {}, {}, {}};
  g_timeout_add(10, answerWhenShown, &closer);
  EXPECT_EQ(desktop->runAlert(about), -1);
}

// Raises SIGTERM once an alert is up; answers 0 after a while so that a
// dialog the signal fails to close ends the test instead of hanging it.
gboolean terminateWhenShown(gpointer data) {
  auto* polls = static_cast<int*>(data);
  GList* all = gtk_window_list_toplevels();
  GtkWidget* dialog = nullptr;
  for (GList* l = all; l; l = l->next)
    if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
      dialog = GTK_WIDGET(l->data);
  g_list_free(all);
  if (!dialog) return G_SOURCE_CONTINUE;
  if ((*polls)++ == 0) {
    raise(SIGTERM);
    return G_SOURCE_CONTINUE;
  }
  if (*polls > 300) {
    gtk_dialog_response(GTK_DIALOG(dialog), 0);
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

TEST_F(GtkAlerts, TerminationSignalDismissesTheRunningAlertAndQueuesQuit) {
  int polls = 0;
  guint watch = g_timeout_add(10, terminateWhenShown, &polls);
  AlertSpec spec;
  spec.message = u"There is a problem with the network";
  spec.buttons = {u"Yes", u"No"};
  EXPECT_EQ(desktop->runAlert(spec), -1);
  EXPECT_LT(polls, 300);
  g_source_remove(watch);
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), MenuObjectQuit);
  EXPECT_EQ(queue.currentWindow(), WindowApplication);
  // The Quit is pending: a later alert does not hold it back.
  EXPECT_EQ(desktop->runAlert(spec), -1);
}

}  // namespace
}  // namespace larkspur::test
