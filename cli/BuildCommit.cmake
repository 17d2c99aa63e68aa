# Writes the git commit the program is built from into OUTPUT as
# BRONTAFLEX_COMMIT, for brontaflex-cli --version. It runs at every build but
# rewrites the file only when the commit changes, so nothing is rebuilt for
# it otherwise. Outside a checkout, or without git, the commit is empty.
cmake_minimum_required(VERSION 3.25)

set(commit "")
if(EXISTS ${SOURCE_DIR}/.git)
  find_package(Git QUIET)
  if(GIT_FOUND)
    # The bare commit, never a tag: "-dirty" marks uncommitted changes. A
    # build as root of a checkout someone else owns trusts it, as the build
    # itself does, and leaves its index alone.
    execute_process(
      COMMAND ${GIT_EXECUTABLE} -c safe.directory=${SOURCE_DIR} --no-optional-locks
              -C ${SOURCE_DIR} describe --always --dirty --abbrev=12 --exclude=*
      OUTPUT_VARIABLE commit
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
      RESULT_VARIABLE failed)
    if(failed)
      set(commit "")
    endif()
  endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} @ONLY CONTENT
  "// Made at build time from the source's git checkout.\n#pragma once\n\n#define BRONTAFLEX_COMMIT \"@commit@\"\n")
