#include <gtk/gtk.h>
#include <signal.h>

#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

using GtkAlerts = GtkDesktopTest;

constexpr int kRaiseSigterm = 1000;

// Acts as the user once the alert is up: records its texts and buttons
// ("primary|secondary|button|button…") and answers `response`; or raises
// SIGTERM, answering 0 only if the alert is still up 300 polls later, so that
// a failure ends the test instead of hanging it.
struct AlertUser {
  int response;
  std::string texts;
  int polls = 0;

  int run(GtkDesktop& desktop, const AlertSpec& spec) {
    guint source = g_timeout_add(10, [](gpointer data) -> gboolean {
      auto* user = static_cast<AlertUser*>(data);
      GtkDialog* dialog = nullptr;
      GList* all = gtk_window_list_toplevels();
      for (GList* l = all; l; l = l->next)
        if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) dialog = GTK_DIALOG(l->data);
      g_list_free(all);
      bool signalling = user->response == kRaiseSigterm;
      if (!dialog || (signalling && user->polls++ == 0 && raise(SIGTERM) == 0) || (signalling && user->polls <= 300))
        return G_SOURCE_CONTINUE;
      g_autofree gchar *text = nullptr, *secondary = nullptr;
      g_object_get(dialog, "text", &text, "secondary-text", &secondary, nullptr);
      user->texts = std::string(text ? text : "") + "|" + (secondary ? secondary : "");
      for (int i = 0; i < 4; ++i)
        if (GtkWidget* b = gtk_dialog_get_widget_for_response(dialog, i))
          user->texts += std::string("|") + gtk_button_get_label(GTK_BUTTON(b));
      gtk_dialog_response(dialog, signalling ? 0 : user->response);
      return G_SOURCE_CONTINUE;
    }, this);
    int answer = desktop.runAlert(spec);
    g_source_remove(source);
    return answer;
  }
};

// The pressed button's index, or -1 when the alert is closed; a termination
// signal closes the running alert and queues Quit, which a later alert does
// not hold back.
TEST_F(GtkAlerts, AnswersThePressedButtonAndGivesWayToATerminationSignal) {
  const AlertSpec spec{.message = u"Spotify is not installed", .informative = u"Install it first.",
                       .icon = AlertIcon::Caution, .buttons = {u"Quit", u"Continue"}};
  AlertUser second{1, {}}, closer{GTK_RESPONSE_DELETE_EVENT, {}}, signalled{kRaiseSigterm, {}};
  EXPECT_EQ(second.run(*desktop, spec), 1);
  EXPECT_EQ(second.texts, "Spotify is not installed|Install it first.|Quit|Continue");
  EXPECT_EQ(closer.run(*desktop, spec), -1);

  const Image icon{.width = 8, .height = 8, .rgba = std::vector<std::uint8_t>(8 * 8 * 4, 255), .pointWidth = 64, .pointHeight = 64};
  AlertUser ok{0, {}};
  EXPECT_EQ(ok.run(*desktop, {u"Larkspur", {}, AlertIcon::Custom, &icon, false, {}}), 0);
  EXPECT_EQ(ok.texts, "Larkspur||OK");

  EXPECT_EQ(signalled.run(*desktop, spec), -1);
  EXPECT_EQ(signalled.texts, "");  // closed by the signal, not by the fallback answer
  ASSERT_TRUE(waitForEvent(EventMenu));
  EXPECT_EQ(queue.currentObject(), MenuObjectQuit);
  EXPECT_EQ(queue.currentWindow(), WindowApplication);
  EXPECT_EQ(desktop->runAlert(spec), -1);
}

}  // namespace
}  // namespace larkspur::test
