# What `cmake --install` puts under a prefix, and the Debian package made of
# it (cpack -G DEB):
#   lib/libzarntrade.so.MAJOR.MINOR (SONAME libzarntrade.so.MAJOR) and the
#     libzarntrade.so link to it
#   include/zarntrade/: the public headers (every .h of zarntrade/include,
#     with the export list zarntrade.h reads)
#   lib/cmake/zarntrade/: find_package(zarntrade CONFIG) -> zarntrade::zarntrade,
#     with a version file (same major version)
#   lib/pkgconfig/zarntrade.pc
#   bin/zarn-replay, share/doc/zarntrade/README.md
# The library keeps its exports whatever installs it: the export map is the
# link's business, not the install's.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# lib, not the multiarch folder: the same layout under any prefix, which the
# replay tool's look-up and the package rely on.
set(ZT_INSTALL_LIBDIR lib)
set(ZT_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zarntrade)
set(ZT_INSTALL_CMAKEDIR ${ZT_INSTALL_LIBDIR}/cmake/zarntrade)

target_include_directories(zarntrade INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/zarntrade/include>
  $<INSTALL_INTERFACE:${ZT_INSTALL_INCLUDEDIR}>)

install(TARGETS zarntrade EXPORT zarntradeTargets
  LIBRARY DESTINATION ${ZT_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${ZT_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Every public header, read from the folder when installing: a header added
# to zarntrade/include is installed without a change here.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/zarntrade/include/ DESTINATION ${ZT_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h" PATTERN "zarntrade_exports.inc")
install(TARGETS zarn-replay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT zarntradeTargets NAMESPACE zarntrade:: DESTINATION ${ZT_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zarntradeConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zarntradeConfig.cmake INSTALL_DESTINATION ${ZT_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zarntradeConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zarntradeConfig.cmake ${PROJECT_BINARY_DIR}/zarntradeConfigVersion.cmake
  DESTINATION ${ZT_INSTALL_CMAKEDIR})

# zarntrade.pc names the prefix it is installed under (cmake --install
# --prefix P, or /usr in the package), filled in when installing.
configure_file(${PROJECT_SOURCE_DIR}/cmake/zarntrade.pc.in ${PROJECT_BINARY_DIR}/zarntrade.pc.in @ONLY)
install(CODE "
  file(READ \"${PROJECT_BINARY_DIR}/zarntrade.pc.in\" zt_pc)
  string(REPLACE \"%PREFIX%\" \"\${CMAKE_INSTALL_PREFIX}\" zt_pc \"\${zt_pc}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/zarntrade.pc\" \"\${zt_pc}\")")
install(FILES ${PROJECT_BINARY_DIR}/zarntrade.pc DESTINATION ${ZT_INSTALL_LIBDIR}/pkgconfig)

if(NOT WIN32)
  # The Debian package: zarntrade_VERSION_ARCH.deb, everything above under /usr.
  find_program(ZT_DPKG dpkg)
  set(ZT_DEB_ARCH amd64)
  if(ZT_DPKG)
    execute_process(COMMAND ${ZT_DPKG} --print-architecture OUTPUT_VARIABLE ZT_DEB_ARCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME zarntrade)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR zarntrade)
  set(CPACK_PACKAGE_CONTACT "zarntrade developers <dev@zarntrade.invalid>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "trading-chart studies library and the zarn-replay tool")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Thirty-four trading-chart studies computed bar by bar, exactly as\n\
the charting platform's library computes them: the shared library\n\
libzarntrade.so.${PROJECT_VERSION_MAJOR}, its C header, CMake and pkg-config files, and\n\
zarn-replay, which replays bars from a CSV file through the library and\n\
writes every study slot on every bar.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZT_DEB_ARCH})
  set(CPACK_DEBIAN_FILE_NAME zarntrade_${PROJECT_VERSION}_${ZT_DEB_ARCH}.deb)
  # Dependencies from the linked libraries (dpkg-shlibdeps), and the shlibs
  # file and ldconfig trigger of a shared library.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()
