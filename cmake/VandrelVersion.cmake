# The version every build reports and packages: the project's version and a build number that grows with each
# commit, the count of commits up to the one checked out. The program says "Vandrel 0.1.0 (build 42)", its
# package is version 0.1.0+42, and the package of a later commit sorts after it, so installing it replaces the
# older one.
#
# The number is read when the build is configured, and the configure step runs again when HEAD moves (a commit,
# a checkout), so a build folder never keeps an old number; it watches only git's record of HEAD, so
# it does not run again on other builds. A source tree without git history (a tarball) is built as build 0,
# which configure says; -DVANDREL_BUILD_NUMBER=<n> gives the number instead, here and with git.
#
# Sets VANDREL_APP_VERSION, VANDREL_BUILD_NUMBER and VANDREL_PACKAGE_VERSION.

# Build folders made before the number came from git kept "1" as a setting; a number given on the command line
# has no such help text.
get_property(vandrel_number_help CACHE VANDREL_BUILD_NUMBER PROPERTY HELPSTRING)
if(vandrel_number_help STREQUAL "Build number the program reports")
  unset(VANDREL_BUILD_NUMBER CACHE)
endif()

# The commit count of HEAD in source_dir (empty without git history of its own) and the files whose change means
# that HEAD moved: HEAD and the ref it names, or, while that ref is only packed, the folder git will write it into.
function(vandrel_git_build_number source_dir out_count out_watched)
  set(${out_count} "" PARENT_SCOPE)
  set(${out_watched} "" PARENT_SCOPE)
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  # A tree unpacked inside another one's work tree has no history of its own.
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${source_dir} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  file(REAL_PATH "${source_dir}" source_dir)
  if(NOT top OR NOT EXISTS "${top}")
    return()
  endif()
  file(REAL_PATH "${top}" top)
  if(NOT top STREQUAL source_dir)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${source_dir} rev-list --count HEAD RESULT_VARIABLE failed
                  OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed OR NOT count MATCHES "^[0-9]+$")
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${source_dir} rev-parse --is-shallow-repository
                  OUTPUT_VARIABLE shallow OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(shallow STREQUAL "true")
    message(WARNING "Vandrel: a shallow clone counts only the commits it has: build ${count} may sort before the "
                    "package of an earlier commit (fetch the whole history, or give -DVANDREL_BUILD_NUMBER=<n>)")
  endif()

  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${source_dir} symbolic-ref -q HEAD OUTPUT_VARIABLE ref
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(watched)
  foreach(path IN ITEMS HEAD ${ref})
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${source_dir} rev-parse --path-format=absolute --git-path ${path}
                    OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A packed ref has no file: the next commit writes one, into the nearest folder that is there.
    while(file AND NOT EXISTS "${file}")
      get_filename_component(file "${file}" DIRECTORY)
    endwhile()
    if(file)
      list(APPEND watched "${file}")
    endif()
  endforeach()
  set(${out_count} ${count} PARENT_SCOPE)
  set(${out_watched} "${watched}" PARENT_SCOPE)
endfunction()

set(VANDREL_APP_VERSION ${PROJECT_VERSION})
if(DEFINED CACHE{VANDREL_BUILD_NUMBER})
  if(NOT VANDREL_BUILD_NUMBER MATCHES "^[0-9]+$")
    message(FATAL_ERROR "VANDREL_BUILD_NUMBER is \"${VANDREL_BUILD_NUMBER}\": a build number is a whole number")
  endif()
else()
  vandrel_git_build_number(${PROJECT_SOURCE_DIR} VANDREL_BUILD_NUMBER vandrel_git_watched)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vandrel_git_watched})
  if(VANDREL_BUILD_NUMBER STREQUAL "")
    set(VANDREL_BUILD_NUMBER 0)
    message(STATUS "Vandrel: no git history in ${PROJECT_SOURCE_DIR}: this is build 0; give "
                   "-DVANDREL_BUILD_NUMBER=<n> for a package that replaces an earlier one")
  endif()
endif()
set(VANDREL_PACKAGE_VERSION ${VANDREL_APP_VERSION}+${VANDREL_BUILD_NUMBER})
message(STATUS "Vandrel ${VANDREL_APP_VERSION} build ${VANDREL_BUILD_NUMBER}, package ${VANDREL_PACKAGE_VERSION}")
