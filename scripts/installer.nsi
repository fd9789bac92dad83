; The Windows installer: makensis -DVERSION=1.0 -DVERSION4=1.0.0.0 -DEXE=... -DUSAGE=...
;   -DICON=... -DOUTFILE=... scripts/installer.nsi  (scripts/package.sh passes them).
; Installs for all users (Program Files, elevated) or for the current user
; (the user's own programs folder); /AllUsers or /CurrentUser choose without
; the page, /S installs silently. The uninstaller removes every file and key
; written here.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel highest

!ifndef VERSION | VERSION4 | EXE | USAGE | ICON | OUTFILE
  !error "VERSION, VERSION4, EXE, USAGE, ICON and OUTFILE must be defined"
!endif

!define APP_NAME "Tomeview"
!define PUBLISHER "Orvane"
!define SITE "https://tomeview.example.org"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tomeview"
!define PROGID "Tomeview.Text"
!define APP_KEY "Software\Classes\Applications\tomeview.exe"

Name "${APP_NAME}"
OutFile "${OUTFILE}"
BrandingText "${APP_NAME} ${VERSION}"
; No time stamp of the build machine in the installer's own files.
SetDateSave off

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=2052 "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${APP_NAME} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION4}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION4}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "版权所有 © 2026 ${PUBLISHER}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP_NAME}"
; A second run installs where the first did, and the uninstaller finds its mode.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINST_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINST_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\tomeview.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\使用说明.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; Offers the program in "Open with" for one extension; the default program stays.
!macro OpenWith EXT
  WriteRegStr SHCTX "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "${APP_KEY}\SupportedTypes" "${EXT}" ""
!macroend

; Removes what OpenWith wrote, and the extension's keys if nothing else is left in them.
!macro un.OpenWith EXT
  DeleteRegValue SHCTX "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\${EXT}\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\${EXT}"
!macroend

!define APPS_KEY "Software\Classes\Applications"
!define UNINST_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"

; $R0 |= BIT when KEY does not exist yet (this install creates it).
!macro NoteNewKey KEY BIT
  ClearErrors
  EnumRegKey $R1 SHCTX "${KEY}" 0
  ${If} ${Errors}
    IntOp $R0 $R0 | ${BIT}
  ${EndIf}
!macroend

Section "Tomeview"
  ; Parent keys that only this program's keys will fill (in a new profile, for
  ; one user) are noted, so that the uninstaller removes them too; an earlier
  ; install's note is kept.
  StrCpy $R0 0
  !insertmacro NoteNewKey "${APPS_KEY}" 1
  !insertmacro NoteNewKey "${UNINST_PARENT}" 2
  !insertmacro NoteNewKey "Software\Classes" 4
  ClearErrors
  ReadRegDWORD $R2 SHCTX "${UNINST_KEY}" "CreatedParentKeys"
  ${IfNot} ${Errors}
    IntOp $R0 $R0 | $R2
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=tomeview.exe" "${EXE}"
  File "/oname=使用说明.txt" "${USAGE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\tomeview.exe" "" "$INSTDIR\tomeview.exe" 0 SW_SHOWNORMAL "" "超大文本浏览器"

  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\tomeview.exe,0"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "URLInfoAbout" "${SITE}"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "CreatedParentKeys" $R0
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" "$0"

  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "文本文件"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\tomeview.exe,0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\tomeview.exe" "%1"'
  WriteRegStr SHCTX "${APP_KEY}" "FriendlyAppName" "${APP_NAME}"
  WriteRegStr SHCTX "${APP_KEY}\DefaultIcon" "" "$INSTDIR\tomeview.exe,0"
  WriteRegStr SHCTX "${APP_KEY}\shell\open\command" "" '"$INSTDIR\tomeview.exe" "%1"'
  !insertmacro OpenWith ".txt"
  !insertmacro OpenWith ".log"
  !insertmacro OpenWith ".csv"
  ; SHCNE_ASSOCCHANGED: Explorer reads the lists again.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\tomeview.exe"
  Delete "$INSTDIR\使用说明.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"

  !insertmacro un.OpenWith ".txt"
  !insertmacro un.OpenWith ".log"
  !insertmacro un.OpenWith ".csv"
  DeleteRegKey SHCTX "${APP_KEY}"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  ReadRegDWORD $R0 SHCTX "${UNINST_KEY}" "CreatedParentKeys"
  DeleteRegKey SHCTX "${UNINST_KEY}"
  ; The parents the install created, unless something else has moved in since.
  IntOp $R1 $R0 & 1
  ${If} $R1 <> 0
    DeleteRegKey /ifempty SHCTX "${APPS_KEY}"
  ${EndIf}
  IntOp $R1 $R0 & 2
  ${If} $R1 <> 0
    DeleteRegKey /ifempty SHCTX "${UNINST_PARENT}"
  ${EndIf}
  IntOp $R1 $R0 & 4
  ${If} $R1 <> 0
    DeleteRegKey /ifempty SHCTX "Software\Classes"
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
