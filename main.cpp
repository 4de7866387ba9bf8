#include "app/command_line.h"
#include "platform/endpoints.h"
#include "platform/real_program.h"

int main(int argc, char** argv) {
  if (argc > 1) return larkspur::runCommandLine(argc, argv);
  return larkspur::runRealProgram(larkspur::Endpoints{});
}
