# The Windows packages of a Windows build, from one staged installation:
#   cmake --build <build> --target installer   kestrel-VERSION-ARCH-setup.exe (NSIS)
#   cmake --build <build> --target zip         kestrel-VERSION-ARCH.zip
# both in <build>/package. Included by KestrelPackaging.
include_guard(GLOBAL)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(kestrel_arch win64)
else()
  set(kestrel_arch win32)
endif()
set(kestrel_package_dir ${PROJECT_BINARY_DIR}/package)
set(kestrel_stage ${kestrel_package_dir}/stage)
set(KESTREL_INSTALLER ${kestrel_package_dir}/kestrel-${PROJECT_VERSION}-${kestrel_arch}-setup.exe)
set(KESTREL_ZIP ${kestrel_package_dir}/kestrel-${PROJECT_VERSION}-${kestrel_arch}.zip)

# A fresh staged installation of what the build made.
add_custom_target(package_stage
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${kestrel_stage}
  COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${kestrel_stage} --strip
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${kestrel_stage} -DFILES=${kestrel_package_dir}/files.nsh
          -DUNFILES=${kestrel_package_dir}/unfiles.nsh -P ${PROJECT_SOURCE_DIR}/packaging/windows/file_lists.cmake
  COMMENT "Staging the installation in ${kestrel_stage}"
  VERBATIM)
add_dependencies(package_stage kestrel fwupdate fwupdate_console qlxshlext oryx firmware_images update_samples)

add_custom_target(zip
  COMMAND ${CMAKE_COMMAND} -E rm -f ${KESTREL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${KESTREL_ZIP} --format=zip .
  WORKING_DIRECTORY ${kestrel_stage}
  COMMENT "Zip of the installation: ${KESTREL_ZIP}"
  VERBATIM)
add_dependencies(zip package_stage)

find_program(KESTREL_MAKENSIS makensis)
if(KESTREL_MAKENSIS)
  add_custom_target(installer
    COMMAND ${KESTREL_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DARCH=${kestrel_arch} -DSTAGE=${kestrel_stage}
            -DOUTFILE=${KESTREL_INSTALLER} -DFILES=${kestrel_package_dir}/files.nsh
            -DUNFILES=${kestrel_package_dir}/unfiles.nsh ${PROJECT_SOURCE_DIR}/packaging/windows/kestrel.nsi
    COMMENT "NSIS installer: ${KESTREL_INSTALLER}"
    VERBATIM)
  add_dependencies(installer package_stage)
else()
  add_custom_target(installer
    COMMAND ${CMAKE_COMMAND} -E echo "installer: makensis not found (Debian package nsis)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
