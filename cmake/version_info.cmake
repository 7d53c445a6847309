# Writes the source file of the version (src/engine/version.h) at every build:
# the release from project(VERSION), and the git revision when the sources are
# a checkout of their own (not a tarball unpacked inside another repository).
# The file is rewritten only when its text changes, so the program is linked
# again only when the revision (or its "modified" mark) does.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... -P version_info.cmake
set(revision "")
find_package(Git QUIET)
if(GIT_FOUND)
  # No lock is taken: a build never writes to the repository.
  set(ENV{GIT_OPTIONAL_LOCKS} 0)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE top ERROR_QUIET
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" src)
  endif()
  if(rc EQUAL 0 AND top STREQUAL src)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --always --abbrev=12 --dirty=+
      WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE described ERROR_QUIET
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(rc EQUAL 0 AND NOT described STREQUAL "")
      if(described MATCHES "^(.*)\\+$")
        set(revision "git ${CMAKE_MATCH_1} modified")
      else()
        set(revision "git ${described}")
      endif()
    endif()
  endif()
endif()

set(text "// Written by cmake/version_info.cmake at build time; do not edit.
#include \"engine/version.h\"

namespace velkan {

const char* ReleaseVersion() { return \"${VERSION}\"; }

const char* SourceRevision() { return \"${revision}\"; }

std::string VersionLine() {
  std::string line = std::string(\"velkan \") + ReleaseVersion();
  if (SourceRevision()[0] != 0) line += std::string(\" (\") + SourceRevision() + \")\";
  return line;
}

}  // namespace velkan
")
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
