# Where an install puts the program's files (GNUInstallDirs, under CMAKE_INSTALL_PREFIX), and the paths from the
# installed program's folder to them, which the program uses to find its files (core/install_layout.cpp).
include(GNUInstallDirs)

set(VANDREL_INSTALL_RESOURCESDIR ${CMAKE_INSTALL_DATADIR}/vandrel)
set(VANDREL_INSTALL_HELPERSDIR ${CMAKE_INSTALL_LIBEXECDIR}/vandrel)
set(VANDREL_INSTALL_UDEVRULESDIR "lib/udev/rules.d" CACHE STRING "udev rules folder, under the prefix")
set(VANDREL_INSTALL_MODULESLOADDIR "lib/modules-load.d" CACHE STRING "modules-load.d folder, under the prefix")

# Relative paths between install folders; the prefix is a stand-in, only the relations count.
function(vandrel_relative_path out from to)
  file(RELATIVE_PATH path /prefix/${from} /prefix/${to})
  set(${out} ${path} PARENT_SCOPE)
endfunction()
vandrel_relative_path(VANDREL_BIN_TO_RESOURCES ${CMAKE_INSTALL_BINDIR} ${VANDREL_INSTALL_RESOURCESDIR})
vandrel_relative_path(VANDREL_BIN_TO_HELPERS ${CMAKE_INSTALL_BINDIR} ${VANDREL_INSTALL_HELPERSDIR})
vandrel_relative_path(VANDREL_HELPERS_TO_BIN ${VANDREL_INSTALL_HELPERSDIR} ${CMAKE_INSTALL_BINDIR})
vandrel_relative_path(VANDREL_BIN_TO_UDEV_RULES ${CMAKE_INSTALL_BINDIR} ${VANDREL_INSTALL_UDEVRULESDIR})

# A program run in place finds its resources through the build folder: share/vandrel there is the source tree's
# resources folder.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share)
file(CREATE_LINK ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/share/vandrel SYMBOLIC)
