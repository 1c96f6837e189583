# Digital I/O on the GPIO character device through libgpiod (the 1.6 API).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GPIOD REQUIRED IMPORTED_TARGET libgpiod)
target_link_libraries(meldrix_platform PRIVATE PkgConfig::GPIOD)
list(APPEND MELDRIX_EXTRA_LIBS PkgConfig::GPIOD)

# The version named in crash reports: the source tree's git description.
execute_process(COMMAND git describe --always --dirty --tags
                WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                OUTPUT_VARIABLE MELDRIX_GIT_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
if(NOT MELDRIX_GIT_VERSION)
  set(MELDRIX_GIT_VERSION "unknown")
endif()
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/platform/CrashReport.cpp PROPERTIES
                            COMPILE_DEFINITIONS "MELDRIX_VERSION=\"${MELDRIX_GIT_VERSION}\"")
