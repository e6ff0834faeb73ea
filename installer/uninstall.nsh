; The uninstaller: what it checks, what it removes and what it keeps for other installs. Included
; by crackleton.nsi, after settings_section.nsh.

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here. Windows' list of
; programs runs it as a copy in the temporary folder, which removes the one here; run in place
; (_?=), it leaves that to a copy it starts at the end (un.LeaveSelfToACopy).
Var inPlace
; What a copy is started with to delete the uninstaller here once process PID has ended.
!define REMOVE_AFTER_OPTION "/REMOVE-AFTER="
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "${REMOVE_AFTER_OPTION}" $0
  ${IfNot} ${Errors}
    Call un.RemoveEndedUninstaller
    Quit
  ${EndIf}
  Call un.WaitForPlayerToClose
  StrCpy $0 $EXEPATH
  Call un.FullPath
  StrCpy $R9 $0
  StrCpy $0 "$INSTDIR\${UNINSTALLER}"
  Call un.FullPath
  StrCpy $inPlace 0
  ${IfThen} $0 == $R9 ${|} StrCpy $inPlace 1 ${|}
  StrCpy $R0 "$INSTDIR\${LIBRARY_FILE}"
  StrCpy $R1 ""
  Call un.WaitForFilesToBeFree
FunctionEnd

; Settings other installs share. Two players may share a settings folder (paths.ini names the
; same one), and a player without paths.ini has its plug-ins' settings cleaned out of
; %APPDATA%\Winamp too: a plugin.ini or a winamp.ini that another registered install of ours
; reads or cleans up keeps our section and our choice, for that install to take out.
;
; Sets $0 to 1 when file $0 is one another registered install of ours uses. A registration
; whose library is gone is no install, and one that names this player's folder is this one's.
Function un.UsedByAnotherInstall
  Push $playerFolder
  Push $playerSettingsFolder
  Push $settingsFolderNamed
  StrCpy $R2 $0
  StrCpy $R3 0
  StrCpy $R4 0
  StrCpy $R5 $playerFolder
  StrLen $R8 "${PRODUCT}-"
  ${Do}
    EnumRegKey $R6 HKLM "${UNINSTALL_KEYS}" $R4
    ${IfThen} $R6 == "" ${|} ${ExitDo} ${|}
    IntOp $R4 $R4 + 1
    StrCpy $0 $R6 $R8
    ${If} $R6 != "${PRODUCT}"
    ${AndIf} $0 != "${PRODUCT}-"
      ${Continue}
    ${EndIf}
    ${IfThen} "${UNINSTALL_KEYS}\$R6" == $installKey ${|} ${Continue} ${|}
    ReadRegStr $R7 HKLM "${UNINSTALL_KEYS}\$R6" "InstallLocation"
    ${IfThen} $R7 == "" ${|} ${Continue} ${|}
    ${IfNotThen} ${FileExists} "$R7\${LIBRARY_FILE}" ${|} ${Continue} ${|}
    StrCpy $0 "$R7\.."
    Call un.FindPlayerSettingsFolder
    ${IfThen} $playerFolder == $R5 ${|} ${Continue} ${|}
    ${If} $R2 == "$playerFolder\Plugins\plugin.ini"
    ${OrIf} $R2 == "$playerSettingsFolder\Plugins\plugin.ini"
    ${OrIf} $R2 == "$playerSettingsFolder\${PLAYER_SETTINGS_FILE}"
      StrCpy $R3 1
    ${ElseIf} $settingsFolderNamed = 0
      StrCpy $0 "${USER_SETTINGS_FOLDER}"
      Call un.FullPath
      ${IfThen} $R2 == "$0\Plugins\plugin.ini" ${|} StrCpy $R3 1 ${|}
    ${EndIf}
    ${IfThen} $R3 = 1 ${|} ${ExitDo} ${|}
  ${Loop}
  Pop $settingsFolderNamed
  Pop $playerSettingsFolder
  Pop $playerFolder
  StrCpy $0 $R3
FunctionEnd

; Where the player is set to load Crackleton, it is set back to none, as the player leaves it when
; the user chooses none; another plug-in chosen there stays chosen, and so does ours where
; another install uses that winamp.ini. This is the first change the uninstaller makes: where
; winamp.ini cannot be written, nothing is removed, so that it never chooses a library that is
; not there.
Var winampIni
Var choiceChanged
Var earlierChoice
Var earlierNumber
Var earlierNumberSet
Function un.UnchoosePluginInPlayer
  StrCpy $choiceChanged 0
  ${IfThen} $winampIni == "" ${|} Return ${|}
  ReadINIStr $earlierChoice $winampIni "Winamp" "${DSP_NAME_KEY}"
  ${IfThen} $earlierChoice != "${LIBRARY_FILE}" ${|} Return ${|}
  StrCpy $0 $winampIni
  Call un.UsedByAnotherInstall
  ${If} $0 = 1
    DetailPrint "The player still chooses the plug-in in $winampIni, which another install of \
Crackleton uses."
    Return
  ${EndIf}
  ClearErrors
  ReadINIStr $earlierNumber $winampIni "Winamp" "${DSP_NUMBER_KEY}"
  StrCpy $earlierNumberSet 1
  ${IfThen} ${Errors} ${|} StrCpy $earlierNumberSet 0 ${|}
  ClearErrors
  WriteINIStr $winampIni "Winamp" "${DSP_NAME_KEY}" ""
  ${IfThen} ${Errors} ${|} Call un.ChoiceNotWritten ${|}
  StrCpy $choiceChanged 1
  WriteINIStr $winampIni "Winamp" "${DSP_NUMBER_KEY}" "0"
  ${IfThen} ${Errors} ${|} Call un.ChoiceNotWritten ${|}
  DetailPrint "The player's DSP/effect plug-in is set back to none in $winampIni."
FunctionEnd

Function un.ChoiceNotWritten
  Call un.PutBackPlayerChoice
  DetailPrint "$winampIni could not be written: nothing is removed."
  MessageBox MB_OK|MB_ICONSTOP "Crackleton is not uninstalled, and nothing has been changed: \
the player's settings ($winampIni) choose it, and cannot be written. Close the program that has \
the file open, or make it writable, then uninstall again." /SD IDOK
  Push ${EXIT_CHOICE_KEPT}
  Call un.ReportExitCode
  Abort
FunctionEnd

Function un.PutBackPlayerChoice
  ${IfThen} $choiceChanged = 0 ${|} Return ${|}
  ClearErrors
  WriteINIStr $winampIni "Winamp" "${DSP_NAME_KEY}" $earlierChoice
  ${If} $earlierNumberSet = 1
    WriteINIStr $winampIni "Winamp" "${DSP_NUMBER_KEY}" $earlierNumber
  ${Else}
    DeleteINIStr $winampIni "Winamp" "${DSP_NUMBER_KEY}"
  ${EndIf}
  ${IfThen} ${Errors} ${|} DetailPrint "$winampIni could not be put back as it was." ${|}
FunctionEnd

; The library was free when the uninstaller started; a program that has loaded it since keeps it,
; and then the uninstall stops here, with the player's choice put back.
Function un.RemoveLibrary
  ClearErrors
  Delete "$INSTDIR\${LIBRARY_FILE}"
  ${If} ${Errors}
    Call un.PutBackPlayerChoice
    DetailPrint "$INSTDIR\${LIBRARY_FILE} is in use by another program: nothing is removed."
    MessageBox MB_OK|MB_ICONSTOP "Crackleton is not uninstalled: $INSTDIR\${LIBRARY_FILE} is in \
use by another program. Close the program that has it open (another player, or any program that \
loads Winamp plug-ins), or restart Windows, then uninstall again." /SD IDOK
    Push ${EXIT_FILE_IN_USE}
    Call un.ReportExitCode
    Abort
  ${EndIf}
FunctionEnd

; Takes our section out of plugin.ini $iniPath, unless another install uses that file.
Function un.RemoveSharedSettingsSection
  ${IfNotThen} ${FileExists} $iniPath ${|} Return ${|}
  StrCpy $0 $iniPath
  Call un.UsedByAnotherInstall
  ${If} $0 = 1
    DetailPrint "The plug-in's settings stay in $iniPath, which another install of Crackleton \
uses."
    Return
  ${EndIf}
  Call un.RemoveSettingsSection
FunctionEnd

; Sets $0 to the names in winamp.ini $0, as the profile API reads them, that are not among $1
; ("|NAME|NAME|"): of its sections when $2 is empty, else of its section $2.
!define PROFILE_NAMES_CHARS 1024
!define /math PROFILE_NAMES_FULL ${PROFILE_NAMES_CHARS} - 2
!define /math PROFILE_BUFFER_BYTES ${PROFILE_NAMES_CHARS} + ${NSIS_MAX_STRLEN}
!define /redef /math PROFILE_BUFFER_BYTES ${PROFILE_BUFFER_BYTES} * 2
Function un.CountOtherProfileNames
  StrCpy $3 $0
  System::Alloc ${PROFILE_BUFFER_BYTES}
  Pop $4
  ${If} $2 == ""
    System::Call 'kernel32::GetPrivateProfileStringW(p 0, p 0, w "", p r4, \
i ${PROFILE_NAMES_CHARS}, w r3) i .r5'
  ${Else}
    System::Call 'kernel32::GetPrivateProfileStringW(w r2, p 0, w "", p r4, \
i ${PROFILE_NAMES_CHARS}, w r3) i .r5'
  ${EndIf}
  StrCpy $0 0
  ; A list the buffer cannot hold is more than ours.
  ${IfThen} $5 >= ${PROFILE_NAMES_FULL} ${|} StrCpy $0 1 ${|}
  StrCpy $6 $4
  ${Do}
    System::Call '*$6(&w${NSIS_MAX_STRLEN} .r7)'
    ${IfThen} $7 == "" ${|} ${ExitDo} ${|}
    StrCpy $9 "|$7|"
    System::Call 'shlwapi::StrStrIW(w r1, w r9) p .r8'
    ${IfThen} $8 = 0 ${|} IntOp $0 $0 + 1 ${|}
    StrLen $8 $7
    IntOp $8 $8 + 1
    IntOp $8 $8 * 2
    IntOp $6 $6 + $8
  ${Loop}
  System::Free $4
FunctionEnd

; What the installer made for the player's settings, where there was nothing: a winamp.ini that
; holds nothing but what it wrote (the [Winamp] section with our two keys) goes, and so do the
; folders it made, each while it is empty.
Function un.RemoveWhatTheInstallerMade
  ReadRegStr $R0 HKLM $installKey "${MADE_SETTINGS_VALUE}"
  ReadRegStr $R1 HKLM $installKey "${MADE_FOLDER_VALUE}"
  ${IfThen} $R0 == "" ${|} Return ${|}
  ${If} ${FileExists} $R0
    StrCpy $0 $R0
    Call un.UsedByAnotherInstall
    ${IfThen} $0 = 1 ${|} Return ${|}
    StrCpy $0 $R0
    StrCpy $1 "|Winamp|"
    StrCpy $2 ""
    Call un.CountOtherProfileNames
    StrCpy $R2 $0
    StrCpy $0 $R0
    StrCpy $1 "|${DSP_NAME_KEY}|${DSP_NUMBER_KEY}|"
    StrCpy $2 "Winamp"
    Call un.CountOtherProfileNames
    IntOp $R2 $R2 + $0
    ${If} $R2 > 0
      DetailPrint "$R0, which Setup made, holds more now, and stays."
      Return
    ${EndIf}
    ClearErrors
    Delete $R0
    ${If} ${Errors}
      DetailPrint "$R0, which Setup made, could not be removed."
      Push ${EXIT_LEFT_BEHIND}
      Call un.ReportExitCode
      Return
    ${EndIf}
    DetailPrint "Removed $R0, which Setup made."
  ${EndIf}
  ${If} $R1 != ""
    ${GetParent} $R0 $0
    StrCpy $1 $R1
    Call un.RemoveMadeFolders
    ${If} $2 != ""
      DetailPrint "$2, which Setup made, could not be removed."
      Push ${EXIT_LEFT_BEHIND}
      Call un.ReportExitCode
    ${EndIf}
  ${EndIf}
FunctionEnd

; A copy in the temporary folder deletes the uninstaller here, which started it and may not have
; ended yet: a few tries. Sets the error flag when they all fail.
!define REMOVE_SELF_TRIES 10
!define REMOVE_SELF_PAUSE_MS 300
Function un.DeleteStartingUninstaller
  StrCpy $0 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${UNINSTALLER}"
    ${IfNotThen} ${Errors} ${|} Return ${|}
    IntOp $0 $0 + 1
    ${IfThen} $0 >= ${REMOVE_SELF_TRIES} ${|} ${ExitDo} ${|}
    Sleep ${REMOVE_SELF_PAUSE_MS}
  ${Loop}
  SetErrors
FunctionEnd

; Run in place (_?=), as the registration's quiet command runs it, the uninstaller cannot delete
; its own file while it runs (it holds it open). So it leaves that to a copy of itself in the
; temporary folder, which waits for it to end, deletes it, and is deleted itself when Windows next
; restarts, as the copy that Windows' list of programs runs is. Sets the error flag where the copy
; cannot be made or started.
Function un.LeaveSelfToACopy
  GetTempFileName $0
  System::Call 'kernel32::CopyFileW(w "$EXEPATH", w r0, i 0) i .r1'
  ${If} $1 = 0
    Delete $0
    SetErrors
    Return
  ${EndIf}
  System::Call 'kernel32::GetCurrentProcessId() i .r1'
  ClearErrors
  Exec '"$0" ${REMOVE_AFTER_OPTION}$1 _?=$INSTDIR'
  ${IfThen} ${Errors} ${|} Delete $0 ${|}
FunctionEnd

; The copy's part: waits for uninstaller process $0 to end (a minute at most), deletes its file
; (a few tries, then at Windows' next restart), and has Windows delete this copy then too.
!define SYNCHRONIZE 0x100000
!define PARENT_WAIT_MS 60000
Function un.RemoveEndedUninstaller
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r0) p .r1'
  ${If} $1 <> 0
    System::Call 'kernel32::WaitForSingleObject(p r1, i ${PARENT_WAIT_MS}) i .r2'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  Call un.DeleteStartingUninstaller
  ${IfThen} ${Errors} ${|} Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}" ${|}
  Delete /REBOOTOK $EXEPATH
FunctionEnd

Function un.RemoveUninstallerAndRegistration
  ${If} $inPlace = 1
    Call un.LeaveSelfToACopy
  ${Else}
    Call un.DeleteStartingUninstaller
  ${EndIf}
  ${If} ${Errors}
    ClearErrors
    Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
    Push ${EXIT_LEFT_BEHIND}
    Call un.ReportExitCode
    ; One that stays for good keeps its registration, to be run again.
    ${If} ${Errors}
      DetailPrint "$INSTDIR\${UNINSTALLER} could not be removed; it stays registered."
      Return
    ${EndIf}
    DetailPrint "$INSTDIR\${UNINSTALLER} stays until Windows restarts."
  ${EndIf}

  StrCpy $1 0
  ClearErrors
  ReadRegStr $0 HKLM $installKey "InstallLocation"
  ${IfNot} ${Errors}
    DeleteRegKey HKLM $installKey
    ${IfThen} ${Errors} ${|} StrCpy $1 1 ${|}
  ${EndIf}
  Call un.LegacyKeyIsOurs
  ${If} $0 = 1
    ClearErrors
    DeleteRegKey HKLM "${LEGACY_KEY}"
    ${IfThen} ${Errors} ${|} StrCpy $1 1 ${|}
  ${EndIf}
  ${If} $1 = 1
    DetailPrint "Its registration could not be removed."
    Push ${EXIT_LEFT_BEHIND}
    Call un.ReportExitCode
  ${EndIf}
FunctionEnd

; Says what stays, where something does.
Function un.onUninstSuccess
  GetErrorLevel $0
  ${If} $0 = ${EXIT_LEFT_BEHIND}
    MessageBox MB_OK|MB_ICONEXCLAMATION "Crackleton is removed, but not all of its files or \
registration could be (see the details). A file that is in use goes when Windows restarts." \
/SD IDOK
  ${EndIf}
FunctionEnd

; The plug-in keeps its settings in plugin.ini beside itself or, where that folder cannot be
; written, in the Plugins folder of the player's settings folder. A player whose paths.ini names no
; settings folder may still have kept one in the user's Application Data, as the player's own
; installer can set up: our section goes from there too.
Section Uninstall
  StrCpy $0 "$INSTDIR\.."
  Call un.FindPlayerSettingsFolder
  Call un.FindInstallKey
  StrCpy $winampIni ""
  ${If} $playerSettingsFolder != ""
    StrCpy $winampIni "$playerSettingsFolder\${PLAYER_SETTINGS_FILE}"
  ${EndIf}
  Call un.UnchoosePluginInPlayer
  Call un.RemoveLibrary

  StrCpy $iniPath "$INSTDIR\plugin.ini"
  Call un.RemoveSettingsSection
  ${If} $playerSettingsFolder != ""
  ${AndIf} "$playerSettingsFolder\Plugins" != $INSTDIR
    StrCpy $iniPath "$playerSettingsFolder\Plugins\plugin.ini"
    Call un.RemoveSharedSettingsSection
  ${EndIf}
  ${If} $settingsFolderNamed = 0
    StrCpy $0 "${USER_SETTINGS_FOLDER}"
    Call un.FullPath
    StrCpy $iniPath "$0\Plugins\plugin.ini"
    Call un.RemoveSharedSettingsSection
  ${EndIf}

  Call un.RemoveWhatTheInstallerMade
  Call un.RemoveUninstallerAndRegistration
SectionEnd
