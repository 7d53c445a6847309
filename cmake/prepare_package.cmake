# Run by cpack before it makes the packages (CPACK_PRE_BUILD_SCRIPTS), on the
# staged trees: the manual pages are compressed with gzip -9n, and the programs
# and the static library lose their debugging sections and the compiler's
# notes, as Debian keeps them. `cmake --install`
# leaves both as they are.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file ${staged})
  if(file MATCHES "/man/man[1-9]/[^/]+\\.[1-9]$")
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE rc)
  elseif(file MATCHES "/bin/[^/]+$")
    # Already stripped by cpack; the compiler's notes go too.
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${file}" RESULT_VARIABLE rc)
  elseif(file MATCHES "\\.a$")
    execute_process(COMMAND strip --strip-debug --remove-section=.comment --remove-section=.note
                            --enable-deterministic-archives "${file}" RESULT_VARIABLE rc)
  else()
    continue()
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "preparing ${file} for the package failed")
  endif()
endforeach()
