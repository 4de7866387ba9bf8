#include "platform/real_program.h"

#include <cstdio>

#include "app/app_controller.h"
#include "platform/command_service.h"
#include "platform/gtk/gtk_desktop.h"
#include "platform/http_request.h"
#include "platform/mpris/mpris_script_service.h"
#include "platform/process_launcher.h"
#include "platform/sound/pulse_sound.h"

namespace larkspur {

int runRealProgram(const Endpoints& endpoints) {
  EventQueue queue;
  // One instance at a time: a second would fight the first over the player
  // and the hotkeys. Without a session bus there is no one to ask, and the
  // tray item will say what is wrong.
  long otherPid = 0;
  std::unique_ptr<CommandService> commands = CommandService::claim(queue, &otherPid);
  if (!commands && otherPid > 0) {
    std::printf("Larkspur is already running (process %ld); not starting another.\n", otherPid);
    return 0;
  }
  std::string error;
  std::unique_ptr<GtkDesktop> desktop = GtkDesktop::create(queue, endpoints, &error);
  if (!desktop) {
    std::fprintf(stderr, "larkspur: %s\n", error.c_str());
    return 1;
  }
  MprisScriptService player(endpoints);
  CurlHttp http;
  ProcessLauncher launcher;
  PulseSound sound;
  AppController app(AppPorts{queue, *desktop, player, http, launcher, endpoints, &sound});
  app.start();
}

}  // namespace larkspur
