#include "app/job_setup.h"

#include <cstdlib>

#include "cli/default_root.h"
#include "driver/job_places.h"

namespace velkan::app {

std::string ChooseTableRoot(const std::string& rootSetting) {
  return velkan::ChooseTableRoot(rootSetting, DefaultTableRoot()).string();
}

JobOptions JobOptionsFor(const Settings& s) {
  JobOptions o;
  o.udfFile = s.udfFile;
  o.inputFile = s.inputFile;
  o.outputFile = s.outputFile;
  o.defineFile = s.defineFile;
  o.kumi = s.kumi;
  o.unit = s.unit;
  o.warning = s.warning;
  o.tableRoot = ChooseTableRoot(s.root);
  o.storeDir = ChooseStoreDir("", o.tableRoot, DefaultTableRoot());
  if (const char* mtbl = std::getenv("MTBL")) o.mtbl = mtbl;
  return o;
}

}  // namespace velkan::app
