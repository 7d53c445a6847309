// Converts one job with the velkan library: velkan_consumer ROOT INPUT OUTPUT
// [DEFINE]. ROOT is the table root (an installation's is
// PREFIX/share/velkan/root); the format store lies in ROOT unless
// VELKAN_STORE names another folder.
#include <cstdlib>
#include <iostream>

#include "engine/job.h"
#include "engine/version.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::cerr << "usage: velkan_consumer ROOT INPUT OUTPUT [DEFINE]\n";
    return 2;
  }
  velkan::JobOptions options;
  options.tableRoot = argv[1];
  options.inputFile = argv[2];
  options.outputFile = argv[3];
  if (argc == 5) options.defineFile = argv[4];
  if (const char* store = std::getenv("VELKAN_STORE")) options.storeDir = store;

  velkan::Session session;  // what carries over from job to job
  velkan::JobResult result = velkan::RunConversionJob(session, options);
  if (!result.message.empty()) std::cerr << result.message << "\n";
  for (const velkan::Note& note : result.notes) std::cerr << note.Text() << "\n";
  std::cerr << "converted with " << velkan::VersionLine() << "\n";
  return result.status == velkan::JobStatus::kCompleted ? 0 : 1;
}
