# Installing the library for other programs: the public header and its
# parts, the static library, a CMake package (find_package(Tessel) ->
# Tessel::tessel) and a pkg-config file. The library is static, so both
# packages carry the libraries it was built against; a program linking it
# needs them too.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TESSEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)

target_include_directories(tessel PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(tessel PROPERTIES EXPORT_NAME tessel)

install(TARGETS tessel EXPORT TesselTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/lib/include/tessel.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# tessel.h includes its parts from tessel/ beside it.
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/lib/include/tessel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(EXPORT TesselTargets NAMESPACE Tessel:: DESTINATION ${TESSEL_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TesselConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TesselConfig.cmake
  INSTALL_DESTINATION ${TESSEL_CMAKE_DIR})
# Before 1.0 a minor release may change the API, so only the same minor
# version (and later patches of it) counts as compatible.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TesselConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TesselConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TesselConfigVersion.cmake
  DESTINATION ${TESSEL_CMAKE_DIR})

# The .pc file finds its prefix from its own place, so an install moved or
# made with `cmake --install --prefix` elsewhere still points at itself.
# Absolute install folders are written as they are.
set(TESSEL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${TESSEL_PC_DIR}")
  set(TESSEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH TESSEL_PC_UP "/root/${TESSEL_PC_DIR}" "/root")
  string(REGEX REPLACE "/$" "" TESSEL_PC_UP "${TESSEL_PC_UP}")
  set(TESSEL_PC_PREFIX "\${pcfiledir}/${TESSEL_PC_UP}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(TESSEL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(TESSEL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tessel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tessel.pc DESTINATION ${TESSEL_PC_DIR})
