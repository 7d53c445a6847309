// Where a job finds its tables and keeps its format store when the user names
// neither: the rules shared by the command line and the dialog.
//
// The table root, first rule that gives one:
//   1. the root the user names (--root DIR, the dialog's Root setting);
//   2. $VELKAN_ROOT when set and not empty;
//   3. the build tree's sample root, when the program runs from a build tree:
//      the program lies in BUILD/bin and BUILD/root holds qdxfiles;
//   4. the site's root, /etc/velkan/root, when that directory exists: the
//      tables a site brings in place of the sample, for every installation
//      on the machine;
//   5. the installation's sample root, DATADIR/velkan/root found from where
//      the program lies (PREFIX/bin/velkan gives PREFIX/share/velkan/root), so
//      an installation can be moved as a whole.
// Rules 3 to 5 give the shared roots: read-only for most users, so their
// format store lies in the user's state directory.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "io/note.h"

namespace velkan {

// The rule that chose a place.
enum class PlaceRule {
  kNamed,         // named by the user (an option, an argument, a setting)
  kEnvironment,   // $VELKAN_ROOT or $VELKAN_STORE
  kBuildTree,     // the sample root of the build tree the program runs from
  kSiteRoot,      // the site's root, /etc/velkan/root
  kInstallation,  // the sample root of the installation the program belongs to
  kUserState,     // the store in the user's state directory, the root being shared
  kBesideTables,  // the store in the table root itself
  kNowhere,       // no store: the root is shared and the user has no state directory
};

// A directory and the rule that chose it.
struct Place {
  std::filesystem::path path;
  PlaceRule rule = PlaceRule::kNamed;
};

// The program's own file, as the system knows it (/proc/self/exe, links
// resolved); empty when it cannot be read.
std::filesystem::path ProgramFile();

// The root of rules 3 to 5 for a program at `program` with the site root
// `siteRoot` (empty: none). An empty `program` (its place unknown, as without
// /proc) gives the site root when it exists, else the first that exists of
// the installation's root under the DATADIR the build was configured for,
// /usr/share/velkan/root and /usr/local/share/velkan/root (else the first).
Place FindDefaultTableRoot(const std::filesystem::path& program, const std::filesystem::path& siteRoot);

// The site's root of rule 4.
inline constexpr const char* kSiteTableRoot = "/etc/velkan/root";

// FindDefaultTableRoot() for this program and the site's root.
Place DefaultTableRoot();

// The table root: `rootOption` when not empty, else $VELKAN_ROOT when set and
// not empty, else `defaultRoot`.
Place ChooseTableRoot(const std::string& rootOption, const Place& defaultRoot);

// The directory of the user-defined format store (its QDXFILES folder lies
// below it): `storeOption` when not empty, else $VELKAN_STORE when set and not
// empty, else UserStateDir() when the table root is a shared root (chosen by
// rule 3 to 5, or the same directory as `defaultRoot`), which may be
// read-only and is used by everyone, else the table root itself. A shared
// root and no state directory give no place (rule kNowhere, an empty path):
// the store is never made in some folder that happens to be at hand, and a
// conversion is refused with NoStorePlaceMessage(). The job creates the
// directory when it is absent.
Place ChooseStoreDir(const std::string& storeOption, const Place& tableRoot, const Place& defaultRoot);

// The per-user state directory of velkan: $XDG_STATE_HOME/velkan, or
// $HOME/.local/state/velkan when XDG_STATE_HOME is not set or not absolute;
// nothing when HOME is not an absolute path either.
std::optional<std::filesystem::path> UserStateDir();

// What is said when ChooseStoreDir finds no place for the store (UTF-8).
Note NoStorePlaceMessage();

}  // namespace velkan
