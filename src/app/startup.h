#pragma once

namespace kestrane {

// The program's start-up: the application object, the profile under "Tev", the parser, and the
// choice between command-line mode and the dialogs. Returns the process exit status: in
// command-line mode 0 when the operation reached its success message and 1 otherwise; 0 after the
// main dialog; 2 when the dialogs were asked for but no display answers (a DISPLAY that names a
// display that does not answer leaves the command line headless, as without one).
int run_kestrane(int argc, char** argv);

} // namespace kestrane
