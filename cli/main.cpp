#include "cli/command_line.h"

int main(int argc, char** argv) { return verbatra::run_command_line(argc, argv); }
