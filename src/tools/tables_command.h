// `velkan tables`: dump, build and check table files.
#pragma once

namespace velkan {
class TemporaryFiles;
}

namespace velkan::tools {

// Runs `velkan tables SUBCOMMAND ...` with the arguments after "tables".
// Returns the exit status: 0 success, 1 a failure (or, for check, a table
// missing or malformed), 2 bad usage. The temporary file of a table being
// built is recorded in `temporaries`.
int TablesCommand(int argc, char** argv, TemporaryFiles& temporaries);

}  // namespace velkan::tools
