; The Windows installer: kvx-upgrader.exe and kvx-flash.exe under Program Files (64-bit), a
; Start menu entry, and an uninstaller registered in Add/Remove Programs. Built by the Windows
; build's installer target, which passes:
;   /DVERSION=1.0.1 /DUPGRADER_EXE=<path> /DFLASH_EXE=<path> /DOUTFILE=<path>

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Velmora KVX-01 Upgrader"
!define START_MENU_FOLDER "$SMPROGRAMS\Velmora"
!define SHORTCUT "${START_MENU_FOLDER}\${PRODUCT}.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmoraKVX01Upgrader"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velmora\KVX-01 Upgrader"
; A second install goes where the first one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "(v${VERSION})"
VIAddVersionKey "ProductVersion" "(v${VERSION})"
VIAddVersionKey "CompanyName" "OKVI"
VIAddVersionKey "LegalCopyright" "Copyright (C) Velmora"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "/oname=kvx-upgrader.exe" "${UPGRADER_EXE}"
  File "/oname=kvx-flash.exe" "${FLASH_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${START_MENU_FOLDER}"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\kvx-upgrader.exe" "" "$INSTDIR\kvx-upgrader.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velmora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kvx-upgrader.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "${SHORTCUT}"
  RMDir "${START_MENU_FOLDER}"
  Delete "$INSTDIR\kvx-upgrader.exe"
  Delete "$INSTDIR\kvx-flash.exe"
  ; The settings file the window writes beside itself.
  Delete "$INSTDIR\Config.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The maker's folder, when no other program of it is left there.
  RMDir "$INSTDIR\.."
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
