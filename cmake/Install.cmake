# Installs the libraries, their headers (same paths as in the tree), a CMake package and a
# pkg-config file, so consumers can use find_package(sigilbox CONFIG) or pkg-config.
include(CMakePackageConfigHelpers)

install(TARGETS framework EXPORT frameworkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS sigilbox EXPORT sigilboxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/framework ${PROJECT_SOURCE_DIR}/sigilbox
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

set(QM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake)
install(EXPORT frameworkTargets NAMESPACE framework:: DESTINATION ${QM_CMAKE_DIR}/framework)
install(EXPORT sigilboxTargets NAMESPACE sigilbox:: DESTINATION ${QM_CMAKE_DIR}/sigilbox)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/frameworkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/frameworkConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_DIR}/framework)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/sigilboxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sigilboxConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_DIR}/sigilbox)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sigilboxConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/frameworkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/frameworkConfig.cmake ${PROJECT_BINARY_DIR}/frameworkConfigVersion.cmake
  DESTINATION ${QM_CMAKE_DIR}/framework)
install(FILES ${PROJECT_BINARY_DIR}/sigilboxConfig.cmake ${PROJECT_BINARY_DIR}/sigilboxConfigVersion.cmake
  DESTINATION ${QM_CMAKE_DIR}/sigilbox)

# The prefix is found from where the .pc file lies, so an installed tree can be moved.
file(RELATIVE_PATH QM_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/packaging/sigilbox.pc.in ${PROJECT_BINARY_DIR}/sigilbox.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sigilbox.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
