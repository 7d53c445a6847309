#include "engine/batch_share.h"

#include "typo/definition_file.h"

namespace velkan {

BatchShare::BatchShare(const JobOptions& common)
    : tables(TablePaths(common.tableRoot, common.mtbl)), kept(common) {
  if (common.defineFile.empty()) return;
  definitionsRead = DefinitionFile::Read(common.defineFile, definitions, &definitionsFault);
}

const OutputFolder& BatchShare::FolderOf(const std::string& output) {
  std::lock_guard<std::mutex> lock(foldersMutex_);
  std::unique_ptr<OutputFolder>& folder = folders_[std::filesystem::path(output).parent_path()];
  if (!folder) folder = std::make_unique<OutputFolder>(OutputFolder::Of(output));
  return *folder;
}

}  // namespace velkan
