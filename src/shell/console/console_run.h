// The console monitor as a callable entry: the console-only program's main
// and the desktop program (with --console or without a display) both run it.
#pragma once

namespace skelmar {

/// Parses the options and runs the console monitor; returns the exit status.
int RunConsoleProgram(int argc, char** argv);

}  // namespace skelmar
