; crackleton-VERSION-setup.exe: puts dsp_crackleton.dll into the player's Plugins folder, with an
; uninstaller beside it, and registers that in the system's list of installed programs: one
; registration for each player folder it is installed into.
;
; installer/CMakeLists.txt runs makensis with these defines:
;   VERSION        the project's four-number version, VERSION_SHORT its first two
;   COPYRIGHT      the copyright line of LICENSE
;   DLL            the 32-bit dsp_crackleton.dll to carry
;   LICENSE        the licence text the first page shows, its paragraphs on one line each
;   OUTFILE        where to write the installer
;
; Nothing that depends on the time or place of the build goes in: file times are not stored
; (SetDateSave off) and the script uses no build date.
;
; Command line: /S installs silently; /D=FOLDER (last, unquoted) picks the player's folder;
; /ACTIVATE, with /S, also makes Crackleton the player's DSP/effect plug-in, as the finish page's
; first box does. A silent install otherwise leaves the player's settings alone, and it never
; starts the player.
;
; Exit codes, of the installer and of the uninstaller; where two things went wrong, the higher:
;    0  done: everything asked for happened.
;    1  cancelled by the user before anything was written or removed.
;    2  stopped by an error NSIS itself met.
;    3  (installer) the folder has no Plugins folder: nothing written.
;    4  the player is running: nothing written or removed.
;    5  (uninstaller) the plug-in is removed, but its settings could not be taken out of a
;       plugin.ini, which is left byte for byte as it was.
;    6  (installer) installed, but the plug-in is not chosen in the player's winamp.ini: the file
;       could not be written, or the player was running when it was to be written.
;    7  a file to be replaced or removed is in use by another program (or cannot be written):
;       nothing written or removed, an earlier install stays as it was.
;    8  (installer) the new files or the registration could not be written: an earlier install
;       stays as it was, files and registration.
;    9  (uninstaller) winamp.ini chooses the plug-in and cannot be written: nothing removed.
;   10  done, but something of ours that was to go stays: an earlier version's file or
;       registration (installer); the uninstaller, its registration, or a settings file or
;       folder the installer made (uninstaller). A file Windows can remove at its next restart
;       is left to it.
; The details list and, in an interactive run, a message say what was not done and what to do.

Unicode true

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define PRODUCT "Crackleton"
!define PUBLISHER "Tallowick"
; The player's main window, open while it runs and holds its plug-ins loaded.
!define PLAYER_WINDOW_CLASS "Winamp v1.x"
; The plug-in's section in plugin.ini: its description text (plugin/names.h).
!define SETTINGS_SECTION "Tallowick's Crackleton v1.0"
; The library's file name in the Plugins folder, as the player's winamp.ini names it too.
!define LIBRARY_FILE "dsp_crackleton.dll"
!define UNINSTALLER "Uninstall Crackleton.exe"
; The player's own settings: which DSP plug-in it loads (the file name in its Plugins folder, and
; the module's number).
!define PLAYER_SETTINGS_FILE "winamp.ini"
!define DSP_NAME_KEY "dspplugin_name"
!define DSP_NUMBER_KEY "dspplugin_num"
; Where a player without paths.ini may still keep settings, as the player's own installer can set
; it up (for the user who runs this).
!define USER_SETTINGS_FOLDER "$APPDATA\Winamp"
; Every program's registration is a key under this one. Ours is "Crackleton-" and a hash of the
; player's folder, one for each; the first release wrote the one key "Crackleton".
!define UNINSTALL_KEYS "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define LEGACY_KEY "${UNINSTALL_KEYS}\${PRODUCT}"
; What the installer made for the player's settings where there was nothing, recorded in the
; registration for the uninstaller: the winamp.ini, and the outermost folder it made for it.
!define MADE_SETTINGS_VALUE "MadePlayerSettings"
!define MADE_FOLDER_VALUE "MadeSettingsFolder"
; An install writes its new files beside the old ones under the first name, and keeps the old
; ones under the second until the new install is whole.
!define NEW_SUFFIX ".crackleton-new"
!define OLD_SUFFIX ".crackleton-old"
!define EXIT_NOT_PLAYER_FOLDER 3
!define EXIT_PLAYER_RUNNING 4
!define EXIT_SETTINGS_KEPT 5
!define EXIT_NOT_CHOSEN 6
!define EXIT_FILE_IN_USE 7
!define EXIT_NOT_WRITTEN 8
!define EXIT_CHOICE_KEPT 9
!define EXIT_LEFT_BEHIND 10
; ReplaceFileW's, MoveFileExW's and CreateFileW's numbers.
!define REPLACEFILE_IGNORE_MERGE_ERRORS 2
!define MOVEFILE_REPLACE_EXISTING 1
!define MOVEFILE_WRITE_THROUGH 8
!define GENERIC_WRITE 0x40000000
!define FILE_SHARE_READ_WRITE_DELETE 7
!define OPEN_EXISTING 3
!define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
!define INVALID_HANDLE_VALUE -1
!define ERROR_FILE_NOT_FOUND 2
!define ERROR_PATH_NOT_FOUND 3

Name "${PRODUCT} ${VERSION_SHORT}"
Caption "${PRODUCT} ${VERSION_SHORT} for Winamp"
OutFile "${OUTFILE}"
; The player's own installer records its folder here; the user can still pick another.
InstallDir "$PROGRAMFILES\Winamp"
InstallDirRegKey HKCU "Software\Winamp" ""
; The player usually lives under Program Files, and the registration goes under HKLM.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
SetDateSave off
ShowInstDetails show
ShowUninstDetails show

VIProductVersion ${VERSION}
VIFileVersion ${VERSION}
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION_SHORT} setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "${COPYRIGHT}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install the Crackleton DSP plug-in into the \
Plugins folder of the player installed in the folder below. To use another copy of the player, \
choose its folder (the one with winamp.exe and a Plugins folder)."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Player folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckBeforeInstalling
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The finish page's two boxes are MUI's "run" and "show readme" boxes, with functions of ours:
; MUI calls them in that order, so the plug-in is chosen before the player starts.
!define MUI_FINISHPAGE_TEXT "Crackleton is installed in the player's Plugins folder.$\r$\n$\r$\n\
The first box makes it the player's DSP/effect plug-in, in place of whichever one is chosen now."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Use Crackleton as the player's DSP/effect plug-in"
!define MUI_FINISHPAGE_RUN_FUNCTION ChoosePluginInPlayer
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Start the player now"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION StartPlayer
!define MUI_PAGE_CUSTOMFUNCTION_SHOW ShowSettingsWindowHint
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "This removes the Crackleton plug-in and its settings from \
the player's Plugins folder below. The other plug-ins and their settings stay as they are, and \
so do settings another install of Crackleton shares."
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "Plugins folder:"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; The exit code reports the worst that happened: it takes the code on the stack unless a higher
; one is set already.
!macro DEFINE_REPORT_EXIT_CODE un
  Function ${un}ReportExitCode
    Exch $0
    Push $1
    GetErrorLevel $1
    ${IfThen} $0 > $1 ${|} SetErrorLevel $0 ${|}
    Pop $1
    Pop $0
  FunctionEnd
!macroend
!insertmacro DEFINE_REPORT_EXIT_CODE ""
!insertmacro DEFINE_REPORT_EXIT_CODE "un."

; While the player runs, its plug-ins are loaded: the DLL cannot be replaced or removed, the
; plug-in writes its settings back to plugin.ini when the player stops it, and the player writes
; its own winamp.ini back when it closes. The user closes the player and retries.
!macro DEFINE_WAIT_FOR_PLAYER un
  ; Sets $0 to 1 once no player window is open; to 0 when the user cancels, as a silent run,
  ; which cannot ask, does. $0 on entry: why the player must be closed.
  Function ${un}IsPlayerClosed
    ${Do}
      FindWindow $1 "${PLAYER_WINDOW_CLASS}"
      ${If} $1 = 0
        StrCpy $0 1
        Return
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp is running. $0 Close it, then press \
Retry." /SD IDCANCEL IDRETRY retry
      StrCpy $0 0
      Return
      retry:
    ${Loop}
  FunctionEnd

  ; Before anything is written or removed; cancelling leaves without a change.
  Function ${un}WaitForPlayerToClose
    StrCpy $0 "Its plug-ins cannot be changed while it runs."
    Call ${un}IsPlayerClosed
    ${If} $0 = 0
      SetErrorLevel ${EXIT_PLAYER_RUNNING}
      Quit
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro DEFINE_WAIT_FOR_PLAYER ""
!insertmacro DEFINE_WAIT_FOR_PLAYER "un."

; A library some program has loaded (a second player, any host of Winamp plug-ins, a player in
; another user's session, none of which the player check sees) can be renamed, but not opened
; for writing or deleted; nor can a file a program holds open without sharing it. So opening a
; file for writing, sharing everything, meets what replacing or deleting it would meet, and
; changes nothing.
!macro DEFINE_WAIT_FOR_FILES un
  ; Sets $1 to 0 when file $0 is not there or can be replaced or removed now; otherwise to the
  ; Windows error that opening it met.
  Function ${un}FileInUse
    System::Call 'kernel32::CreateFileW(w r0, i ${GENERIC_WRITE}, \
i ${FILE_SHARE_READ_WRITE_DELETE}, p 0, i ${OPEN_EXISTING}, i 0, p 0) i .r2 ?e'
    Pop $1
    ${If} $2 = ${INVALID_HANDLE_VALUE}
      ${If} $1 = ${ERROR_FILE_NOT_FOUND}
      ${OrIf} $1 = ${ERROR_PATH_NOT_FOUND}
        StrCpy $1 0
      ${EndIf}
    ${Else}
      System::Call 'kernel32::CloseHandle(i r2)'
      StrCpy $1 0
    ${EndIf}
  FunctionEnd

  ; Before anything is written or removed: the files $R0 and $R1 (none when empty) must be free.
  ; The user closes the program that holds one and retries; cancelling (and a silent run) leaves
  ; without a change.
  Function ${un}WaitForFilesToBeFree
    ${Do}
      StrCpy $0 $R0
      Call ${un}FileInUse
      ${If} $1 = 0
      ${AndIf} $R1 != ""
        StrCpy $0 $R1
        Call ${un}FileInUse
      ${EndIf}
      ${IfThen} $1 = 0 ${|} Return ${|}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$0 is in use by another program, or cannot \
be written (Windows error $1), so it cannot be replaced or removed; nothing has been changed. \
Close the program that has it open (another player, or any program that loads Winamp plug-ins), \
then press Retry. If no such program is open, restart Windows and run this again." \
/SD IDCANCEL IDRETRY retry
      SetErrorLevel ${EXIT_FILE_IN_USE}
      Quit
      retry:
    ${Loop}
  FunctionEnd
!macroend
!insertmacro DEFINE_WAIT_FOR_FILES ""
!insertmacro DEFINE_WAIT_FOR_FILES "un."

; Sets $0 to the full path of $0 without a trailing backslash (but for a drive's root): for a file
; or folder that is there, the path Windows resolves it to, through short names, links,
; substituted drives and Wine's second name for every file (on Z:). One spelling for one place,
; to compare and to hash.
!macro DEFINE_FULL_PATH un
  Function ${un}FullPath
    System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
    ${If} $2 > 0
    ${AndIf} $2 < ${NSIS_MAX_STRLEN}
      StrCpy $0 $1
    ${EndIf}
    System::Call 'kernel32::CreateFileW(w r0, i 0, i ${FILE_SHARE_READ_WRITE_DELETE}, p 0, \
i ${OPEN_EXISTING}, i ${FILE_FLAG_BACKUP_SEMANTICS}, p 0) i .r1'
    ${If} $1 <> ${INVALID_HANDLE_VALUE}
      System::Call 'kernel32::GetFinalPathNameByHandleW(i r1, w .r2, i ${NSIS_MAX_STRLEN}, i 0) i .r3'
      System::Call 'kernel32::CloseHandle(i r1)'
      ; It starts with \\?\ (\\?\UNC\ for a share, \\ in the usual form).
      ${If} $3 > 0
      ${AndIf} $3 < ${NSIS_MAX_STRLEN}
        StrCpy $4 $2 8
        ${If} $4 == "\\?\UNC\"
          StrCpy $2 $2 "" 8
          StrCpy $0 "\\$2"
        ${Else}
          StrCpy $0 $2 "" 4
        ${EndIf}
      ${EndIf}
    ${EndIf}
    StrCpy $1 $0 1 -1
    StrLen $2 $0
    ${If} $1 == "\"
    ${AndIf} $2 > 3
      StrCpy $0 $0 -1
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro DEFINE_FULL_PATH ""
!insertmacro DEFINE_FULL_PATH "un."

; The player's settings folder, which holds winamp.ini and a Plugins folder with the player's own
; plugin.ini. The player reads it from "inidir" in paths.ini beside winamp.exe, if there is one:
; an absolute path, or one relative to the player's folder, either of which may hold {N} for the
; shell folder of CSIDL number N ({26} the user's Application Data, {28} its local one, {5}
; Documents). Without it, the player's own folder.
Var playerFolder
Var playerSettingsFolder
; 1 when paths.ini names the settings folder.
Var settingsFolderNamed
!macro DEFINE_FIND_PLAYER_SETTINGS_FOLDER un
  ; Sets $playerFolder to the full path of folder $0, and $playerSettingsFolder to its player's
  ; settings folder; empty when a shell folder that paths.ini names has no path here.
  Function ${un}FindPlayerSettingsFolder
    Call ${un}FullPath
    StrCpy $playerFolder $0
    StrCpy $playerSettingsFolder $playerFolder
    StrCpy $settingsFolderNamed 0
    ReadINIStr $0 "$playerFolder\paths.ini" "Winamp" "inidir"
    ${IfThen} $0 == "" ${|} Return ${|}
    StrCpy $settingsFolderNamed 1

    ; $1 is the text so far with its {N} replaced; $0 what is left to read.
    StrCpy $1 ""
    ${Do}
      StrCpy $2 $0 1
      ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
      StrCpy $0 $0 "" 1
      ${If} $2 == "{"
        ; $3: the text up to the next "}", if there is one and it is a number.
        StrCpy $4 0
        ${Do}
          StrCpy $5 $0 1 $4
          ${IfThen} $5 == "}" ${|} ${ExitDo} ${|}
          ${IfThen} $5 == "" ${|} ${ExitDo} ${|}
          IntOp $4 $4 + 1
        ${Loop}
        StrCpy $3 $0 $4
        IntOp $6 $3 + 0
        ${If} $5 == "}"
        ${AndIf} $3 != ""
        ${AndIf} $6 == $3
          System::Call 'shell32::SHGetFolderPathW(p 0, i r6, p 0, i 0, w .r7) i .r8'
          ${If} $8 <> 0
            StrCpy $playerSettingsFolder ""
            Return
          ${EndIf}
          IntOp $4 $4 + 1
          StrCpy $0 $0 "" $4
          StrCpy $2 $7
        ${EndIf}
      ${EndIf}
      StrCpy $1 "$1$2"
    ${Loop}

    ; A path of its own starts with a drive ("C:") or a backslash ("\\server\share", "\folder").
    StrCpy $2 $1 1
    StrCpy $3 $1 1 1
    ${If} $2 != "\"
    ${AndIf} $3 != ":"
      StrCpy $1 "$playerFolder\$1"
    ${EndIf}
    StrCpy $0 $1
    Call ${un}FullPath
    StrCpy $playerSettingsFolder $0
  FunctionEnd
!macroend
!insertmacro DEFINE_FIND_PLAYER_SETTINGS_FOLDER ""
!insertmacro DEFINE_FIND_PLAYER_SETTINGS_FOLDER "un."

; The registration of the install in $playerFolder: "Crackleton-" and the 32-bit FNV-1a hash of
; the folder's full path, upper-cased, over its UTF-16 units, in eight hex digits; so the
; installer and the uninstaller find the one key of a player folder however it is spelt.
Var installKey
!define FNV_OFFSET_BASIS 0x811C9DC5
!define FNV_PRIME 16777619
!macro DEFINE_FIND_INSTALL_KEY un
  Function ${un}FindInstallKey
    StrCpy $1 $playerFolder
    StrLen $2 $1
    System::Call '*(&w${NSIS_MAX_STRLEN} r1) p .r0'
    System::Call 'user32::CharUpperBuffW(p r0, i r2)'
    IntOp $1 ${FNV_OFFSET_BASIS} + 0
    StrCpy $2 $0
    ${Do}
      System::Call '*$2(&i2 .r3)'
      IntOp $3 $3 & 0xFFFF
      ${IfThen} $3 = 0 ${|} ${ExitDo} ${|}
      IntOp $1 $1 ^ $3
      IntOp $1 $1 * ${FNV_PRIME}
      IntOp $2 $2 + 2
    ${Loop}
    System::Free $0
    IntFmt $1 "%08X" $1
    StrCpy $installKey "${UNINSTALL_KEYS}\${PRODUCT}-$1"
  FunctionEnd
!macroend
!insertmacro DEFINE_FIND_INSTALL_KEY ""
!insertmacro DEFINE_FIND_INSTALL_KEY "un."

; Sets $0 to 1 when the registration of the first release, the key "Crackleton", is there and
; names the Plugins folder of $playerFolder: it is this install's, and goes when this one's is
; written or removed.
!macro DEFINE_LEGACY_KEY_IS_OURS un
  Function ${un}LegacyKeyIsOurs
    ReadRegStr $0 HKLM "${LEGACY_KEY}" "InstallLocation"
    ${If} $0 == ""
      StrCpy $0 0
      Return
    ${EndIf}
    StrCpy $0 "$0\.."
    Call ${un}FullPath
    ${If} $0 == $playerFolder
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro DEFINE_LEGACY_KEY_IS_OURS ""
!insertmacro DEFINE_LEGACY_KEY_IS_OURS "un."

; Removes the folders the installer made for the player's settings: from $0 out to $1, each only
; while it is empty (a folder that holds anything else stays, with those around it). Sets $2 to
; the empty folder that could not be removed, if one could not.
!macro DEFINE_REMOVE_MADE_FOLDERS un
  Function ${un}RemoveMadeFolders
    StrCpy $2 ""
    StrLen $3 $1
    ${Do}
      ${DirState} $0 $4
      ${If} $4 = 1
        Return
      ${ElseIf} $4 = 0
        ClearErrors
        RMDir $0
        ${If} ${Errors}
          StrCpy $2 $0
          Return
        ${EndIf}
      ${EndIf}
      ${IfThen} $0 == $1 ${|} Return ${|}
      StrLen $4 $0
      ${IfThen} $4 <= $3 ${|} Return ${|}
      ${GetParent} $0 $0
    ${Loop}
  FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_MADE_FOLDERS ""
!insertmacro DEFINE_REMOVE_MADE_FOLDERS "un."

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
  WriteRegStr HKLM $installKey "QuietUninstallString" '"$2\${UNINSTALLER}" /S'
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

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here. Windows' list of
; programs runs it as a copy in the temporary folder, which removes the one here; run in place
; (_?=), it cannot remove itself, and leaves that to its caller, as NSIS's uninstallers do.
Var inPlace
Function un.onInit
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

; Removing our section from plugin.ini.
;
; The file is shared with every other plug-in of the player. The profile API could delete the
; section, but it writes the whole file back in its own layout ("key = value" becomes
; "key=value", and so on), so this finds our section by the profile API's own reading rules and
; copies every other byte back unchanged:
; - a line ends at a CR or an LF; the last one may have neither;
; - the blanks are tab, vertical tab, form feed, space and Ctrl-Z;
; - a line that, after leading blanks, starts with "[" and holds a "]" is a section header; its
;   name is what lies between the "[" and the last "]", without leading and trailing blanks,
;   matched without regard to case;
; - a UTF-8 byte-order mark is not part of the first line;
; - a file that starts with the UTF-16LE byte-order mark (bytes FF FE) is UTF-16LE text: the same
;   rules hold for its 16-bit characters.
; Our section is its header line and every line up to the next header, or the end of the file.
; Lines are read a character (byte or 16-bit unit) at a time, so neither their length nor their
; characters matter. A file this cannot read so (UTF-16 with an odd number of bytes, or
; big-endian) may hold our section all the same: it is kept as it is, and the uninstaller says so.
;
; The copy without our section is written beside the file, every step checked, and only a whole
; copy replaces it, in one step that keeps the file's attributes and security. Whatever fails (a
; full disk, a folder where the copy goes, a program holding the file, the uninstaller stopped
; half way), the shared file is left as it was, never emptied or cut short, and the uninstaller
; says so.

Var iniPath
Var iniNew
Var iniIn
Var iniOut
Var writeFailed
Var iniChar
Var iniCharSize
Var lineStart
Var lineEnd
Var linePhase
Var headerText
Var headerBlanks
Var headerTooLong
Var headerFound
Var headerName
Var inOurSection
Var ourSectionsFound

; Only names about as long as ours can be ours; longer ones are not kept.
!define HEADER_TEXT_LIMIT 64

; Reads the next character of $iniIn, $iniCharSize bytes, into $iniChar; sets the error flag at
; the end of the file.
Function un.ReadChar
  ClearErrors
  ${If} $iniCharSize = 2
    FileReadWord $iniIn $iniChar
  ${Else}
    FileReadByte $iniIn $iniChar
  ${EndIf}
FunctionEnd

; Copies characters from $iniIn to $iniOut until $iniIn reaches offset $0; a failed write sets
; $writeFailed.
Function un.CopyUpTo
  FileSeek $iniIn 0 CUR $1
  ${DoWhile} $1 < $0
    Call un.ReadChar
    ClearErrors
    ${If} $iniCharSize = 2
      FileWriteWord $iniOut $iniChar
    ${Else}
      FileWriteByte $iniOut $iniChar
    ${EndIf}
    ${IfThen} ${Errors} ${|} StrCpy $writeFailed 1 ${|}
    IntOp $1 $1 + $iniCharSize
  ${Loop}
FunctionEnd

; Reads the line at the read position of $iniIn, up to $lineEnd (past its CR or LF). For a
; section header, sets $headerFound to 1 and $headerName to its name (empty when too long to be
; ours); otherwise $headerFound is 0.
Function un.ReadLine
  FileSeek $iniIn 0 CUR $lineStart
  StrCpy $lineEnd $lineStart
  StrCpy $linePhase "blanks"
  StrCpy $headerText ""
  StrCpy $headerBlanks ""
  StrCpy $headerTooLong 0
  StrCpy $headerFound 0
  ${Do}
    Call un.ReadChar
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    IntOp $lineEnd $lineEnd + $iniCharSize
    ${If} $iniChar = 10
    ${OrIf} $iniChar = 13
      ${ExitDo}
    ${EndIf}
    ${If} $iniChar = 9
    ${OrIf} $iniChar = 11
    ${OrIf} $iniChar = 12
    ${OrIf} $iniChar = 26
    ${OrIf} $iniChar = 32
      ; Inside the brackets, blanks count only between other characters.
      ${If} $linePhase == "brackets"
      ${AndIf} $headerText != ""
        IntFmt $0 "%c" $iniChar
        StrCpy $headerBlanks "$headerBlanks$0" ${HEADER_TEXT_LIMIT}
      ${EndIf}
    ${ElseIf} $linePhase == "blanks"
      ${If} $iniChar = 91
        StrCpy $linePhase "brackets"
      ${Else}
        StrCpy $linePhase "other"
      ${EndIf}
    ${ElseIf} $linePhase == "brackets"
      ${If} $iniChar = 93
        StrCpy $headerFound 1
        StrCpy $headerName ""
        ${IfThen} $headerTooLong = 0 ${|} StrCpy $headerName $headerText ${|}
      ${EndIf}
      ${If} $headerTooLong = 0
        ; The profile API's name would end at a NUL; here it stands for a character that
        ; matches nothing.
        ${IfThen} $iniChar = 0 ${|} StrCpy $iniChar 1 ${|}
        IntFmt $0 "%c" $iniChar
        StrCpy $headerText "$headerText$headerBlanks$0"
        StrCpy $headerBlanks ""
        StrLen $1 $headerText
        ${IfThen} $1 > ${HEADER_TEXT_LIMIT} ${|} StrCpy $headerTooLong 1 ${|}
      ${EndIf}
    ${EndIf}
  ${Loop}
FunctionEnd

; Takes our section out of $iniPath, if it is there.
Function un.RemoveSettingsSection
  ${IfNot} ${FileExists} $iniPath
    Return
  ${EndIf}
  ClearErrors
  FileOpen $iniIn $iniPath r
  ${If} ${Errors}
    StrCpy $0 "it could not be read"
    Goto kept
  ${EndIf}
  StrCpy $iniNew "$iniPath.crackleton-new"
  ClearErrors
  FileOpen $iniOut $iniNew w
  ${If} ${Errors}
    FileClose $iniIn
    StrCpy $0 "$iniNew could not be written"
    Goto kept
  ${EndIf}
  StrCpy $writeFailed 0

  ; A byte-order mark goes through as it is.
  FileReadByte $iniIn $0
  FileReadByte $iniIn $1
  FileReadByte $iniIn $2
  FileSeek $iniIn 0 END $3
  FileSeek $iniIn 0 SET
  IntOp $3 $3 % 2
  StrCpy $iniCharSize 1
  ${If} "$0 $1 $2" == "239 187 191"
    StrCpy $0 3
    Call un.CopyUpTo
  ${ElseIf} "$0 $1" == "255 254"
  ${AndIf} $3 = 0
    StrCpy $iniCharSize 2
    StrCpy $0 2
    Call un.CopyUpTo
  ${ElseIf} "$0 $1" == "255 254"
  ${OrIf} "$0 $1" == "254 255"
    FileClose $iniIn
    FileClose $iniOut
    Delete $iniNew
    StrCpy $0 "its UTF-16 text could not be read"
    Goto kept
  ${EndIf}

  StrCpy $inOurSection 0
  StrCpy $ourSectionsFound 0
  StrLen $2 "${SETTINGS_SECTION}"
  ${Do}
    Call un.ReadLine
    ${IfThen} $lineEnd = $lineStart ${|} ${ExitDo} ${|}
    ${If} $headerFound = 1
      StrLen $3 $headerName
      ${If} $3 = $2
      ${AndIf} $headerName == "${SETTINGS_SECTION}"
        StrCpy $inOurSection 1
        IntOp $ourSectionsFound $ourSectionsFound + 1
      ${Else}
        StrCpy $inOurSection 0
      ${EndIf}
    ${EndIf}
    ${If} $inOurSection = 0
      FileSeek $iniIn $lineStart SET
      StrCpy $0 $lineEnd
      Call un.CopyUpTo
    ${EndIf}
  ${Loop}
  FileClose $iniIn
  FileClose $iniOut
  ${If} $ourSectionsFound = 0
    Delete $iniNew
    Return
  ${EndIf}
  ${If} $writeFailed = 1
    Delete $iniNew
    StrCpy $0 "$iniNew could not be written whole"
    Goto kept
  ${EndIf}

  ; ReplaceFileW keeps the original's attributes and security. Where it cannot (some file
  ; systems), a plain move over it, written through before it returns; either way readers see
  ; the old file or the new one, whole.
  System::Call 'kernel32::ReplaceFileW(w "$iniPath", w "$iniNew", p 0, \
i ${REPLACEFILE_IGNORE_MERGE_ERRORS}, p 0, p 0) i .r0'
  ${If} $0 = 0
    System::Call 'kernel32::MoveFileExW(w "$iniNew", w "$iniPath", \
i ${MOVEFILE_REPLACE_EXISTING}|${MOVEFILE_WRITE_THROUGH}) i .r0'
  ${EndIf}
  ${If} $0 = 0
    ; A failed ReplaceFileW can leave the new copy alone in place of the file: then it is the
    ; file, under its own name.
    ${IfNot} ${FileExists} $iniPath
      StrCpy $0 "it is now $iniNew, without them"
      Goto kept
    ${EndIf}
    Delete $iniNew
    StrCpy $0 "it could not be replaced"
    Goto kept
  ${EndIf}
  DetailPrint "Removed the plug-in's settings from $iniPath."
  Return

  kept:
  DetailPrint "The plug-in's settings stay in $iniPath: $0."
  MessageBox MB_OK|MB_ICONEXCLAMATION "The plug-in is removed, but its settings could not be \
taken out of $iniPath ($0). The file is left as it was." /SD IDOK
  Push ${EXIT_SETTINGS_KEPT}
  Call un.ReportExitCode
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

; The copy Windows' list of programs runs is started by the uninstaller here, which may not have
; ended yet when the copy gets here: a few tries, then Windows removes it at its next restart.
!define REMOVE_SELF_TRIES 10
!define REMOVE_SELF_PAUSE_MS 300
Function un.RemoveUninstallerAndRegistration
  ${If} $inPlace = 0
    StrCpy $0 0
    ${Do}
      ClearErrors
      Delete "$INSTDIR\${UNINSTALLER}"
      ${IfNotThen} ${Errors} ${|} ${ExitDo} ${|}
      IntOp $0 $0 + 1
      ${If} $0 >= ${REMOVE_SELF_TRIES}
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
        ${ExitDo}
      ${EndIf}
      Sleep ${REMOVE_SELF_PAUSE_MS}
    ${Loop}
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
