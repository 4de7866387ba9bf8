#pragma once
// The program's options. Each one answers and ends the process: none opens
// a display, starts the player or touches the settings (--command only asks
// the running program to act), so they are handled before anything else
// starts.

namespace larkspur {

// Acts on the arguments after the program name (there is at least one) and
// answers the exit status: 0 done, 1 failed (said on standard error), 2 not
// understood (the usage on standard error).
int runCommandLine(int argc, char** argv);

}  // namespace larkspur
