// Pi-font character widths ("\qdxfiles\pifont.fil").
#pragma once

#include <array>
#include <cstdint>

#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

struct PiWidths {
  std::array<uint8_t, 1000> width{};  // byte n: width of pi character n
};

// Clears the widths and reads up to 1000 bytes of "\qdxfiles\pifont.fil".
// The file is opened for reading only. Returns 0, or -1 when it cannot be
// opened or read; `fault` (if given) then names it and says why.
int16_t LoadPiFontFile(PiWidths& pi, const TablePaths& paths, TableFault* fault = nullptr);

}  // namespace velkan
