; The uninstaller's removal of our section from plugin.ini. Included by crackleton.nsi.
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
