// `velkan tables`: dump, build and check table files.
#pragma once

namespace velkan::cli {

// Runs `velkan tables SUBCOMMAND ...` with the arguments after "tables".
// Returns the exit status: 0 success, 1 a failure (or, for check, a table
// missing or malformed), 2 bad usage.
int TablesCommand(int argc, char** argv);

}  // namespace velkan::cli
