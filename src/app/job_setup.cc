#include "app/job_setup.h"

#include <cstdlib>

#include "engine/job_places.h"

namespace velkan::app {

std::string ChooseTableRoot(const std::string& rootSetting) {
  return velkan::ChooseTableRoot(rootSetting, DefaultTableRoot()).path.string();
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
  o.inputEncoding = s.inputEncoding == 1 ? TextEncoding::kUtf8 : TextEncoding::kShiftJis;
  const Place defaultRoot = DefaultTableRoot();
  const Place root = velkan::ChooseTableRoot(s.root, defaultRoot);
  o.tableRoot = root.path;
  const Place store = ChooseStoreDir("", root, defaultRoot);
  o.storeDir = store.path;
  o.noStorePlace = store.rule == PlaceRule::kNowhere;
  if (const char* mtbl = std::getenv("MTBL")) o.mtbl = mtbl;
  return o;
}

}  // namespace velkan::app
