; The Windows installer: installs the portable folder per machine under
; Program Files, adds «Zulpex» and its demo to the Start menu, registers its
; uninstaller in Programs and Features; /S installs and uninstalls silently.
; Installed over an earlier version, it first has that version's own
; uninstaller remove exactly what it installed, so that no file the new
; version no longer names is left behind.
; Built by tools/windows/make-installer.sh (for package.sh), which defines
; VERSION, STAGE (the folder to install), FILES (the lists of its files) and
; OUTFILE.
; A 64-bit installer for a 64-bit program; it also runs under a Wine without 32-bit support.
Target amd64-unicode

!define NAME "Zulpex"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define ICON "$INSTDIR\io.github.zulpex.SensorMonitor.ico"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
; An upgrade goes where the earlier version is (a 64-bit installer reads the 64-bit registry).
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
Icon "${STAGE}/io.github.zulpex.SensorMonitor.ico"
UninstallIcon "${STAGE}/io.github.zulpex.SensorMonitor.ico"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Zulpex sensor monitor"
VIAddVersionKey "FileDescription" "Zulpex sensor monitor ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Zulpex"
VIAddVersionKey "LegalCopyright" "2009-2026 Zulpex developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

; Runs the uninstaller of the version registered, in place (_?=) so that
; the installer can wait for it, then removes that uninstaller and the
; folder if nothing else is left in it. Its registration and Start-menu
; entries go with it; this version writes its own.
Function RemovePreviousVersion
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    StrCmp $0 "" done
    IfFileExists "$0\uninstall.exe" 0 done
    DetailPrint "Removing the version installed in $0"
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
done:
FunctionEnd

Section "Install"
    Call RemovePreviousVersion
    !include "${FILES}.install.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\sensor-monitor.exe" "" "${ICON}" 0 \
        SW_SHOWNORMAL "" "Монитор датчиков"
    CreateShortCut "$SMPROGRAMS\${NAME} — Демонстрация.lnk" "$INSTDIR\sensor-monitor.exe" "--demo" "${ICON}" 0 \
        SW_SHOWNORMAL "" "Монитор датчиков с демонстрационным устройством на Com 1"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zulpex sensor monitor"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zulpex"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "${ICON}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly what was installed, so that nothing of the user's is lost
; when they chose a folder of their own.
Section "Uninstall"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    Delete "$SMPROGRAMS\${NAME} — Демонстрация.lnk"
    !include "${FILES}.uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
