; The Windows installer: quellin.exe and quellin-cli.exe in the 32-bit program-files folder,
; a Start menu entry and an uninstaller. quellin-cli.exe is built for the machine: the DISM API
; it reads the optional feature with refuses a 32-bit program on 64-bit Windows. "/S" installs and uninstalls silently, as software
; distribution tools run it. makensis gets VERSION, STAGE (the files; the
; 64-bit CLI in STAGE\x64) and OUTFILE.
Unicode true
!include LogicLib.nsh
!include x64.nsh
SetCompressor /SOLID lzma
RequestExecutionLevel admin
Name "Quellin"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\Quellin"
BrandingText "Quellin ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Quellin"
VIAddVersionKey "CompanyName" "Tarnwell"
VIAddVersionKey "FileDescription" "Quellin setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2014-2026 Tarnwell Software"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellin"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\LICENSE.txt"

Section "Quellin"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\quellin.exe"
  ${If} ${RunningX64}
    File "${STAGE}\x64\quellin-cli.exe"
  ${Else}
    File "${STAGE}\quellin-cli.exe"
  ${EndIf}
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Quellin.lnk" "$INSTDIR\quellin.exe"
  ; The 32-bit program registers itself where Windows lists 32-bit programs.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quellin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarnwell"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quellin.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Quellin.lnk"
  ; Only the files this installer put there: a folder the user filled stays.
  Delete "$INSTDIR\quellin.exe"
  Delete "$INSTDIR\quellin-cli.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
