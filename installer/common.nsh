; Shared by the installer and the uninstaller (each function twice, the second with "un."):
; the exit code, the checks made before anything changes, paths, the player's settings folder
; and the install's registration key. Included by crackleton.nsi.

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
