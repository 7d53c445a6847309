// The version of this build of velkan.
#pragma once

#include <string>

namespace velkan {

// The release, the version number the project declares ("3.0.0").
const char* ReleaseVersion();

// The source revision the build was made from, when it was made from a git
// checkout: the commit ("git 1a2b3c4d5e6f", or what `git describe` names
// after a tag), with " modified" when the checkout had uncommitted changes at
// build time. Empty when the sources are no checkout (a tarball) or git was
// not at hand. Taken again at every build, so it never names an older commit.
const char* SourceRevision();

// The line `velkan --version` prints: "velkan 3.0.0", followed by
// " (git 1a2b3c4d5e6f)" when the revision is known.
std::string VersionLine();

}  // namespace velkan
