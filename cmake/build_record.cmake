# Writes the build record (cmake -DSOURCE_DIR=... -DOUTPUT=... -P build_record.cmake), run at
# every build: when the sources are a git checkout of their own, its branch, latest tag, the
# commits since that tag (since the start without one), the commit's date and hash; and the
# time of the build. The file is rewritten only when the source-control state changed, so a
# build of unchanged sources compiles and links nothing again; the build time is then the time
# the first build of that state ran. SOURCE_DATE_EPOCH, when set, stands for "now".

set(has_git false)
set(branch "")
set(tag "")
set(ahead 0)
set(committed 0)
set(commit "")

find_program(GIT_PROGRAM git)
if(GIT_PROGRAM)
  execute_process(COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # A tree unpacked inside some other checkout is not that checkout.
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source_real)
  endif()
  if(NOT failed AND top STREQUAL source_real)
    macro(git_out var)
      execute_process(COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} ${ARGN}
                      OUTPUT_VARIABLE ${var} RESULT_VARIABLE git_failed
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(git_failed)
        set(${var} "")
      endif()
    endmacro()
    git_out(commit rev-parse HEAD)
    if(commit MATCHES "^[0-9a-f]+$")
      set(has_git true)
      git_out(branch rev-parse --abbrev-ref HEAD)
      if(branch STREQUAL "HEAD")
        set(branch "")
      endif()
      git_out(tag describe --tags --abbrev=0)
      if(tag STREQUAL "")
        git_out(ahead rev-list --count HEAD)
      else()
        git_out(ahead rev-list --count ${tag}..HEAD)
      endif()
      git_out(committed log -1 --format=%ct)
    else()
      set(commit "")
    endif()
  endif()
endif()
if(NOT ahead MATCHES "^[0-9]+$")
  set(ahead 0)
endif()
if(NOT committed MATCHES "^[0-9]+$")
  set(committed 0)
endif()

# C string literals: backslashes and double quotes escaped.
foreach(var branch tag)
  string(REPLACE "\\" "\\\\" ${var} "${${var}}")
  string(REPLACE "\"" "\\\"" ${var} "${${var}}")
endforeach()

set(state "${has_git} \"${branch}\" \"${tag}\" ${ahead} ${committed} \"${commit}\"")
set(built "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  string(FIND "${old}" "// state: ${state}\n" at)
  if(NOT at EQUAL -1 AND old MATCHES "\n    ([0-9]+),  // built")
    set(built ${CMAKE_MATCH_1})
  endif()
endif()
if(built STREQUAL "")
  string(TIMESTAMP built "%s" UTC)
endif()

set(text "// Written by cmake/build_record.cmake at build time.
// state: ${state}
#include \"core/system_object.h\"

namespace tav::system_object {

const BuildRecord build_record = {
    ${built},  // built
    ${has_git},
    \"${branch}\",
    \"${tag}\",
    ${ahead},
    ${committed},
    \"${commit}\",
};

}  // namespace tav::system_object
")
if(NOT text STREQUAL "${old}")
  file(WRITE ${OUTPUT} "${text}")
endif()
