; Kavor Cen installer: the program under Program Files, a Start-menu shortcut for every
; account that starts it in its own folder (the program then takes the data folder of
; whoever runs it, where KavorCen.ini and the logs live), and an uninstaller that leaves
; the data folders and the station's files alone. A start at login for the installing
; account is offered, unticked ("/AUTOSTART" ticks it for a silent install).
;   makensis -DVERSION=1.3.5 -DEXE=path\kavor-cen.exe -DOUTFILE=KavorCen-1.3.5-setup.exe kavor-cen.nsi
; A 64-bit installer for a 64-bit program (and Wine without its 32-bit half runs it).
Target amd64-unicode
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

Name "Kavor Cen ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kavor Cen"
InstallDirRegKey HKLM "Software\KavorCen" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KavorCen"
; The program's own "Uruchamiaj przy logowaniu" writes the same value.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductName" "Kavor Cen"
VIAddVersionKey /LANG=${LANG_POLISH} "FileDescription" "Kavor Cen - instalator"
VIAddVersionKey /LANG=${LANG_POLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "LegalCopyright" "Kavor"

Section "Kavor Cen" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=kavor-cen.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is the program's own (the current SetOutPath): no
  ; account's path in it.
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Kavor Cen.lnk" "$INSTDIR\kavor-cen.exe" "" "$INSTDIR\kavor-cen.exe" 0

  WriteRegStr HKLM "Software\KavorCen" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kavor Cen"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kavor"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kavor-cen.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The program expands %LOCALAPPDATA% itself: the value names no account's folder.
Section /o "Uruchamiaj przy logowaniu" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "KavorCen" '"$INSTDIR\kavor-cen.exe" /folder "%LOCALAPPDATA%\KavorCen"'
SectionEnd

Function .onInit
  ${GetOptions} $CMDLINE "/AUTOSTART" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; Only what the installer put there: the settings and logs in the data folder stay.
  SetShellVarContext all
  Delete "$SMPROGRAMS\Kavor Cen.lnk"
  Delete "$INSTDIR\kavor-cen.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\KavorCen"
  DeleteRegValue HKCU "${RUN_KEY}" "KavorCen"
SectionEnd
