// The console-only build's program: the console monitor.
#include "shell/console/console_run.h"

int main(int argc, char** argv) { return skelmar::RunConsoleProgram(argc, argv); }
