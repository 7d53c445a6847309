// The table root used when neither --root nor VELKAN_ROOT names one.
#pragma once

#include <string>

namespace velkan {

// The sample table root of this build or installation.
std::string DefaultTableRoot();

}  // namespace velkan
