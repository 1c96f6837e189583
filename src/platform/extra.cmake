# Digital I/O on the GPIO character device through libgpiod (the 1.6 API).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GPIOD REQUIRED IMPORTED_TARGET libgpiod)
target_link_libraries(meldrix_platform PRIVATE PkgConfig::GPIOD)
list(APPEND MELDRIX_EXTRA_LIBS PkgConfig::GPIOD)
