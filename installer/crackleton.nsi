; crackleton-VERSION-setup.exe: puts dsp_crackleton.dll into the player's Plugins folder, with an
; uninstaller beside it, and registers that in the system's list of installed programs: one
; registration for each player folder it is installed into.
;
; This file holds the names, the exit codes and the pages; the work is in common.nsh (shared by
; installer and uninstaller), install.nsh, uninstall.nsh and settings_section.nsh.
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
;
; The uninstaller's exit code is its own only where it runs in place (_?=), as the registration's
; QuietUninstallString runs it: otherwise it starts a copy of itself and exits at once with 0.

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

!addincludedir "${__FILEDIR__}"
!include common.nsh
!include install.nsh
!include settings_section.nsh
!include uninstall.nsh
