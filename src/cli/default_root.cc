#include "cli/default_root.h"

namespace velkan {

std::string DefaultTableRoot() { return VELKAN_DEFAULT_ROOT; }

}  // namespace velkan
