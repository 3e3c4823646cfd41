; The Windows installer of the Kestrel host software, made by makensis from a
; staged installation (cmake/KestrelWindowsPackage.cmake passes the defines):
;   VERSION   product version          STAGE   the staged installation
;   ARCH      win64 (default) or win32: the installer's own code, the
;             Program Files folder and the registry view it writes to
;   OUTFILE   the installer to write   FILES   include file: the File lines
;   UNFILES   include file: the uninstaller's Delete and RMDir lines
; Installs into Program Files, registers the namespace extension through its
; DllRegisterServer (as regsvr32 does), adds a Start-menu entry for the update
; tool and an uninstaller that unregisters the extension and removes every
; file it installed. /S installs and uninstalls silently; /D=DIR picks the
; folder.
Unicode true
!ifndef ARCH
  !define ARCH win64
!endif
!if "${ARCH}" == "win64"
  Target amd64-unicode
  !define PROGRAMS_FOLDER "$PROGRAMFILES64"
  !define REGISTRY_VIEW 64
!else if "${ARCH}" == "win32"
  Target x86-unicode
  !define PROGRAMS_FOLDER "$PROGRAMFILES"
  !define REGISTRY_VIEW 32
!else
  !error "ARCH must be win64 or win32, not ${ARCH}"
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Kestrel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel"
!define EXTENSION "$INSTDIR\bin\qlxshlext.dll"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS_FOLDER}\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Kestrel"
  SetRegView ${REGISTRY_VIEW}
  SetShellVarContext all
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ClearErrors
  RegDLL "${EXTENSION}"
  IfErrors 0 +2
    DetailPrint "The Explorer extension could not be registered."

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Kestrel firmware update.lnk" "$INSTDIR\bin\fwupdate.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView ${REGISTRY_VIEW}
  SetShellVarContext all
  ClearErrors
  UnRegDLL "${EXTENSION}"
  IfErrors 0 +2
    DetailPrint "The Explorer extension could not be unregistered."

  Delete "$SMPROGRAMS\${PRODUCT}\Kestrel firmware update.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
