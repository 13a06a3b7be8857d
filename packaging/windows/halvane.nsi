; The Windows installer of Halvane: both programs with their DLLs and plugins in Program Files,
; the tray client started at every log-on of every user, the console (and the tray client, to
; start it again after an Exit) in the Start menu, halvane.ini written once and kept on every
; upgrade, and an uninstaller. Built by scripts/build-windows:
;   makensis -DVERSION=1.0.0 -DDIST=<program folder> -DFILES=<file lists> -DOUTFILE=<setup.exe> halvane.nsi
; Silent use: setup.exe /S [/SERVER=host] [/D=folder]; Uninstall.exe /S.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "nsDialogs.nsh"

!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvane"
!define RUNKEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "Halvane"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Halvane"
RequestExecutionLevel admin
BrandingText "Halvane ${VERSION}"

Var Server
Var ServerField
Var Upgrade

!define MUI_ABORTWARNING
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
Page custom ServerPage ServerPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ; An earlier installation is upgraded where it is.
  StrCpy $Upgrade 0
  ReadRegStr $0 HKLM "${UNINSTKEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Morvik.exe"
    StrCpy $INSTDIR $0
    StrCpy $Upgrade 1
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/SERVER=" $Server
  ${If} ${Errors}
  ${OrIf} $Server == ""
    StrCpy $Server "ServerComputerName"
  ${EndIf}
FunctionEnd

Function SkipOnUpgrade
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
FunctionEnd

; The database server's host name, asked only while there is no halvane.ini yet.
Function ServerPage
  ${If} ${FileExists} "$INSTDIR\halvane.ini"
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Database server" "The computer that runs the MariaDB or MySQL server of the facility."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Host name (or address) of the database server. Both programs read it from halvane.ini in the installation folder; an upgrade keeps that file."
  Pop $0
  ${NSD_CreateText} 0 30u 100% 12u "$Server"
  Pop $ServerField
  nsDialogs::Show
FunctionEnd

Function ServerPageLeave
  ${NSD_GetText} $ServerField $Server
  ${If} $Server == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "Please type the database server's host name."
    Abort
  ${EndIf}
FunctionEnd

; Running copies hold their files open; they are ended before the files are replaced.
!macro EndRunningCopies
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM Morvik.exe'
  Pop $0
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM Halvane.exe'
  Pop $0
  Sleep 500
!macroend

Section "Halvane"
  SetRegView 64
  SetShellVarContext all
  !insertmacro EndRunningCopies
  !include "${FILES}\install.nsh"
  SetOutPath "$INSTDIR"
  ${IfNot} ${FileExists} "$INSTDIR\halvane.ini"
    FileOpen $0 "$INSTDIR\halvane.ini" w
    FileWrite $0 "MYSQLSERVERNAME=$Server$\r$\n"
    FileClose $0
  ${EndIf}

  WriteRegStr HKLM "${RUNKEY}" "Morvik" '"$INSTDIR\Morvik.exe"'
  CreateShortCut "$SMPROGRAMS\Halvane.lnk" "$INSTDIR\Halvane.exe"
  CreateShortCut "$SMPROGRAMS\Morvik.lnk" "$INSTDIR\Morvik.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "Halvane"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "Halvane"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" '"$INSTDIR\Halvane.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  !insertmacro EndRunningCopies
  DeleteRegValue HKLM "${RUNKEY}" "Morvik"
  Delete "$SMPROGRAMS\Halvane.lnk"
  Delete "$SMPROGRAMS\Morvik.lnk"
  !include "${FILES}\uninstall.nsh"
  Delete "$INSTDIR\halvane.ini"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
