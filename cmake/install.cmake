# Installation and packages.
#
#   cmake --install build [--prefix DIR]   programs in bin/, man pages in
#                                          share/man/man1/, README and examples
#                                          in share/doc/kovaconv/
#   cd build && cpack -G DEB               Debian package (installs under /usr)
#   cd build && cpack -G ZIP               zip of the same tree (Windows builds)
include(GNUInstallDirs)

# The sibling programs in tools/ are installed when their targets exist; the
# check waits until every CMakeLists has been read, so the order of the
# definitions does not matter.
function(KOVA_INSTALL_PROGRAMS)
  foreach(program IN ITEMS kovaconv kovagen kovainfo kova2vtk kova2csv)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL KOVA_INSTALL_PROGRAMS)

# The Python module, where the prefix's Python finds it (cmake/install_python.cmake).
if(TARGET kova)
  install(CODE "set(KOVA_MODULE \"$<TARGET_FILE:kova>\")\nset(KOVA_PYTHON_VERSION ${KOVA_PYTHON_VERSION})")
  install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/install_python.cmake)
endif()

file(GLOB KOVA_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.1)
if(WIN32)
  install(FILES ${KOVA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  # Man pages and the changelog compressed as Debian installs them: gzip -9,
  # no name or time stamp in the header, so every build makes the same bytes.
  find_program(KOVA_GZIP gzip REQUIRED)
  set(KOVA_GZIPPED)
  foreach(page IN LISTS KOVA_MAN_PAGES)
    get_filename_component(name ${page} NAME)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${name}.gz
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                       COMMAND ${KOVA_GZIP} -9nc ${page} > ${CMAKE_BINARY_DIR}/man/${name}.gz
                       DEPENDS ${page} VERBATIM)
    list(APPEND KOVA_GZIPPED ${CMAKE_BINARY_DIR}/man/${name}.gz)
  endforeach()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                     COMMAND ${KOVA_GZIP} -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
                     DEPENDS ${CMAKE_BINARY_DIR}/changelog VERBATIM)
  add_custom_target(compressed_docs ALL DEPENDS ${KOVA_GZIPPED} ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${KOVA_GZIPPED} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The answer files, the console session and the picture the README shows; the
# scripts work on a source tree and are left out, as are the demo's outputs.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.txt" PATTERN "*.png" PATTERN "out" EXCLUDE)

set(CPACK_PACKAGE_NAME kovaconv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kovaconv developers")
set(CPACK_PACKAGE_CONTACT "kovaconv developers <kovaconv@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts NU-KOVA groundwater results to restart, TECPLOT, ATLAS and FEMAP data")
# Below the summary, lines of at most 80 characters, as Debian's tools show them.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "kovaconv reads the binary result file of the NU-KOVA two-dimensional\n"
  "finite-element groundwater-flow analysis and writes restart data, a TECPLOT\n"
  "point file, the ATLAS mesh and result files or a FEMAP neutral file, driven\n"
  "by a question-and-answer dialogue or, for scripts, by its command line.\n"
  "kovagen writes sample result files, kovainfo tells what a result file holds,\n"
  "kova2vtk writes VTK files of every time step for ParaView, kova2csv writes\n"
  "results over time at nodes and points as CSV, and the Python module kova\n"
  "reads a result file into numpy arrays.")
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(NOT WIN32)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
# The library dependencies are read from the programs where dpkg-shlibdeps
# is there to do it; otherwise those of a Debian 12 build are given.
find_program(KOVA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KOVA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
endif()

# The module is built for one Python version and loads numpy.
if(TARGET kova)
  string(REGEX REPLACE "^3\\.([0-9]+)$" "\\1" KOVA_PYTHON_MINOR "${KOVA_PYTHON_VERSION}")
  math(EXPR KOVA_PYTHON_NEXT "${KOVA_PYTHON_MINOR} + 1")
  list(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
       "python3 (>= ${KOVA_PYTHON_VERSION}), python3 (<< 3.${KOVA_PYTHON_NEXT}), python3-numpy")
  list(JOIN CPACK_DEBIAN_PACKAGE_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
endif()

# A zip unpacks into one folder named after the package.
set(CPACK_ZIP_COMPONENT_INSTALL OFF)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
