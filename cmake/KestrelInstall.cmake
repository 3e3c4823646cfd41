# What an installation holds, for cmake --install, the Debian package and the
# Windows installer alike.
#
# Linux (GNU layout, the library in the multiarch folder):
#   bin/             kestrel, kestrel-sim, kestrel-simd, fwupdate
#   LIBDIR/          liboryx.so.VERSION, its soname link and its development link
#   LIBDIR/oryx/     the firmware images the library loads into the controller
#   LIBDIR/pkgconfig/oryx.pc, LIBDIR/cmake/oryx/    for pkg-config and find_package
#   include/oryx.h
#   lib/udev/rules.d/60-kestrel.rules
#   share/kestrel/update-samples/, share/bash-completion/completions/kestrel,
#   share/man/man1 and man3 (by doc/), share/doc/kestrel/ (by the package)
# Windows: bin/ holds the programs, oryx.dll, qlxshlext.dll and the firmware
# images (the library loads them from its own folder); lib/ the import
# library; include/ the header; share/kestrel/update-samples/ the samples.
#
# Included by the top level after every part has defined its targets; the
# folders come from KestrelInstallDirs.
include_guard(GLOBAL)
include(KestrelInstallDirs)

include(CMakePackageConfigHelpers)

set(KESTREL_ORYX_HEADER ${PROJECT_SOURCE_DIR}/oryx/oryx.h)
set(KESTREL_ORYX_SOVERSION 0)
set(KESTREL_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/oryx)

if(NOT WIN32)
  set_target_properties(oryx PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${KESTREL_ORYX_SOVERSION})
  set(kestrel_firmware_dir ${CMAKE_INSTALL_LIBDIR}/oryx)
else()
  set(kestrel_firmware_dir ${CMAKE_INSTALL_BINDIR})
endif()

# --- programs and the library ------------------------------------------------

set(kestrel_programs kestrel fwupdate_console)
if(WIN32)
  list(APPEND kestrel_programs fwupdate)
else()
  list(APPEND kestrel_programs kestrel-sim kestrel-simd)
endif()
install(TARGETS ${kestrel_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(WIN32)
  # The namespace extension: the DLL only (nothing links against it).
  install(TARGETS qlxshlext RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
                            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
endif()

install(TARGETS oryx EXPORT oryxTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${KESTREL_ORYX_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/vxb_ffs.bix ${CMAKE_BINARY_DIR}/bin/vxb_main.bix DESTINATION ${kestrel_firmware_dir})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/update-samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel/update-samples)

# --- finding the library: CMake package and pkg-config -----------------------

install(EXPORT oryxTargets NAMESPACE oryx:: DESTINATION ${KESTREL_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/oryxConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/packaging/oryxConfig.cmake
                              INSTALL_DESTINATION ${KESTREL_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/oryxConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/packaging/oryxConfig.cmake ${PROJECT_BINARY_DIR}/packaging/oryxConfigVersion.cmake
        DESTINATION ${KESTREL_CMAKE_PACKAGE_DIR})

# The .pc file names its folders relative to where it lies, so that a staged
# or relocated installation is found as well as the packaged one.
file(RELATIVE_PATH kestrel_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" kestrel_pc_to_prefix "${kestrel_pc_to_prefix}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/oryx.pc.in ${PROJECT_BINARY_DIR}/packaging/oryx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/oryx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# --- shell completion --------------------------------------------------------

if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrel.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestrel)
endif()

# --- device access -----------------------------------------------------------

# The udev rule that lets the user at the seat open a Kestrel on USB.
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/contrib/udev/60-kestrel.rules DESTINATION lib/udev/rules.d)
endif()

# kestrel-sim demo loads the library's file-system firmware: in an
# installation it is in the library's firmware folder, not beside the program.
if(NOT WIN32)
  target_compile_definitions(ksim_tools PRIVATE KESTREL_INSTALLED_FIRMWARE_DIR="${kestrel_firmware_dir}")
endif()
