; The Windows installer: per user (no administrator), a start-menu entry, an
; uninstaller; /S installs and uninstalls silently. Built by
; tools/windows/package.sh:
;   makensis -DVERSION=0.1 -DSOURCE=<folder with zeph.exe> -DICON=<zeph.ico>
;            -DOUTFILE=<setup.exe> zeph.nsi
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef VERSION | SOURCE | ICON | OUTFILE
  !error "VERSION, SOURCE, ICON and OUTFILE must be defined"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zeph"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "Zeph ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Zeph"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Zeph"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${SOURCE}/zeph.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Zeph.lnk" "$INSTDIR\zeph.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Zeph"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zeph.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Zeph.lnk"
  Delete "$INSTDIR\zeph.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The program registers itself to start at log-on at every start.
  DeleteRegValue HKCU "${RUN_KEY}" "zeph"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
