# What scripts/check-layers.sh reads from a configured build folder: <build>/layer-links.tsv, one line per
# target as the build system has it after generation, its include path whole (with what its links bring),
# after a first line naming the source folder:
#   <target> TAB <source folder, relative to the repository> TAB <type> TAB <direct links> TAB <sources>
#   TAB <include folders>
# (lists separated by ';').

function(_vandrel_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _vandrel_collect_targets(${sub} sub_targets)
    list(APPEND targets ${sub_targets})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Called at the end of the top-level CMakeLists.txt, once every target exists.
function(vandrel_write_layer_links)
  _vandrel_collect_targets(${CMAKE_SOURCE_DIR} targets)
  set(lines "#source\t${CMAKE_SOURCE_DIR}\n")
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(folder ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${folder})
    if(type STREQUAL "INTERFACE_LIBRARY")
      set(links "$<TARGET_PROPERTY:${target},INTERFACE_LINK_LIBRARIES>")
      set(sources "")
      set(includes "$<TARGET_PROPERTY:${target},INTERFACE_INCLUDE_DIRECTORIES>")
    elseif(type MATCHES "LIBRARY|EXECUTABLE")
      set(links "$<TARGET_PROPERTY:${target},LINK_LIBRARIES>;$<TARGET_PROPERTY:${target},INTERFACE_LINK_LIBRARIES>")
      set(sources "$<TARGET_PROPERTY:${target},SOURCES>")
      set(includes "$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>")
    else()
      continue()
    endif()
    string(APPEND lines "${target}\t${folder}\t${type}\t${links}\t${sources}\t${includes}\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/layer-links.tsv CONTENT "${lines}")
endfunction()
