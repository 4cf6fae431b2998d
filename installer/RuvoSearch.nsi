; The installer of one edition of RuvoSearch, built by scripts/installer.sh:
;   makensis -DEDITION=32|64 -DBINDIR=<folder with the three executables> -DOUTFILE=<installer> RuvoSearch.nsi
; It puts the three executables into Program Files, has the program itself install and start
; the search service (its elevated task), starts the program at logon and once at the end, so
; that the program reports the channel number in this installer's file name
; (RuvoSearch_Setup_1024.exe: channel 1024). /S installs silently. The uninstaller stops and
; deletes the service, ends the program and removes every file and registry value made here.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include LogicLib.nsh
!include x64.nsh
!include WinMessages.nsh

!ifndef EDITION | BINDIR | OUTFILE
  !error "EDITION, BINDIR and OUTFILE must be defined"
!endif
!if ${EDITION} == 64
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
!else
  Target x86-unicode
  !define PROGRAMS "$PROGRAMFILES32"
!endif

!define PRODUCT "Ruvoso"
!define VERSION "1.0.0.0"
!define SERVICE "RuvoSearchService"
; The program's switch for its elevated task, and the task that installs and starts the service.
!define ELEVATED_MARKER "7E1A93D4F20B4C6A9D58E3B17A0C46F2"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MAIN_FORM_CLASS "TfrmRuvoSearch"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PRODUCT}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Waits (at most 15 s) until no process holds the file open, so it can be replaced.
!macro WaitFileFree FILE
  ${If} ${FileExists} "${FILE}"
    StrCpy $1 0
    ${Do}
      ClearErrors
      FileOpen $0 "${FILE}" a
      ${IfNot} ${Errors}
        FileClose $0
        ${Break}
      ${EndIf}
      Sleep 200
      IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 75
  ${EndIf}
!macroend

; Ends a running program the way other processes are meant to: WM_CLOSE with 10/10.
!macro EndProgram
  FindWindow $0 "${MAIN_FORM_CLASS}"
  ${If} $0 <> 0
    SendMessage $0 ${WM_CLOSE} 10 10 /TIMEOUT=5000
  ${EndIf}
  !insertmacro WaitFileFree "$INSTDIR\RuvoSearch.exe"
!macroend

!macro StopService
  nsExec::Exec '"$SYSDIR\sc.exe" stop ${SERVICE}'
  Pop $0
  !insertmacro WaitFileFree "$INSTDIR\RuvoService.exe"
!macroend

; The hook library stays mapped in hooked processes for a while after the program ends; a
; mapped file can be renamed but not replaced, so it is moved aside and deleted at the latest
; on the next restart.
!macro SetAsideHookLibrary
  ${If} ${FileExists} "$INSTDIR\RuvoSearch.dll"
    Delete "$INSTDIR\RuvoSearch.dll.old"
    ClearErrors
    Delete "$INSTDIR\RuvoSearch.dll"
    ${If} ${Errors}
      Rename "$INSTDIR\RuvoSearch.dll" "$INSTDIR\RuvoSearch.dll.old"
      Delete /REBOOTOK "$INSTDIR\RuvoSearch.dll.old"
    ${EndIf}
  ${EndIf}
!macroend

Function .onInit
!if ${EDITION} == 64
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONINFORMATION "此版本仅适用于64位系统。" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!else
  ${If} ${RunningX64}
    MessageBox MB_ICONINFORMATION "64位系统请使用64位专用版本。" /SD IDOK
    Abort
  ${EndIf}
!endif
FunctionEnd

Function un.onInit
!if ${EDITION} == 64
  SetRegView 64
!endif
FunctionEnd

Section "${PRODUCT}"
  !insertmacro EndProgram
  !insertmacro StopService
  !insertmacro SetAsideHookLibrary
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${BINDIR}\RuvoSearch.exe"
  File "${BINDIR}\RuvoSearch.dll"
  File "${BINDIR}\RuvoService.exe"
  WriteUninstaller "$INSTDIR\uninst.exe"

  ; The program's own supervision installs (or re-points) and starts the service.
  ExecWait '"$INSTDIR\RuvoSearch.exe" /${ELEVATED_MARKER} /SvcInstall' $0
  ${If} $0 <> 0
    DetailPrint "The search service could not be started (code $0)."
    MessageBox MB_ICONEXCLAMATION "无法启动搜索后台服务程序，请重新安装本程序。" /SD IDOK
    SetErrors
  ${EndIf}

  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\RuvoSearch.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\RuvoSearch.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninst.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninst.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Started by the installer, so that the program finds the channel in this file's name; the
  ; installer stays until the program is up (at most 10 s), so the name is still there to read.
  Exec '"$INSTDIR\RuvoSearch.exe"'
  StrCpy $1 0
  ${Do}
    Sleep 200
    IntOp $1 $1 + 1
    FindWindow $0 "${MAIN_FORM_CLASS}"
    ${If} $0 <> 0
    ${OrIf} $1 >= 50
      ${Break}
    ${EndIf}
  ${Loop}
  Sleep 500
SectionEnd

Section "Uninstall"
  !insertmacro EndProgram
  !insertmacro StopService
  !insertmacro SetAsideHookLibrary
  nsExec::Exec '"$SYSDIR\sc.exe" delete ${SERVICE}'
  Pop $0
  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\RuvoSearch.exe"
  Delete "$INSTDIR\RuvoService.exe"
  Delete "$INSTDIR\uninst.exe"
  RMDir "$INSTDIR"
SectionEnd
