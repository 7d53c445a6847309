// From the dialog's settings to the options of a conversion job.
#pragma once

#include <string>

#include "app/settings.h"
#include "engine/job.h"

namespace velkan::app {

// The table root a job uses: the Root setting when the user set one, else
// VELKAN_ROOT when it is set and not empty, else the default root of
// engine/job_places.h (the build tree's or the installation's sample root).
std::string ChooseTableRoot(const std::string& rootSetting);

// The job the settings describe: the four paths, the three options, the
// table root of ChooseTableRoot(), the format store of ChooseStoreDir() (the
// user's state directory while the root is the bundled one; `noStorePlace`
// when there is none) and MTBL as the environment holds it now.
// The progress callback is left empty.
JobOptions JobOptionsFor(const Settings& s);

}  // namespace velkan::app
