# Installs the libraries, their headers (same paths as in the tree), a CMake package and a
# pkg-config file, so consumers can use find_package(sigilbox CONFIG) or pkg-config. What a
# consumer builds with is the component "devel"; the shared libraries are "runtime".
include(CMakePackageConfigHelpers)

install(TARGETS framework EXPORT frameworkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS sigilbox EXPORT sigilboxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

# The headers a public header reaches through its #include "..." lines, itself included
# (paths from the repository root).
function(qm_header_closure out header)
  set(seen)
  set(todo ${header})
  while(todo)
    list(POP_FRONT todo current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    file(STRINGS ${PROJECT_SOURCE_DIR}/${current} lines REGEX "^#include \"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      list(APPEND todo ${included})
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The installed headers are the public API and nothing more: sigilbox's are what its
# umbrella header offers; the framework's are all of its headers but the test hooks and
# the internal text helpers.
# Internal headers (the big-number kernels, the structure views) stay in the tree.
qm_header_closure(QM_PUBLIC_HEADERS sigilbox/sigilbox.h)
file(GLOB_RECURSE QM_FRAMEWORK_HEADERS RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/framework/*.h)
list(REMOVE_ITEM QM_FRAMEWORK_HEADERS framework/testing_hooks.h framework/text_util.h)
list(APPEND QM_PUBLIC_HEADERS ${QM_FRAMEWORK_HEADERS})
list(REMOVE_DUPLICATES QM_PUBLIC_HEADERS)
if("framework/testing_hooks.h" IN_LIST QM_PUBLIC_HEADERS)
  message(FATAL_ERROR "a public header includes framework/testing_hooks.h")
endif()
foreach(header IN LISTS QM_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder} COMPONENT devel)
endforeach()

set(QM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake)
install(EXPORT frameworkTargets NAMESPACE framework:: DESTINATION ${QM_CMAKE_DIR}/framework COMPONENT devel)
install(EXPORT sigilboxTargets NAMESPACE sigilbox:: DESTINATION ${QM_CMAKE_DIR}/sigilbox COMPONENT devel)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/frameworkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/frameworkConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_DIR}/framework)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/sigilboxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sigilboxConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_DIR}/sigilbox)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sigilboxConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/frameworkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/frameworkConfig.cmake ${PROJECT_BINARY_DIR}/frameworkConfigVersion.cmake
  DESTINATION ${QM_CMAKE_DIR}/framework COMPONENT devel)
install(FILES ${PROJECT_BINARY_DIR}/sigilboxConfig.cmake ${PROJECT_BINARY_DIR}/sigilboxConfigVersion.cmake
  DESTINATION ${QM_CMAKE_DIR}/sigilbox COMPONENT devel)

# The prefix is found from where the .pc file lies, so an installed tree can be moved.
file(RELATIVE_PATH QM_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/packaging/sigilbox.pc.in ${PROJECT_BINARY_DIR}/sigilbox.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sigilbox.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)
