# What `cmake --install` gives a user: the library as Mivora::Mivora with its CMake
# package files, mivora.pc for pkg-config, the headers with MivoraVersion.h, and the
# man page of the command.
#
# The dependencies written into MivoraConfig.cmake and mivora.pc are read from the
# library's own link list when the project is configured, so a library added with
# target_link_libraries(mivora PRIVATE ...) reaches both files without further
# work: PkgConfig::X targets become pkg_check_modules calls and Requires.private
# modules, other imported targets Pkg::Target become find_dependency(Pkg) and a -l
# flag in Libs.private. Include this file after every target_link_libraries on
# the library.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MIVORA_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Mivora)

# mivora_library_flag(FILE OUT): the linker flags naming the library FILE
# ("/usr/lib/x86_64-linux-gnu/libjpeg.so" -> "-ljpeg"; a -L flag when the folder
# is not one the linker searches anyway).
function(mivora_library_flag file out)
  if(file MATCHES "^-")
    set(${out} "${file}" PARENT_SCOPE)
    return()
  endif()
  if(NOT IS_ABSOLUTE "${file}")
    set(${out} "-l${file}" PARENT_SCOPE)
    return()
  endif()
  get_filename_component(dir "${file}" DIRECTORY)
  get_filename_component(name "${file}" NAME)
  string(REGEX REPLACE "^lib" "" name "${name}")
  string(REGEX REPLACE "\\.(so|a|dylib)(\\..*)?$" "" name "${name}")
  set(flag "-l${name}")
  list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "${dir}" known)
  if(known EQUAL -1)
    set(flag "-L${dir} ${flag}")
  endif()
  set(${out} "${flag}" PARENT_SCOPE)
endfunction()

# mivora_imported_location(TARGET OUT): the file of an imported library target.
function(mivora_imported_location target out)
  set(location "")
  foreach(property IMPORTED_LOCATION IMPORTED_LOCATION_RELEASE IMPORTED_LOCATION_RELWITHDEBINFO
                   IMPORTED_LOCATION_NOCONFIG IMPORTED_LOCATION_DEBUG)
    get_target_property(value ${target} ${property})
    if(value)
      set(location "${value}")
      break()
    endif()
  endforeach()
  set(${out} "${location}" PARENT_SCOPE)
endfunction()

# mivora_package_dependencies(TARGET): sets MIVORA_CONFIG_DEPENDENCIES (CMake
# lines for the package config), MIVORA_PC_REQUIRES and MIVORA_PC_LIBS (the
# private fields of mivora.pc) from what TARGET links.
function(mivora_package_dependencies target)
  get_target_property(links ${target} LINK_LIBRARIES)
  if(NOT links)
    set(links "")
  endif()
  set(config "")
  set(requires "")
  set(libs "")
  set(packages "")
  foreach(item IN LISTS links)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    if(item MATCHES "^PkgConfig::(.+)$")
      set(prefix ${CMAKE_MATCH_1})
      # The arguments pkg_check_modules was given for this prefix.
      set(modules ${__pkg_config_arguments_${prefix}})
      list(FILTER modules EXCLUDE REGEX
           "^(REQUIRED|QUIET|IMPORTED_TARGET|GLOBAL|NO_CMAKE_PATH|NO_CMAKE_ENVIRONMENT_PATH)$")
      if(NOT modules)
        message(FATAL_ERROR "mivora links ${item}, but its pkg-config modules are unknown: "
                            "find it with pkg_check_modules(${prefix} IMPORTED_TARGET ...)")
      endif()
      list(JOIN modules " " moduleText)
      string(APPEND config "pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET ${moduleText})\n")
      list(PREPEND packages PkgConfig)
      foreach(module IN LISTS modules)
        # "zint>=2.12" in CMake is "zint >= 2.12" in a .pc file.
        string(REGEX REPLACE "[ ]*([<>=]+)[ ]*" " \\1 " module "${module}")
        list(APPEND requires "${module}")
      endforeach()
    elseif(item MATCHES "^([A-Za-z0-9_]+)::(.+)$" AND TARGET ${item})
      list(APPEND packages ${CMAKE_MATCH_1})
      # Its own file, or (an interface target) the files it passes on.
      mivora_imported_location(${item} files)
      if(NOT files)
        get_target_property(files ${item} INTERFACE_LINK_LIBRARIES)
      endif()
      if(NOT files)
        message(FATAL_ERROR "mivora links ${item}, but its library file is unknown, so mivora.pc "
                            "cannot name it")
      endif()
      foreach(file IN LISTS files)
        if(file MATCHES "::|^\\$<")
          message(FATAL_ERROR "mivora links ${item}, which links ${file}: mivora.pc cannot follow it")
        endif()
        mivora_library_flag("${file}" flag)
        list(APPEND libs "${flag}")
      endforeach()
    elseif(item MATCHES "^\\$<")
      message(FATAL_ERROR "mivora links \"${item}\": a generator expression that mivora.pc and "
                          "MivoraConfig.cmake cannot follow; link an imported target instead")
    else()
      mivora_library_flag("${item}" flag)
      list(APPEND libs "${flag}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES packages)
  set(findLines "")
  foreach(package IN LISTS packages)
    string(APPEND findLines "find_dependency(${package})\n")
  endforeach()
  list(REMOVE_DUPLICATES requires)
  list(REMOVE_DUPLICATES libs)
  list(JOIN requires ", " requires)
  get_target_property(options ${target} INTERFACE_LINK_OPTIONS)
  if(options)
    list(APPEND libs ${options})
  endif()
  list(JOIN libs " " libs)
  set(MIVORA_CONFIG_DEPENDENCIES "${findLines}${config}" PARENT_SCOPE)
  set(MIVORA_PC_REQUIRES "${requires}" PARENT_SCOPE)
  set(MIVORA_PC_LIBS "${libs}" PARENT_SCOPE)
endfunction()

mivora_package_dependencies(mivora)

# The CMake package: installed, and one in the build tree for programs built
# against it without installing (the documentation's examples).
install(TARGETS mivora EXPORT MivoraTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT MivoraTargets NAMESPACE Mivora:: DESTINATION ${MIVORA_CMAKE_INSTALL_DIR})
export(EXPORT MivoraTargets NAMESPACE Mivora:: FILE ${PROJECT_BINARY_DIR}/MivoraTargets.cmake)
configure_package_config_file(cmake/MivoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MivoraConfig.cmake
  INSTALL_DESTINATION ${MIVORA_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MivoraConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MivoraConfig.cmake ${PROJECT_BINARY_DIR}/MivoraConfigVersion.cmake
  DESTINATION ${MIVORA_CMAKE_INSTALL_DIR})

# pkg-config. The library is static, so what it needs goes into the private fields,
# which `pkg-config --static` adds.
# The prefix is found from where the file lies, so the package can be installed anywhere.
file(RELATIVE_PATH MIVORA_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" MIVORA_PC_TO_PREFIX "${MIVORA_PC_TO_PREFIX}")
configure_file(cmake/mivora.pc.in ${PROJECT_BINARY_DIR}/mivora.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mivora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Headers, the version header among them.
file(GLOB MIVORA_PUBLIC_HEADERS
  ${PROJECT_SOURCE_DIR}/platform/*.h
  ${PROJECT_SOURCE_DIR}/utils/*.h
  ${PROJECT_SOURCE_DIR}/cells/*.h)
list(FILTER MIVORA_PUBLIC_HEADERS EXCLUDE REGEX "_p\\.h$")
install(FILES ${MIVORA_PUBLIC_HEADERS} ${PROJECT_BINARY_DIR}/include/MivoraVersion.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mivora)

# The man page mivora(1): its COMMANDS section is made from the built program's
# --help, so it always lists the options the program takes.
if(TARGET mivora_cli)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    set(MIVORA_MAN_PAGE ${PROJECT_BINARY_DIR}/man/mivora.1)
    add_custom_command(OUTPUT ${MIVORA_MAN_PAGE}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/docs/man/mivora-man.py
              $<TARGET_FILE:mivora_cli> ${PROJECT_SOURCE_DIR}/docs/man/mivora.1.in
              ${MIVORA_MAN_PAGE} ${PROJECT_VERSION}
      DEPENDS mivora_cli ${PROJECT_SOURCE_DIR}/docs/man/mivora-man.py
              ${PROJECT_SOURCE_DIR}/docs/man/mivora.1.in
      COMMENT "Writing the man page mivora(1)")
    add_custom_target(mivora_man ALL DEPENDS ${MIVORA_MAN_PAGE})
    install(FILES ${MIVORA_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(STATUS "No Python 3: the man page mivora(1) is not built")
  endif()
endif()
