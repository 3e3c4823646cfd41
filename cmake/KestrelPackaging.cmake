# Packages of an installation (cmake/KestrelInstall.cmake):
# - Linux: a Debian package through CPack, `cpack -G DEB` in the build folder
#   (package name kestrel, dependencies computed from the binaries by
#   dpkg-shlibdeps, a shlibs file for liboryx.so.0);
# - Windows: the targets `installer` (an NSIS installer made with makensis,
#   packaging/windows/kestrel.nsi) and `zip` (the same files without an
#   installer), both from a staged installation in <build>/package/stage.
include_guard(GLOBAL)

set(KESTREL_PACKAGE_SUMMARY "library and tools for the Kestrel USB SmartMedia device")
set(KESTREL_PACKAGE_MAINTAINER "Kestrel maintainers <maintainers@kestrel.example>")

if(WIN32)
  include(KestrelWindowsPackage)
  return()
endif()

# The files every Debian package carries: the copyright notice and, compressed,
# the changelog (changelog.gz: the package is a native one, its version has
# no Debian revision).
find_program(KESTREL_GZIP gzip)
set(kestrel_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/kestrel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${kestrel_doc_dir})
if(KESTREL_GZIP)
  set(kestrel_changelog ${PROJECT_BINARY_DIR}/packaging/changelog)   # a native package's name
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${kestrel_changelog} @ONLY)
  execute_process(COMMAND ${KESTREL_GZIP} -9nf ${kestrel_changelog} RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip ${kestrel_changelog}: ${gzip_result}")
  endif()
  install(FILES ${kestrel_changelog}.gz DESTINATION ${kestrel_doc_dir})
endif()

set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VENDOR "Kestrel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${KESTREL_PACKAGE_SUMMARY}")
set(CPACK_PACKAGE_CONTACT "${KESTREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis is the package summary; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The ORYX library (liboryx.so) reaches a Kestrel device: controller firmware,
raw card pages and the FAT file system on its SmartMedia card. The package
also holds fwupdate, the firmware update tool; kestrel, a command-line tool
for the card's files and images; and kestrel-sim and kestrel-simd, a
simulated Kestrel that the library and the tools reach through the
KESTREL_SIM variable.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# liboryx.so.0 of the package itself, for the programs that link it (the
# folder is relative to the package tree, where dpkg-shlibdeps runs).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS .${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The library folder's cache is renewed through dpkg's ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)

include(CPack)
