; The Windows installer: quellin.exe, the quellin-cli.exe of the machine's architecture and the
; licence files in the native program-files folder, a Start menu entry and an uninstaller.
; "/S" installs and uninstalls silently, as software distribution tools run it. makensis gets
; VERSION, STAGE (the files: x86\ and x64\), OUTFILE, and SIGN (a command that signs a file) when
; the uninstaller is to be signed.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
Name "Quellin"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quellin"
BrandingText "Quellin ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Quellin"
VIAddVersionKey "CompanyName" "Tarnwell"
VIAddVersionKey "FileDescription" "Quellin setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2014-2026 Tarnwell Software"
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
!endif

!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellin"
; The event log source Quellin; both executables carry its message table.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Quellin"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\LICENSE.txt"

; The native folder and registry view, so that 64-bit tools and the MSI find the same place.
Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    ; A folder given with /D stays.
    ${If} $INSTDIR == "$PROGRAMFILES\Quellin"
      StrCpy $INSTDIR "$PROGRAMFILES64\Quellin"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Quellin"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\x86\quellin.exe"
  ${If} ${RunningX64}
    File "${STAGE}\x64\quellin-cli.exe"
  ${Else}
    File "${STAGE}\x86\quellin-cli.exe"
  ${EndIf}
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Quellin.lnk" "$INSTDIR\quellin.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quellin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarnwell"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quellin.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\quellin.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
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
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
SectionEnd
