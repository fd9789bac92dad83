# PCRE2 (8- and 16-bit code units, Unicode, JIT) as the target tv_pcre2.
# By default it is compiled here from the source that scripts/setup.sh
# unpacks from Debian's source package, the same version for every build.
# TOMEVIEW_PCRE2_PACKAGE=ON takes an installed PCRE2 instead (e.g. vcpkg's,
# for MSVC): find_package(PCRE2 CONFIG COMPONENTS 8BIT 16BIT).
option(TOMEVIEW_PCRE2_PACKAGE "Use an installed PCRE2 (find_package) instead of its source" OFF)
if(DEFINED ENV{TOMEVIEW_BUILD_ROOT})
  set(pcre2_default_source $ENV{TOMEVIEW_BUILD_ROOT}/deps/pcre2)
else()
  set(pcre2_default_source ${CMAKE_SOURCE_DIR}/build/deps/pcre2)
endif()
set(TOMEVIEW_PCRE2_SOURCE ${pcre2_default_source} CACHE PATH "PCRE2 source tree (scripts/setup.sh fetches it)")

add_library(tv_pcre2 INTERFACE)
if(TOMEVIEW_PCRE2_PACKAGE)
  find_package(PCRE2 CONFIG REQUIRED COMPONENTS 8BIT 16BIT)
  target_link_libraries(tv_pcre2 INTERFACE PCRE2::8BIT PCRE2::16BIT)
else()
  if(NOT EXISTS ${TOMEVIEW_PCRE2_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No PCRE2 source in ${TOMEVIEW_PCRE2_SOURCE}: run scripts/setup.sh, "
                        "set TOMEVIEW_PCRE2_SOURCE, or TOMEVIEW_PCRE2_PACKAGE=ON")
  endif()
  foreach(opt PCRE2_BUILD_PCRE2_8 PCRE2_BUILD_PCRE2_16 PCRE2_SUPPORT_JIT PCRE2_SUPPORT_UNICODE BUILD_STATIC_LIBS)
    set(${opt} ON CACHE BOOL "" FORCE)
  endforeach()
  foreach(opt PCRE2_BUILD_PCRE2_32 BUILD_SHARED_LIBS PCRE2_BUILD_PCRE2GREP PCRE2_BUILD_TESTS PCRE2_SHOW_REPORT
              PCRE2_SUPPORT_LIBBZ2 PCRE2_SUPPORT_LIBZ PCRE2_SUPPORT_LIBEDIT PCRE2_SUPPORT_LIBREADLINE)
    set(${opt} OFF CACHE BOOL "" FORCE)
  endforeach()
  # Position independent, for the native test and fuzz executables.
  set(PCRE2_STATIC_PIC ON CACHE BOOL "" FORCE)
  add_subdirectory(${TOMEVIEW_PCRE2_SOURCE} ${CMAKE_BINARY_DIR}/pcre2 EXCLUDE_FROM_ALL)
  target_link_libraries(tv_pcre2 INTERFACE pcre2-8-static pcre2-16-static)
endif()
