#include "engine/batch_share.h"

#include "typo/definition_file.h"

namespace velkan {

BatchShare::BatchShare(const JobOptions& common)
    : tables(TablePaths(common.tableRoot, common.mtbl)), kept(common) {
  if (common.defineFile.empty()) return;
  definitionsRead = DefinitionFile::Read(common.defineFile, definitions, &definitionsFault);
}

}  // namespace velkan
