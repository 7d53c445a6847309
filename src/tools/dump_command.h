// `velkan dump`: a readable listing of a code-word job.
#pragma once

namespace velkan::tools {

// Runs `velkan dump [--root DIR] JOB` with the arguments after "dump" and
// prints the listing. Returns 0, 1 when the job cannot be read, 2 for bad
// usage.
int DumpCommand(int argc, char** argv);

}  // namespace velkan::tools
