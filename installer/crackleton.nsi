; crackleton-VERSION-setup.exe: puts dsp_crackleton.dll into the player's Plugins folder, with an
; uninstaller beside it, and registers that in the system's list of installed programs.
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
; Exit codes: 0 done; 1 cancelled by the user; 3 the folder has no Plugins folder; 4 the player
; is running. In the last two cases nothing has been written. 6: installed, but the player's
; winamp.ini could not be written, so the plug-in is not chosen there. The uninstaller's: 0 done; 4 the
; player is running, nothing removed; 5 the plug-in was removed but its settings could not be taken
; out of plugin.ini, which is left byte for byte as it was.

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
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Crackleton"
!define EXIT_NOT_PLAYER_FOLDER 3
!define EXIT_PLAYER_RUNNING 4
!define EXIT_SETTINGS_KEPT 5
!define EXIT_NOT_CHOSEN 6
; ReplaceFileW's and MoveFileExW's flags.
!define REPLACEFILE_IGNORE_MERGE_ERRORS 2
!define MOVEFILE_REPLACE_EXISTING 1
!define MOVEFILE_WRITE_THROUGH 8

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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckFolderOnLeave
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
the player's Plugins folder below. The other plug-ins and their settings stay as they are."
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "Plugins folder:"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; While the player runs, its plug-ins are loaded: the DLL cannot be replaced or removed, and the
; plug-in writes its settings back to plugin.ini when the player stops it. The user closes the
; player and retries; cancelling (and a silent run, which cannot ask) leaves without a change.
!macro DEFINE_WAIT_FOR_PLAYER un
  Function ${un}WaitForPlayerToClose
    ${Do}
      FindWindow $0 "${PLAYER_WINDOW_CLASS}"
      ${If} $0 = 0
        Return
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp is running. Close it, then press \
Retry." /SD IDCANCEL IDRETRY retry
      SetErrorLevel ${EXIT_PLAYER_RUNNING}
      Quit
      retry:
    ${Loop}
  FunctionEnd
!macroend
!insertmacro DEFINE_WAIT_FOR_PLAYER ""
!insertmacro DEFINE_WAIT_FOR_PLAYER "un."

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
    System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
    ${IfThen} $2 = 0 ${|} StrCpy $1 $0 ${|}
    StrCpy $playerFolder $1
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
    System::Call 'kernel32::GetFullPathNameW(w r1, i ${NSIS_MAX_STRLEN}, w .r2, p 0) i .r3'
    ${IfThen} $3 = 0 ${|} StrCpy $2 $1 ${|}
    StrCpy $playerSettingsFolder $2
  FunctionEnd
!macroend
!insertmacro DEFINE_FIND_PLAYER_SETTINGS_FOLDER ""
!insertmacro DEFINE_FIND_PLAYER_SETTINGS_FOLDER "un."

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

; Both checks come before anything is written: here for a silent run, whose folder is settled
; (the registry, or /D=), and on leaving the directory page otherwise.
Function .onInit
  ${If} ${Silent}
    Call CheckPlayerFolder
    Call WaitForPlayerToClose
  ${EndIf}
FunctionEnd

Function CheckFolderOnLeave
  Call CheckPlayerFolder
  Call WaitForPlayerToClose
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

; An upgrade goes over the earlier files and leaves plugin.ini, with the user's settings, alone.
Section
  SetOutPath "$INSTDIR\Plugins"
  File "/oname=${LIBRARY_FILE}" "${DLL}"
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION_SHORT} (Winamp DSP plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  StrCpy $0 "$INSTDIR\Plugins\${LIBRARY_FILE}"
  Call FileSizeInKiB
  StrCpy $2 $0
  StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}"
  Call FileSizeInKiB
  IntOp $0 $0 + $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Makes Crackleton the player's DSP/effect plug-in, whichever one was chosen before, through the
; profile API, which leaves the rest of winamp.ini to the player's own reading. The player reads
; the file when it starts: it must not be running (it is not, after the checks above), or it
; would write its own choice back when it stops.
Function ChoosePluginInPlayer
  StrCpy $0 $INSTDIR
  Call FindPlayerSettingsFolder
  ${If} $playerSettingsFolder != ""
    CreateDirectory $playerSettingsFolder
    StrCpy $0 "$playerSettingsFolder\${PLAYER_SETTINGS_FILE}"
    ClearErrors
    WriteINIStr $0 "Winamp" "${DSP_NAME_KEY}" "${LIBRARY_FILE}"
    WriteINIStr $0 "Winamp" "${DSP_NUMBER_KEY}" "0"
    ${IfNot} ${Errors}
      DetailPrint "Chose the plug-in in $0."
      Return
    ${EndIf}
  ${EndIf}
  MessageBox MB_OK|MB_ICONEXCLAMATION "The player's settings could not be written, so Crackleton \
is not chosen yet. In the player's Preferences, open DSP/Effect and choose it there." /SD IDOK
  SetErrorLevel ${EXIT_NOT_CHOSEN}
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
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ACTIVATE" $1
    ${IfNot} ${Errors}
      Call ChoosePluginInPlayer
    ${EndIf}
  ${EndIf}
FunctionEnd

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here.
Function un.onInit
  Call un.WaitForPlayerToClose
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
  SetErrorLevel ${EXIT_SETTINGS_KEPT}
FunctionEnd

; Where the player is set to load Crackleton, it is set back to none, as the player leaves it when
; the user chooses none; another plug-in chosen there stays chosen.
Function un.UnchoosePluginInPlayer
  StrCpy $0 "$playerSettingsFolder\${PLAYER_SETTINGS_FILE}"
  ReadINIStr $1 $0 "Winamp" "${DSP_NAME_KEY}"
  ${If} $1 == "${LIBRARY_FILE}"
    ClearErrors
    WriteINIStr $0 "Winamp" "${DSP_NAME_KEY}" ""
    WriteINIStr $0 "Winamp" "${DSP_NUMBER_KEY}" "0"
    ${If} ${Errors}
      DetailPrint "$0 could not be written: the player still names the plug-in there."
    ${Else}
      DetailPrint "The player's DSP/effect plug-in is set back to none in $0."
    ${EndIf}
  ${EndIf}
FunctionEnd

; The plug-in keeps its settings in plugin.ini beside itself or, where that folder cannot be
; written, in the Plugins folder of the player's settings folder. A player whose paths.ini names no
; settings folder may still have kept one in the user's Application Data, as the player's own
; installer can set up: our section goes from there too.
Section Uninstall
  Delete "$INSTDIR\${LIBRARY_FILE}"
  StrCpy $iniPath "$INSTDIR\plugin.ini"
  Call un.RemoveSettingsSection
  StrCpy $0 "$INSTDIR\.."
  Call un.FindPlayerSettingsFolder
  ${If} $playerSettingsFolder != ""
    Call un.UnchoosePluginInPlayer
    ${If} "$playerSettingsFolder\Plugins" != $INSTDIR
      StrCpy $iniPath "$playerSettingsFolder\Plugins\plugin.ini"
      Call un.RemoveSettingsSection
    ${EndIf}
  ${EndIf}
  ${If} $settingsFolderNamed = 0
    StrCpy $iniPath "$APPDATA\Winamp\Plugins\plugin.ini"
    Call un.RemoveSettingsSection
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
