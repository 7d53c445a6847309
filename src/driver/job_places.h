// Where a job finds its tables and keeps its format store when the user names
// neither: the rule shared by the command line and the dialog.
#pragma once

#include <filesystem>
#include <string>

namespace velkan {

// The table root: `rootOption` when not empty, else $VELKAN_ROOT when set and
// not empty, else `bundledRoot` (the sample root of the build or install).
std::filesystem::path ChooseTableRoot(const std::string& rootOption, const std::filesystem::path& bundledRoot);

// The directory of the user-defined format store (its QDXFILES folder lies
// below it): `storeOption` when not empty, else $VELKAN_STORE when set and not
// empty, else $XDG_STATE_HOME/velkan (default ~/.local/state/velkan) when the
// table root is the bundled root, which may be read-only and is shared by
// everyone, else the table root itself. The job creates the directory when it is absent.
std::filesystem::path ChooseStoreDir(const std::string& storeOption, const std::filesystem::path& tableRoot,
                                     const std::filesystem::path& bundledRoot);

// The per-user state directory of velkan: $XDG_STATE_HOME/velkan, or
// $HOME/.local/state/velkan when XDG_STATE_HOME is not set or not absolute;
// "velkan-state" under the working directory when neither helps.
std::filesystem::path UserStateDir();

}  // namespace velkan
