// The least a GTK program with a one-second timer costs at rest: an X
// connection, the GTK main loop and a tick that does nothing. Run beside
// the program by scripts/figures, it tells how much of the program's idle
// figure is what this machine charges for waking up once a second.
#include <gtk/gtk.h>

namespace {
gboolean tick(gpointer) { return G_SOURCE_CONTINUE; }
}  // namespace

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) return 1;
  g_timeout_add(1000, tick, nullptr);
  gtk_main();
  return 0;
}
