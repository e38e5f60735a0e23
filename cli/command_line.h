#pragma once

namespace verbatra {

// The verbatra command. Returns the exit status: 0 every file converted,
// 3 some file refused or not converted, 1 a fatal stop, 2 a usage error.
int run_command_line(int argc, char** argv);

}  // namespace verbatra
