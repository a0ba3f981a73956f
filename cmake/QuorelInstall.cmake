# What `cmake --install` puts under the prefix (GNUInstallDirs layout):
#
#   bin/quorel                              the tool (with the data root ORVO_ROOT)
#   lib/libquorel_halvo.a                   the table library with its c_ entry points
#   lib/libquorel_dblib.a                   the DB client
#   lib/libquorel_pravel.a                  the access layer (over the DB client)
#   lib/libquorel_plat_clock.a              the clock seam the others wait through
#   include/halvo/c_tables.h                include/dblib/dblib.h
#   include/pravel/pravel.h                 include/pravel/pravel_fc.h (the twins)
#   lib/pkgconfig/quorel-<name>.pc          one module per library
#   lib/cmake/Quorel/                       find_package(Quorel): Quorel::<name>
#
# <name> is halvo, dblib, pravel or plat_clock (which has no header: only the
# others call it).  In the tree each of them is several
# static libraries that call each other in circles (the table library and
# its storage back ends, the DB client and its common layers); an outside
# link line cannot be trusted to repeat them (pkg-config drops repeated
# flags), so each is installed as one archive of the same object files, which
# resolves its own circles.  No object file is in two archives (configuring
# fails if one would be), so the archives can also be linked whole, into one
# shared library, say; their objects are position-independent for that.
# Only the headers above are installed; the installed package carries no
# path into the tree.  The archives are C++ but their headers are C: both
# the CMake targets and the pkg-config files name the C++ runtime (what the
# C++ compiler links beyond what the C compiler does), so that C programs
# link them.  The libraries of a sanitized build (QUOREL_SANITIZE) need the
# sanitizer runtimes, so that build's package adds the sanitizer link flags
# for its callers.
#
# GNUInstallDirs is included at the top level.
include(CMakePackageConfigHelpers)

# The installed libraries (each with what it links in the tree), their
# headers, and a line describing each for its pkg-config file.
set(QUOREL_PUBLIC_LIBS halvo dblib pravel plat_clock)
set(_quorel_headers_halvo lib/halvo/include/halvo/c_tables.h)
set(_quorel_headers_dblib ocs/dblib/include/dblib/dblib.h)
set(_quorel_headers_pravel pravel/include/pravel/pravel.h pravel/include/pravel/pravel_fc.h)
set(_quorel_about_halvo "Table library (row- and column-ordered binary, text and FITS tables) through its c_ entry points")
set(_quorel_about_dblib "DB client: login, wire protocol, results, conversions, localisation")
set(_quorel_about_pravel "Database access layer, with the twins of its calls")
set(_quorel_about_plat_clock "Clock seam of the table library and the DB client")

# pkg-config modules behind the imported targets the libraries may link.
set(QUOREL_OUTSIDE_MODULES CFITSIO SQLITE3)
set(_quorel_module_CFITSIO cfitsio)
set(_quorel_module_SQLITE3 sqlite3)

# The project's libraries that `target` links, itself included, directly or
# through others.
function(quorel_link_closure target out)
  set(todo ${target})
  set(libs)
  while(todo)
    list(POP_FRONT todo t)
    if(NOT t IN_LIST libs)
      list(APPEND libs ${t})
      get_target_property(deps ${t} INTERFACE_LINK_LIBRARIES)
      foreach(d IN LISTS deps)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" d "${d}")
        if(TARGET ${d} AND NOT d MATCHES "::")
          list(APPEND todo ${d})
        endif()
      endforeach()
    endif()
  endwhile()
  set(${out} ${libs} PARENT_SCOPE)
endfunction()

# What `target` links from outside the project: the names of the pkg-config
# imported targets (CFITSIO for PkgConfig::CFITSIO) and plain link items.
function(quorel_outside_links target modules_out flags_out)
  set(modules)
  set(flags)
  get_target_property(deps ${target} INTERFACE_LINK_LIBRARIES)
  foreach(d IN LISTS deps)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" d "${d}")
    if(d MATCHES "^PkgConfig::(.+)$")
      if(NOT CMAKE_MATCH_1 IN_LIST QUOREL_OUTSIDE_MODULES)
        message(FATAL_ERROR "${target} links ${d}: name its module in ${CMAKE_CURRENT_LIST_FILE}")
      endif()
      list(APPEND modules ${CMAKE_MATCH_1})
    elseif(TARGET ${d})
      if(d MATCHES "::")
        message(FATAL_ERROR "${target} links ${d}: teach ${CMAKE_CURRENT_LIST_FILE} to install with it")
      endif()
    elseif(d MATCHES "^-")
      list(APPEND flags ${d})
    elseif(d)
      list(APPEND flags -l${d})
    endif()
  endforeach()
  set(${modules_out} ${modules} PARENT_SCOPE)
  set(${flags_out} ${flags} PARENT_SCOPE)
endfunction()

# The C++ runtime as link items: what the C++ compiler links and the C
# compiler does not (for GCC: stdc++ and m).
set(QUOREL_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM QUOREL_CXX_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_DUPLICATES QUOREL_CXX_RUNTIME)

# One archive per installed library: the object files of what it links,
# less what another installed library it links already holds.  Each
# project library goes into one archive only.
set(_quorel_placed)
foreach(lib IN LISTS QUOREL_PUBLIC_LIBS)
  quorel_link_closure(${lib} _closure)
  set(_members ${_closure})
  set(_uses)
  foreach(other IN LISTS QUOREL_PUBLIC_LIBS)
    if(NOT other STREQUAL lib AND other IN_LIST _closure)
      list(APPEND _uses ${other})
      quorel_link_closure(${other} _theirs)
      list(REMOVE_ITEM _members ${_theirs})
    endif()
  endforeach()
  foreach(m IN LISTS _members)
    if(m IN_LIST _quorel_placed)
      message(FATAL_ERROR "${m} would be in two installed archives: let one installed "
                          "library link the other, or keep ${m} out of one of them")
    endif()
  endforeach()
  list(APPEND _quorel_placed ${_members})
  set(_modules_${lib})
  set(_flags_${lib})
  set(_uses_${lib} ${_uses})
  add_library(quorel_${lib} STATIC)
  foreach(m IN LISTS _members)
    target_sources(quorel_${lib} PRIVATE $<TARGET_OBJECTS:${m}>)
    quorel_outside_links(${m} _m _f)
    list(APPEND _modules_${lib} ${_m})
    list(APPEND _flags_${lib} ${_f})
  endforeach()
  list(REMOVE_DUPLICATES _modules_${lib})
  list(REMOVE_DUPLICATES _flags_${lib})
  set_target_properties(quorel_${lib} PROPERTIES EXPORT_NAME ${lib} LINKER_LANGUAGE CXX)
  target_include_directories(quorel_${lib} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  foreach(u IN LISTS _uses)
    target_link_libraries(quorel_${lib} INTERFACE quorel_${u})
  endforeach()
  foreach(m IN LISTS _modules_${lib})
    target_link_libraries(quorel_${lib} INTERFACE PkgConfig::${m})
  endforeach()
  target_link_libraries(quorel_${lib} INTERFACE ${_flags_${lib}} ${QUOREL_CXX_RUNTIME})
  if(QUOREL_SANITIZE)
    target_link_options(quorel_${lib} INTERFACE ${QUOREL_SANITIZE_LINK})
  endif()
  if(_quorel_headers_${lib})
    install(FILES ${_quorel_headers_${lib}} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${lib})
  endif()
endforeach()

install(TARGETS quorel_installed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
list(TRANSFORM QUOREL_PUBLIC_LIBS PREPEND quorel_ OUTPUT_VARIABLE _quorel_archives)
install(TARGETS ${_quorel_archives} EXPORT QuorelTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The CMake package: the targets, and the outside modules found again
# through pkg-config on the caller's side.
set(QUOREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorel)
install(EXPORT QuorelTargets NAMESPACE Quorel:: DESTINATION ${QUOREL_CMAKE_DIR})
set(_quorel_all_modules)
foreach(lib IN LISTS QUOREL_PUBLIC_LIBS)
  list(APPEND _quorel_all_modules ${_modules_${lib}})
endforeach()
list(REMOVE_DUPLICATES _quorel_all_modules)
set(QUOREL_DEPENDENCY_CHECKS)
if(_quorel_all_modules)
  string(APPEND QUOREL_DEPENDENCY_CHECKS
         "include(CMakeFindDependencyMacro)\nfind_dependency(PkgConfig)\n")
endif()
foreach(var IN LISTS _quorel_all_modules)
  set(m ${_quorel_module_${var}})
  string(APPEND QUOREL_DEPENDENCY_CHECKS
         "if(NOT TARGET PkgConfig::${var})\n"
         "  pkg_check_modules(${var} QUIET IMPORTED_TARGET ${m})\n"
         "endif()\n"
         "if(NOT TARGET PkgConfig::${var})\n"
         "  set(Quorel_FOUND FALSE)\n"
         "  set(Quorel_NOT_FOUND_MESSAGE \"Quorel needs the pkg-config module ${m}\")\n"
         "  return()\n"
         "endif()\n")
endforeach()
configure_package_config_file(cmake/QuorelConfig.cmake.in ${PROJECT_BINARY_DIR}/QuorelConfig.cmake
                              INSTALL_DESTINATION ${QUOREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorelConfig.cmake ${PROJECT_BINARY_DIR}/QuorelConfigVersion.cmake
        DESTINATION ${QUOREL_CMAKE_DIR})

# The pkg-config files.  They find the prefix from their own place, so the
# prefix may be chosen at install time.  The C++ runtime is named in Libs,
# not Libs.private, for callers that link with a C compiler: the libraries
# are installed only as archives, so every link is a static one.
list(TRANSFORM QUOREL_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE _quorel_runtime_flags)
file(RELATIVE_PATH _quorel_pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" _quorel_pc_up "${_quorel_pc_up}")
set(PC_PREFIX "\${pcfiledir}/${_quorel_pc_up}")
foreach(lib IN LISTS QUOREL_PUBLIC_LIBS)
  set(PC_NAME quorel-${lib})
  set(PC_ABOUT "${_quorel_about_${lib}}")
  set(_requires)
  foreach(u IN LISTS _uses_${lib})
    list(APPEND _requires quorel-${u})
  endforeach()
  foreach(m IN LISTS _modules_${lib})
    list(APPEND _requires ${_quorel_module_${m}})
  endforeach()
  list(JOIN _requires ", " PC_REQUIRES)
  set(_libs -L\${libdir} -lquorel_${lib} ${_flags_${lib}} ${_quorel_runtime_flags})
  if(QUOREL_SANITIZE)
    list(APPEND _libs ${QUOREL_SANITIZE_LINK})
  endif()
  list(JOIN _libs " " PC_LIBS)
  configure_file(cmake/quorel.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${PC_NAME}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${PC_NAME}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
