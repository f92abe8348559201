# Libraries opened on first use instead of linked (platform/LazyLibrary_p.h): the
# library is compiled against their headers, and each platform/Lazy<Name>.cpp is
# told the run-time name (SONAME) of the library the -dev package's link points to,
# and the folder it lies in, as a second place to look.

# mivora_lazy_library(SOURCE FILE MACRO FALLBACK): SOURCE opens the library whose
# link-time file is FILE; MACRO_SONAME and MACRO_DIR are defined for it. FALLBACK is
# the SONAME to use when FILE cannot be read (Debian 12's name).
function(mivora_lazy_library source file macro fallback)
  set(soname "")
  if(file AND EXISTS "${file}" AND CMAKE_OBJDUMP)
    execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${file}" OUTPUT_VARIABLE dump ERROR_QUIET
                    RESULT_VARIABLE result)
    if(result EQUAL 0 AND dump MATCHES "SONAME[ \t]+([^ \t\r\n]+)")
      set(soname "${CMAKE_MATCH_1}")
    endif()
  endif()
  if(NOT soname)
    message(STATUS "Mivora: cannot read the SONAME of '${file}'; opening ${fallback} at run time")
    set(soname "${fallback}")
  endif()
  set(dir "")
  if(file AND IS_ABSOLUTE "${file}")
    get_filename_component(dir "${file}" DIRECTORY)
  endif()
  set_property(SOURCE ${source} APPEND PROPERTY COMPILE_DEFINITIONS
               ${macro}_SONAME="${soname}" ${macro}_DIR="${dir}")
  set(MIVORA_LAZY_SONAMES ${MIVORA_LAZY_SONAMES} ${soname} PARENT_SCOPE)
endfunction()

# The files the linker would have used.
find_library(MIVORA_RSVG_LIBRARY NAMES rsvg-2 HINTS ${RSVG_LIBRARY_DIRS})
set(MIVORA_JPEG_LIBRARY "${JPEG_LIBRARY_RELEASE}")
if(NOT MIVORA_JPEG_LIBRARY)
  list(GET JPEG_LIBRARIES 0 MIVORA_JPEG_LIBRARY)
endif()
list(GET CUPS_LIBRARIES 0 MIVORA_CUPS_LIBRARY)

set(MIVORA_LAZY_SONAMES "")
mivora_lazy_library(${CMAKE_CURRENT_SOURCE_DIR}/platform/LazyRsvg.cpp "${MIVORA_RSVG_LIBRARY}"
                    MIVORA_RSVG librsvg-2.so.2)
mivora_lazy_library(${CMAKE_CURRENT_SOURCE_DIR}/platform/LazyJpeg.cpp "${MIVORA_JPEG_LIBRARY}"
                    MIVORA_JPEG libjpeg.so.62)
mivora_lazy_library(${CMAKE_CURRENT_SOURCE_DIR}/platform/LazyCups.cpp "${MIVORA_CUPS_LIBRARY}"
                    MIVORA_CUPS libcups.so.2)
mivora_lazy_library(${CMAKE_CURRENT_SOURCE_DIR}/platform/LazyZint.cpp "${ZINT_LIBRARY}"
                    MIVORA_ZINT libzint.so.2.11)

# Their headers only; glibc 2.34 and later have dlopen in libc itself.
target_include_directories(mivora SYSTEM PRIVATE ${RSVG_INCLUDE_DIRS} ${JPEG_INCLUDE_DIRS}
                           ${CUPS_INCLUDE_DIRS} ${ZINT_INCLUDE_DIR})
include(CheckSymbolExists)
check_symbol_exists(dlopen dlfcn.h MIVORA_DLOPEN_IN_LIBC)
if(NOT MIVORA_DLOPEN_IN_LIBC)
  target_link_libraries(mivora PRIVATE ${CMAKE_DL_LIBS})
endif()
