; The installer: its checks, its all-or-nothing install and its last page. Included by
; crackleton.nsi.

; The player makes its Plugins folder when it is installed: a folder without one is not the
; player's. Interactively the directory page stays open for another choice.
Function CheckPlayerFolder
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\*.*"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$INSTDIR has no Plugins folder, so it is not where \
Winamp is installed. Choose the folder with winamp.exe and a Plugins folder." /SD IDOK
    ${If} ${Silent}
      SetErrorLevel ${EXIT_NOT_PLAYER_FOLDER}
      Quit
    ${EndIf}
    Abort
  ${EndIf}
FunctionEnd

; The checks come before anything is written: here for a silent run, whose folder is settled
; (the registry, or /D=), and on leaving the directory page otherwise.
Function CheckBeforeInstalling
  Call CheckPlayerFolder
  Call WaitForPlayerToClose
  StrCpy $R0 "$INSTDIR\Plugins\${LIBRARY_FILE}"
  StrCpy $R1 "$INSTDIR\Plugins\${UNINSTALLER}"
  Call WaitForFilesToBeFree
FunctionEnd

Function .onInit
  ${If} ${Silent}
    Call CheckBeforeInstalling
  ${EndIf}
FunctionEnd

; Sets $0 to the size of file $0 in KiB, rounded up; 0 when it cannot be read.
Function FileSizeInKiB
  ClearErrors
  FileOpen $1 $0 r
  ${If} ${Errors}
    StrCpy $0 0
    Return
  ${EndIf}
  FileSeek $1 0 END $0
  FileClose $1
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
FunctionEnd

; The install is all or nothing. The new library and uninstaller are written beside the old
; ones, swapped in (the old ones kept under other names), and registered; the old files go only
; once that is all done. A step that fails puts back what was there, files and registration, and
; the exit code and a message say what happened. An upgrade leaves plugin.ini, with the user's
; settings, alone.

; The registration this run replaces, to put back: whether there was one, and what it said.
Var keyWasThere
Var earlierDisplayName
Var earlierVersion
Var earlierLocation
Var earlierSize
Var legacyKeyIsOurs
; 1 once this run has begun to write the registration.
Var registering

; Writes the registration: DisplayName $0, DisplayVersion $1, InstallLocation $2 (the Plugins
; folder, where the uninstaller is) and EstimatedSize $3. Sets the error flag when a value could
; not be written.
Function WriteRegistration
  ClearErrors
  WriteRegStr HKLM $installKey "DisplayName" $0
  WriteRegStr HKLM $installKey "DisplayVersion" $1
  WriteRegStr HKLM $installKey "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM $installKey "InstallLocation" $2
  WriteRegStr HKLM $installKey "UninstallString" '"$2\${UNINSTALLER}"'
  ; In place (_?=), so that a deployment reads the uninstall's own exit code: run as Windows' list
  ; runs it, an uninstaller starts a copy of itself and exits at once, with 0.
  WriteRegStr HKLM $installKey "QuietUninstallString" '"$2\${UNINSTALLER}" /S _?=$2'
  WriteRegDWORD HKLM $installKey "NoModify" 1
  WriteRegDWORD HKLM $installKey "NoRepair" 1
  WriteRegDWORD HKLM $installKey "EstimatedSize" $3
FunctionEnd

; Reads the registration this install replaces: this folder's own, or none.
Function ReadEarlierRegistration
  ClearErrors
  ReadRegStr $earlierLocation HKLM $installKey "InstallLocation"
  ${If} ${Errors}
    StrCpy $keyWasThere 0
  ${Else}
    StrCpy $keyWasThere 1
    ReadRegStr $earlierDisplayName HKLM $installKey "DisplayName"
    ReadRegStr $earlierVersion HKLM $installKey "DisplayVersion"
    ReadRegDWORD $earlierSize HKLM $installKey "EstimatedSize"
  ${EndIf}
  Call LegacyKeyIsOurs
  StrCpy $legacyKeyIsOurs $0
  StrCpy $registering 0
FunctionEnd

; Puts file $0 back as it was before this run: the new copy removed, beside it or in its place,
; and the old one, kept aside, back under its name. Every copy under the two other names is this
; run's: those an earlier run left are removed first. Sets $9 to 1 when a step fails.
Var installStep
!define STEP_CLEARING 0
!define STEP_WRITING 1
!define STEP_SWAPPING 2
Function PutBackFile
  ${IfThen} $installStep = ${STEP_CLEARING} ${|} Return ${|}
  ClearErrors
  ${If} $installStep = ${STEP_SWAPPING}
  ${AndIfNot} ${FileExists} "$0${NEW_SUFFIX}"
    Delete $0
  ${EndIf}
  Delete "$0${NEW_SUFFIX}"
  ${If} ${FileExists} "$0${OLD_SUFFIX}"
    Rename "$0${OLD_SUFFIX}" $0
  ${EndIf}
  ${If} ${Errors}
    StrCpy $9 1
    DetailPrint "$0 could not be put back as it was."
  ${EndIf}
FunctionEnd

; Puts back what was there before this run, and leaves: exit code $0, and $1 what was not done.
Function InstallFailed
  ; The code waits on the stack for ReportExitCode.
  Push $0
  Push $1
  StrCpy $9 0
  ${If} $registering = 1
    ${If} $keyWasThere = 1
      StrCpy $0 $earlierDisplayName
      StrCpy $1 $earlierVersion
      StrCpy $2 $earlierLocation
      StrCpy $3 $earlierSize
      Call WriteRegistration
    ${Else}
      ClearErrors
      DeleteRegKey HKLM $installKey
    ${EndIf}
    ${If} ${Errors}
      StrCpy $9 1
      DetailPrint "The registration could not be put back as it was."
    ${EndIf}
  ${EndIf}
  StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}"
  Call PutBackFile
  StrCpy $0 "$INSTDIR\Plugins\${LIBRARY_FILE}"
  Call PutBackFile
  Pop $1
  Call ReportExitCode
  StrCpy $0 "Nothing has been changed: an install of Crackleton that was there is as it was."
  ${If} $9 = 1
    StrCpy $0 "What was there could not all be put back (see the details); run Setup again."
  ${EndIf}
  DetailPrint "Crackleton is not installed: $1."
  MessageBox MB_OK|MB_ICONSTOP "Crackleton is not installed: $1. $0" /SD IDOK
  Abort
FunctionEnd

; A file that cannot be written (a full disk, a folder without the right to write) or a name
; taken by a folder stops the install here, before anything of the earlier install changes.
Function WriteNewFiles
  StrCpy $installStep ${STEP_CLEARING}
  ClearErrors
  Delete "$INSTDIR\Plugins\${LIBRARY_FILE}${NEW_SUFFIX}"
  Delete "$INSTDIR\Plugins\${LIBRARY_FILE}${OLD_SUFFIX}"
  Delete "$INSTDIR\Plugins\${UNINSTALLER}${NEW_SUFFIX}"
  Delete "$INSTDIR\Plugins\${UNINSTALLER}${OLD_SUFFIX}"
  ${If} ${Errors}
    StrCpy $0 ${EXIT_FILE_IN_USE}
    StrCpy $1 "a copy an earlier run left in $INSTDIR\Plugins is in use and could not be removed"
    Call InstallFailed
  ${EndIf}
  StrCpy $installStep ${STEP_WRITING}
  ; /nonfatal: a file that cannot be written sets the error flag for the check below, where NSIS
  ; would otherwise ask the user, or in a silent run skip the file and go on.
  File /nonfatal "/oname=${LIBRARY_FILE}${NEW_SUFFIX}" "${DLL}"
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}${NEW_SUFFIX}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\Plugins\${LIBRARY_FILE}${NEW_SUFFIX}"
  ${OrIfNot} ${FileExists} "$INSTDIR\Plugins\${UNINSTALLER}${NEW_SUFFIX}"
    StrCpy $0 ${EXIT_NOT_WRITTEN}
    StrCpy $1 "its files could not be written into $INSTDIR\Plugins"
    Call InstallFailed
  ${EndIf}
  StrCpy $installStep ${STEP_SWAPPING}
FunctionEnd

; Moves file $0 aside (if there is one) and its new copy into its place.
; (LogicLib's ${Errors} clears the error flag as it reads it: a flag read twice is kept in a
; variable.)
Function SwapInFile
  ClearErrors
  ${If} ${FileExists} $0
    Rename $0 "$0${OLD_SUFFIX}"
  ${EndIf}
  StrCpy $1 0
  ${IfThen} ${Errors} ${|} StrCpy $1 1 ${|}
  ${If} $1 = 0
    Rename "$0${NEW_SUFFIX}" $0
    ${IfThen} ${Errors} ${|} StrCpy $1 1 ${|}
  ${EndIf}
  ${If} $1 = 1
    StrCpy $1 "$0 is in use by another program and could not be replaced"
    StrCpy $0 ${EXIT_FILE_IN_USE}
    Call InstallFailed
  ${EndIf}
FunctionEnd

Function Register
  StrCpy $0 "$INSTDIR\Plugins\${LIBRARY_FILE}"
  Call FileSizeInKiB
  StrCpy $3 $0
  StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}"
  Call FileSizeInKiB
  IntOp $3 $3 + $0
  StrCpy $0 "${PRODUCT} ${VERSION_SHORT} (Winamp DSP plug-in, $playerFolder)"
  StrCpy $1 "${VERSION}"
  StrCpy $2 "$INSTDIR\Plugins"
  StrCpy $registering 1
  Call WriteRegistration
  ${If} ${Errors}
    StrCpy $0 ${EXIT_NOT_WRITTEN}
    StrCpy $1 "its registration could not be written"
    Call InstallFailed
  ${EndIf}
FunctionEnd

; The old files go once the new install is whole. Both must be free first, so that a program
; that has loaded the old library since the check at the start finds the old install put back
; whole. Only a program that loads it between this check and the next step leaves the old file
; behind, for Windows to delete when it restarts.
Function RemoveOldFiles
  StrCpy $0 "$INSTDIR\Plugins\${LIBRARY_FILE}${OLD_SUFFIX}"
  Call FileInUse
  ${If} $1 = 0
    StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}${OLD_SUFFIX}"
    Call FileInUse
  ${EndIf}
  ${If} $1 <> 0
    StrCpy $1 "the earlier $0 is in use by another program"
    StrCpy $0 ${EXIT_FILE_IN_USE}
    Call InstallFailed
  ${EndIf}
  StrCpy $0 "$INSTDIR\Plugins\${LIBRARY_FILE}${OLD_SUFFIX}"
  Call RemoveOldFile
  StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}${OLD_SUFFIX}"
  Call RemoveOldFile
FunctionEnd

Function RemoveOldFile
  ClearErrors
  SetRebootFlag false
  Delete /REBOOTOK $0
  ${If} ${Errors}
  ${OrIf} ${RebootFlag}
    DetailPrint "The earlier version's $0 stays until Windows restarts."
    Push ${EXIT_LEFT_BEHIND}
    Call ReportExitCode
  ${EndIf}
FunctionEnd

Function RemoveLegacyRegistration
  ${If} $legacyKeyIsOurs = 1
    ClearErrors
    DeleteRegKey HKLM "${LEGACY_KEY}"
    ${If} ${Errors}
      DetailPrint "The first release's registration (${LEGACY_KEY}) could not be removed: \
Windows lists Crackleton twice, and either entry uninstalls it."
      Push ${EXIT_LEFT_BEHIND}
      Call ReportExitCode
    ${EndIf}
  ${EndIf}
FunctionEnd

Section
  StrCpy $0 $INSTDIR
  Call FindPlayerSettingsFolder
  Call FindInstallKey
  Call ReadEarlierRegistration
  SetOutPath "$INSTDIR\Plugins"
  Call WriteNewFiles
  StrCpy $0 "$INSTDIR\Plugins\${LIBRARY_FILE}"
  Call SwapInFile
  StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}"
  Call SwapInFile
  Call Register
  Call RemoveOldFiles
  Call RemoveLegacyRegistration
SectionEnd

; Not chosen: says so, with $0 why, and how to choose the plug-in by hand.
Function PluginNotChosen
  DetailPrint "Crackleton is not chosen in the player's settings: $0."
  MessageBox MB_OK|MB_ICONEXCLAMATION "Crackleton is installed but not chosen as the player's \
DSP/effect plug-in: $0. To choose it yourself, open the player's Preferences (Ctrl+P), go to \
Plug-ins, DSP/Effect, and pick $\"${SETTINGS_SECTION}$\"." /SD IDOK
  Push ${EXIT_NOT_CHOSEN}
  Call ReportExitCode
FunctionEnd

; Makes Crackleton the player's DSP/effect plug-in, whichever one was chosen before, through the
; profile API, which leaves the rest of winamp.ini to the player's own reading. The player reads
; the file when it starts, and writes its own choice back when it closes: so it must not be
; running now, which it may be, started while the last page was up. A settings folder or
; winamp.ini that this makes is recorded in the registration, for the uninstaller.
Function ChoosePluginInPlayer
  StrCpy $0 "It would write its own choice of plug-in back when it closes."
  Call IsPlayerClosed
  ${If} $0 = 0
    StrCpy $0 "the player was running"
    Call PluginNotChosen
    Return
  ${EndIf}
  StrCpy $0 $INSTDIR
  Call FindPlayerSettingsFolder
  ${If} $playerSettingsFolder == ""
    StrCpy $0 "its settings folder has no path here"
    Call PluginNotChosen
    Return
  ${EndIf}

  ; $5: the outermost of the folders to make, if any; $6: the file.
  StrCpy $5 ""
  StrCpy $0 $playerSettingsFolder
  ${DoUntil} ${FileExists} "$0\*.*"
    StrCpy $5 $0
    ${GetParent} $0 $0
    ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
  ${Loop}
  StrCpy $6 "$playerSettingsFolder\${PLAYER_SETTINGS_FILE}"
  StrCpy $7 0
  ${IfNotThen} ${FileExists} $6 ${|} StrCpy $7 1 ${|}
  ClearErrors
  CreateDirectory $playerSettingsFolder
  WriteINIStr $6 "Winamp" "${DSP_NAME_KEY}" "${LIBRARY_FILE}"
  WriteINIStr $6 "Winamp" "${DSP_NUMBER_KEY}" "0"
  ${If} ${Errors}
    ${If} $7 = 1
      Delete $6
    ${EndIf}
    ${If} $5 != ""
      StrCpy $0 $playerSettingsFolder
      StrCpy $1 $5
      Call RemoveMadeFolders
    ${EndIf}
    StrCpy $0 "$6 could not be written"
    Call PluginNotChosen
    Return
  ${EndIf}
  DetailPrint "Chose the plug-in in $6."

  ClearErrors
  ${If} $7 = 1
    WriteRegStr HKLM $installKey "${MADE_SETTINGS_VALUE}" $6
  ${EndIf}
  ${If} $5 != ""
    WriteRegStr HKLM $installKey "${MADE_FOLDER_VALUE}" $5
  ${EndIf}
  ${If} ${Errors}
    DetailPrint "What Setup made for the player's settings could not be recorded: the \
uninstaller will leave it."
  ${EndIf}
FunctionEnd

; The installer runs elevated; a player started from it would run elevated too, and keep its
; settings where an elevated program's go. Explorer, started with a program's path, hands it to
; the desktop's own shell, which starts it as the signed-in user (Wine's explorer.exe, which has
; no separate shell to hand it to, starts it through ShellExecute and ends).
Function StartPlayer
  ${If} ${FileExists} "$INSTDIR\winamp.exe"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\winamp.exe"'
  ${EndIf}
FunctionEnd

; Under the boxes: where the settings window is.
Function ShowSettingsWindowHint
  ${NSD_CreateLabel} 120u 130u 195u 40u "To change the noise later, open the player's Preferences \
(Ctrl+P), go to Plug-ins, DSP/Effect, and press $\"Configure active plug-in$\"."
  Pop $0
  SetCtlColors $0 "${MUI_TEXTCOLOR}" "${MUI_BGCOLOR}"
FunctionEnd

; A silent install chooses the plug-in only when asked to.
Function .onInstSuccess
  GetErrorLevel $0
  ${If} $0 = ${EXIT_LEFT_BEHIND}
    MessageBox MB_OK|MB_ICONEXCLAMATION "Crackleton is installed, but not all of its earlier \
version could be removed (see the details). A file that is in use goes when Windows restarts." \
/SD IDOK
  ${EndIf}
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ACTIVATE" $1
    ${IfNot} ${Errors}
      Call ChoosePluginInPlayer
    ${EndIf}
  ${EndIf}
FunctionEnd
