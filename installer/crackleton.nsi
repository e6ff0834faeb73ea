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
; Exit codes: 0 done; 1 cancelled by the user; 3 the folder has no Plugins folder; 4 the player
; is running. In the last two cases nothing has been written. The uninstaller's: 0 done; 4 the
; player is running, nothing removed; 5 the plug-in was removed but its settings could not be taken
; out of plugin.ini, which is left byte for byte as it was.

Unicode true

!include LogicLib.nsh

!define PRODUCT "Crackleton"
!define PUBLISHER "Tallowick"
; The player's main window, open while it runs and holds its plug-ins loaded.
!define PLAYER_WINDOW_CLASS "Winamp v1.x"
; The plug-in's section in plugin.ini: its description text (plugin/names.h).
!define SETTINGS_SECTION "Tallowick's Crackleton v1.0"
!define UNINSTALLER "Uninstall Crackleton.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Crackleton"
!define EXIT_NOT_PLAYER_FOLDER 3
!define EXIT_PLAYER_RUNNING 4
!define EXIT_SETTINGS_KEPT 5
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

LicenseData "${LICENSE}"
UninstallText "This removes the Crackleton plug-in and its settings from the player's Plugins \
folder below. The other plug-ins and their settings stay as they are." "Plugins folder:"
DirText "Setup will install the Crackleton DSP plug-in into the Plugins folder of the player \
installed in the folder below. To use another copy of the player, choose its folder (the one \
with winamp.exe and a Plugins folder)." "Player folder"

VIProductVersion ${VERSION}
VIFileVersion ${VERSION}
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION_SHORT} setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "${COPYRIGHT}"

Page license
Page directory "" "" CheckFolderOnLeave
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

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
  File "/oname=dsp_crackleton.dll" "${DLL}"
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION_SHORT} (Winamp DSP plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  StrCpy $0 "$INSTDIR\Plugins\dsp_crackleton.dll"
  Call FileSizeInKiB
  StrCpy $2 $0
  StrCpy $0 "$INSTDIR\Plugins\${UNINSTALLER}"
  Call FileSizeInKiB
  IntOp $0 $0 + $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

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
; - a UTF-8 byte-order mark is not part of the first line.
; Our section is its header line and every line up to the next header, or the end of the file.
; Lines are read a byte at a time, so neither their length nor their bytes matter.
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
Var iniByte
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

; Copies bytes from $iniIn to $iniOut until $iniIn reaches offset $0; a failed write sets
; $writeFailed.
Function un.CopyBytesUpTo
  FileSeek $iniIn 0 CUR $1
  ${DoWhile} $1 < $0
    FileReadByte $iniIn $iniByte
    ClearErrors
    FileWriteByte $iniOut $iniByte
    ${IfThen} ${Errors} ${|} StrCpy $writeFailed 1 ${|}
    IntOp $1 $1 + 1
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
    ClearErrors
    FileReadByte $iniIn $iniByte
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    IntOp $lineEnd $lineEnd + 1
    ${If} $iniByte = 10
    ${OrIf} $iniByte = 13
      ${ExitDo}
    ${EndIf}
    ${If} $iniByte = 9
    ${OrIf} $iniByte = 11
    ${OrIf} $iniByte = 12
    ${OrIf} $iniByte = 26
    ${OrIf} $iniByte = 32
      ; Inside the brackets, blanks count only between other characters.
      ${If} $linePhase == "brackets"
      ${AndIf} $headerText != ""
        IntFmt $0 "%c" $iniByte
        StrCpy $headerBlanks "$headerBlanks$0" ${HEADER_TEXT_LIMIT}
      ${EndIf}
    ${ElseIf} $linePhase == "blanks"
      ${If} $iniByte = 91
        StrCpy $linePhase "brackets"
      ${Else}
        StrCpy $linePhase "other"
      ${EndIf}
    ${ElseIf} $linePhase == "brackets"
      ${If} $iniByte = 93
        StrCpy $headerFound 1
        StrCpy $headerName ""
        ${IfThen} $headerTooLong = 0 ${|} StrCpy $headerName $headerText ${|}
      ${EndIf}
      ${If} $headerTooLong = 0
        ; The profile API's name would end at a NUL; here it stands for a character that
        ; matches nothing.
        ${IfThen} $iniByte = 0 ${|} StrCpy $iniByte 1 ${|}
        IntFmt $0 "%c" $iniByte
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
  FileSeek $iniIn 0 SET
  ${If} "$0 $1 $2" == "239 187 191"
    StrCpy $0 3
    Call un.CopyBytesUpTo
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
      Call un.CopyBytesUpTo
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

; Where the plug-in keeps its settings when the player's folder cannot be written: plugin.ini in
; the Plugins folder of the player's own settings folder. The player's paths.ini, beside
; winamp.exe, can name that folder ("inidir", {26} standing for the user's Application Data); by
; default it is Winamp in the user's Application Data.
Var playerSettingsFolder
Function un.FindPlayerSettingsFolder
  StrCpy $playerSettingsFolder "$APPDATA\Winamp"
  ReadINIStr $0 "$INSTDIR\..\paths.ini" "Winamp" "inidir"
  StrCpy $1 $0 4
  StrCpy $2 $0 1
  ${If} $1 == "{26}"
    StrCpy $0 $0 "" 4
    StrCpy $playerSettingsFolder "$APPDATA$0"
  ${ElseIf} $0 != ""
  ${AndIf} $2 != "{"
    StrCpy $playerSettingsFolder $0
  ${EndIf}
FunctionEnd

Section Uninstall
  Delete "$INSTDIR\dsp_crackleton.dll"
  StrCpy $iniPath "$INSTDIR\plugin.ini"
  Call un.RemoveSettingsSection
  Call un.FindPlayerSettingsFolder
  StrCpy $iniPath "$playerSettingsFolder\Plugins\plugin.ini"
  Call un.RemoveSettingsSection
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
