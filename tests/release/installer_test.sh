#!/usr/bin/env bash
# installer_test.sh INSTALLER DLL PLAYER_WINDOW WIZARD_CLICKER STAND_IN_PLAYER VERSION WORK
#   HOLD_FILE
# The 32-bit installer as a user meets it on 64-bit Windows, under Wine in a fresh 64-bit prefix
# of its own, made under WORK (so "Program Files (x86)" and the registry's 32-bit view), with a
# player folder recorded where the player's own installer records it: refusals, silent install,
# /D=, upgrade, uninstall, the default folder, the player's winamp.ini in each place paths.ini can
# name, a UTF-16 plugin.ini, and the pages as a user presses through them. INSTALLER must carry
# DLL; PLAYER_WINDOW runs a program while a window of the player's class is open; WIZARD_CLICKER
# runs an installer pressing every page's default button; STAND_IN_PLAYER is a winamp.exe that
# writes started.txt. Prints one line per check and fails if any check does.
set -euo pipefail
installer=$1 dll=$2 player_window=$3 wizard_clicker=$4 stand_in_player=$5 version=$6
work_parent=$7
root=$(cd "$(dirname "$0")/../.." && pwd)

for file in "$installer" "$dll" "$player_window" "$wizard_clicker" "$stand_in_player"; do
  if [ ! -f "$file" ]; then
    echo "FAILED: there is no $file (the win32 build makes the installers)"
    exit 1
  fi
done

mkdir -p "$work_parent"
work=$(mktemp -d "$work_parent/installer-test.XXXXXX")
prefix=$work/wineprefix
drive=$prefix/drive_c
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
. "$root/tests/checks.sh"

# Wine's output goes to a file, never to a pipe: the services Wine starts with a program inherit
# its standard handles and outlive it.
wine() {
  "$root/scripts/wine-run" win64 "$prefix" "$@" </dev/null >"$work/out" 2>>"$work/wine.log"
}
exits() {  # exits CODE DESCRIPTION COMMAND...: runs COMMAND under Wine, checks its exit code
  local expected=$1 description=$2 status=0
  shift 2
  wine "$@" || status=$?
  if [ "$status" -eq "$expected" ]; then pass "$description: exit code $status"; else
    failed "$description: exit code $status, not $expected"
  fi
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
drive_path() {  # drive_path 'C:\FOLDER': where that folder of the prefix's drive C: is here
  local path=${1#C:\\}
  printf '%s/%s' "$drive" "${path//\\//}"
}
windows_folder() {  # windows_folder NAME: the folder %NAME% names in the prefix, as drive_path
  wine cmd.exe /c echo "%$1%"
  drive_path "$(tr -d '\r' <"$work/out")"
}

# A 32-bit program's registration, as Windows' list of programs finds it: one for each player
# folder, "Crackleton-" and the FNV-1a hash (32 bits) of the folder's path in capitals, as eight
# hex digits. The first release's one key "Crackleton" is the legacy key.
uninstall_keys='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
legacy_key=$uninstall_keys\\Crackleton
key_of() {  # key_of 'C:\FOLDER' (ASCII): the registration of the install in that player folder
  local path=${1^^} hash=2166136261 i code
  for ((i = 0; i < ${#path}; i++)); do
    printf -v code '%d' "'${path:i:1}"
    hash=$((((hash ^ code) * 16777619) & 0xFFFFFFFF))
  done
  printf '%s\\Crackleton-%08X' "$uninstall_keys" "$hash"
}
registry_value() {  # registry_value KEY NAME: the value, as reg.exe prints it
  wine reg.exe query "$1" /v "$2" /reg:32 || return 0
  tr -d '\r' <"$work/out" | sed -n "s/^    $2    REG_[A-Z_]*    //p"
}
check_registered() {  # check_registered KEY NAME EXPECTED
  local actual
  actual=$(registry_value "$1" "$2")
  if [ "$actual" = "$3" ]; then pass "registered $2: $actual"; else
    failed "registered $2: '$actual', not '$3'"
  fi
}
registered() { wine reg.exe query "$1" /reg:32; }
not_registered() { ! registered "$1"; }
not_in_64bit_view() { ! wine reg.exe query "$1" /reg:64; }

# Everything a failed install could have left: every file in the prefix's drive (directories by
# name only, as Windows itself touches some) and both registry hives, but for the display's keys,
# which Wine writes when a program first shows a window on a desktop.
snapshot() {
  (cd "$drive" && find . -type d -printf '%p\n' -o -printf '%p %s %T@\n' | sort) >"$1.files"
  local hive
  for hive in HKLM HKCU; do
    wine reg.exe export "$hive" "$(windows_path "$1.reg")" /y
    iconv -f UTF-16 -t UTF-8 "$1.reg" | tr -d '\r' |
      awk 'BEGIN { RS = ""; ORS = "\n\n" } !/^\[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\/' \
        >"$1.$hive"
  done
}
unchanged_since() {  # prints what changed, if anything did
  local part unchanged=true
  for part in files HKLM HKCU; do
    diff "$1.$part" "$2.$part" | head -n 20 || unchanged=false
  done
  $unchanged
}
size_in_kib() { echo $((($(stat -c %s "$1") + 1023) / 1024)); }
# The player's winamp.ini, naming DSP plug-in STATE: a file name, with "+0" the line
# dspplugin_num=0 after the others of [Winamp], where the profile API puts a new key.
ours_name=dsp_crackleton.dll other_name=dsp_other.dll
winamp_ini() {  # winamp_ini STATE
  local number=''
  [[ $1 == *+0 ]] && number='dspplugin_num=0\r\n'
  printf '[Winamp]\r\nutf8=1\r\ndspplugin_name=%s\r\noutname=out_ds.dll\r\n%b[Other]\r\nk=v\r\n' \
    "${1%+0}" "$number"
}
# The files in player folder FOLDER (sizes and times; folders by name) and every registration,
# into OUT.
install_state() {  # install_state FOLDER OUT
  find "$1" -type d -printf '%p\n' -o -printf '%p %s %T@\n' | sort >"$2"
  wine reg.exe query "$uninstall_keys" /s /reg:32
  tr -d '\r' <"$work/out" >>"$2"
}

# The uninstaller copies itself to the temporary folder, starts the copy and returns at once;
# the copy is done when the prefix's last program has ended.
uninstall_as_registered() {  # uninstall_as_registered 'C:\FOLDER'
  local command
  command=$(registry_value "$(key_of "$1")" UninstallString)
  if [ -z "$command" ]; then
    failed "$1 has no registration of its own; its uninstaller runs all the same"
    command="$1\\Plugins\\Uninstall Crackleton.exe"
  fi
  wine "${command//\"/}" /S
  WINEPREFIX=$prefix wineserver -w
}

player=$drive/Fake\ Player/Plugins
other_player=$drive/OtherPlayer/Plugins
wine reg.exe add 'HKCU\Software\Winamp' /ve /d 'C:\Fake Player' /f
mkdir -p "$player" "$other_player" "$drive/NoPlugins"

# Refusals: nothing at all may change.
snapshot "$work/before"
exits 3 "a folder without Plugins (/D=C:\\NoPlugins)" "$installer" /S '/D=C:\NoPlugins'
exits 4 "the player's window open" "$player_window" "$(windows_path "$installer")" /S
snapshot "$work/after"
check "after both refusals nothing is written: no file, no registry value" \
  unchanged_since "$work/before" "$work/after"

# A silent install into the folder the registry names.
exits 0 "silent install" "$installer" /S
key=$(key_of 'C:\Fake Player')
check "the installed DLL is the built DLL, byte for byte" cmp -s "$dll" "$player/dsp_crackleton.dll"
check "the uninstaller is beside it" test -f "$player/Uninstall Crackleton.exe"
size=$(($(size_in_kib "$dll") + $(size_in_kib "$player/Uninstall Crackleton.exe")))
while IFS='|' read -r name expected; do check_registered "$key" "$name" "$expected"; done <<EOF
DisplayName|Crackleton ${version%.*.*} (Winamp DSP plug-in, C:\\Fake Player)
DisplayVersion|$version
Publisher|Tallowick
EstimatedSize|$(printf '0x%x' "$size")
InstallLocation|C:\\Fake Player\\Plugins
UninstallString|"C:\\Fake Player\\Plugins\\Uninstall Crackleton.exe"
QuietUninstallString|"C:\\Fake Player\\Plugins\\Uninstall Crackleton.exe" /S _?=C:\\Fake Player\\Plugins
EOF
check "the registration is in the 32-bit view only" not_in_64bit_view "$key"

# plugin.ini as other plug-ins and hands leave it: blanks around "=", a comment, a blank line,
# a line longer than NSIS's strings, LF-only lines, a byte above 127 and no final line end. Our
# section's header has blanks outside and inside its brackets and another case, and the profile
# API still reads it as ours; a section whose name only starts like ours is someone else's.
long_line="history=$(printf '%02000d' 7)"
printf -v others_before '%s\r\n' '; kept by the player' '[Other plug-in]' 'key = value ' '' \
  ';comment=[x]' "$long_line"
printf -v ours '%s\r\n' "  [ tallowick's CRACKLETON v1.0 ]"$'\t' vinyl_speed=300 '; ours too' \
  vinyl_amount=20 ''
printf -v others_after "[Tallowick's Crackleton v1.0 backup]\nvinyl_speed=1\n[Last]\nname=caf\xe9\nx=1"
printf '%s%s%s' "$others_before" "$ours" "$others_after" >"$work/plugin.ini"
printf '%s%s' "$others_before" "$others_after" >"$work/plugin-without-ours.ini"
cp "$work/plugin.ini" "$player/plugin.ini"
# The same in the player's own settings folder, where the plug-in keeps its settings when the
# player's folder cannot be written: Winamp in the user's Application Data by default.
appdata=$(windows_folder APPDATA)
players_settings=$appdata/Winamp/Plugins
mkdir -p "$players_settings"
cp "$work/plugin.ini" "$players_settings/plugin.ini"

exits 0 "reinstall over the install" "$installer" /S
check "the reinstall leaves plugin.ini, our settings in it, byte for byte" \
  cmp -s "$work/plugin.ini" "$player/plugin.ini"
check "the reinstalled DLL is the built DLL" cmp -s "$dll" "$player/dsp_crackleton.dll"

uninstall_as_registered 'C:\Fake Player'
check "the uninstaller as registered removes the DLL" test ! -e "$player/dsp_crackleton.dll"
check "it removes itself" test ! -e "$player/Uninstall Crackleton.exe"
check "it removes its registration" not_registered "$key"
check "plugin.ini loses our section, and keeps every other byte" \
  cmp -s "$work/plugin-without-ours.ini" "$player/plugin.ini"
check "so does the one in the player's settings folder" \
  cmp -s "$work/plugin-without-ours.ini" "$players_settings/plugin.ini"

# /D= picks another folder; that player's plugin.ini holds our section only.
exits 0 "silent install with /D=C:\\OtherPlayer" "$installer" /S '/D=C:\OtherPlayer'
check "/D= puts the DLL into C:\\OtherPlayer\\Plugins" \
  cmp -s "$dll" "$other_player/dsp_crackleton.dll"
check "and nothing into the folder the registry names" test ! -e "$player/dsp_crackleton.dll"
check_registered "$(key_of 'C:\OtherPlayer')" UninstallString \
  '"C:\OtherPlayer\Plugins\Uninstall Crackleton.exe"'
printf '%s\r\n' "[Tallowick's Crackleton v1.0]" vinyl_speed=300 vinyl_amount=20 >"$other_player/plugin.ini"

# Where the copy without our section cannot be written (here a folder of its name; a full disk
# alike), the shared file stays whole. Run in place (_?=) for its exit code.
cp "$other_player/plugin.ini" "$work/other-before.ini"
mkdir "$other_player/plugin.ini.crackleton-new"
exits 5 "uninstall where the copy cannot be written" \
  "$other_player/Uninstall Crackleton.exe" /S '_?=C:\OtherPlayer\Plugins'
check "plugin.ini stays byte for byte" cmp -s "$work/other-before.ini" "$other_player/plugin.ini"
check "the DLL is removed all the same" test ! -e "$other_player/dsp_crackleton.dll"
rmdir "$other_player/plugin.ini.crackleton-new"
exits 0 "silent install there again" "$installer" /S '/D=C:\OtherPlayer'

# The registration's quiet command, as a deployment runs it: the uninstaller in place, so that
# its exit code is the uninstall's own; a copy it starts removes it once it has ended. (This
# folder has no blank: after the quoted program, the command's words are its arguments.)
quiet=$(registry_value "$(key_of 'C:\OtherPlayer')" QuietUninstallString)
quiet_program=${quiet#\"} quiet_program=${quiet_program%%\"*}
read -r -a quiet_arguments <<<"${quiet#\"*\" }"
exits 0 "the quiet uninstall command as registered" "$quiet_program" "${quiet_arguments[@]}"
WINEPREFIX=$prefix wineserver -w
check "uninstalled there, plugin.ini with only our section stays, empty" \
  test -f "$other_player/plugin.ini" -a ! -s "$other_player/plugin.ini"
check "and the uninstaller, the DLL and the copy are gone" \
  test ! -e "$other_player/dsp_crackleton.dll" -a ! -e "$other_player/Uninstall Crackleton.exe" \
  -a ! -e "$other_player/plugin.ini.crackleton-new"

# Two players, each with its install and registration: Portable, without paths.ini, and Shared,
# whose paths.ini names {26}\Winamp, where Portable's plug-ins may keep settings too. Whichever
# goes first leaves the other's: our section in that folder's plugin.ini stays until the last
# install that uses it goes, and each player's winamp.ini loses our choice with its own install.
mkdir -p "$drive/Portable/Plugins" "$drive/Shared/Plugins"
printf '[Winamp]\r\ninidir={26}\\Winamp\r\n' >"$drive/Shared/paths.ini"
declare -A winamp_ini_of=([Portable]=$drive/Portable/winamp.ini [Shared]=$appdata/Winamp/winamp.ini)
while read -r first second; do
  cp "$work/plugin.ini" "$players_settings/plugin.ini"
  for name in Portable Shared; do
    winamp_ini "$other_name" >"${winamp_ini_of[$name]}"
    exits 0 "$name: silent install /ACTIVATE" "$installer" /S /ACTIVATE "/D=C:\\$name"
    check_registered "$(key_of "C:\\$name")" DisplayName \
      "Crackleton ${version%.*.*} (Winamp DSP plug-in, C:\\$name)"
  done
  uninstall_as_registered "C:\\$first"
  check "$first uninstalled first: its registration goes" not_registered "$(key_of "C:\\$first")"
  check "$second's stays" registered "$(key_of "C:\\$second")"
  check "$second's DLL stays" test -f "$drive/$second/Plugins/dsp_crackleton.dll"
  winamp_ini +0 >"$work/expected.ini"
  check "$first's winamp.ini chooses none" cmp -s "$work/expected.ini" "${winamp_ini_of[$first]}"
  winamp_ini "$ours_name+0" >"$work/expected.ini"
  check "$second's winamp.ini still chooses the plug-in" \
    cmp -s "$work/expected.ini" "${winamp_ini_of[$second]}"
  check "plugin.ini in {26}\\Winamp\\Plugins keeps our section, byte for byte" \
    cmp -s "$work/plugin.ini" "$players_settings/plugin.ini"
  uninstall_as_registered "C:\\$second"
  check "$second uninstalled last: its registration goes" not_registered "$(key_of "C:\\$second")"
  check "plugin.ini in {26}\\Winamp\\Plugins loses our section with it" \
    cmp -s "$work/plugin-without-ours.ini" "$players_settings/plugin.ini"
done <<EOF
Portable Shared
Shared Portable
EOF

# The first release registered every install under the one key "Crackleton". An install into the
# folder it names, however spelt, takes it over (one entry in Windows' list), and its uninstaller
# takes it away; one that names another folder is that install's, and stays.
mkdir -p "$drive/Legacy/Plugins"
while IFS='|' read -r action legacy_folder stays; do
  wine reg.exe add "$legacy_key" /v InstallLocation /d "$legacy_folder\\Plugins" /reg:32 /f
  if [ "$action" = install ]; then
    exits 0 "install into C:\\Legacy, the legacy key naming $legacy_folder" \
      "$installer" /S '/D=C:\Legacy'
    check "C:\\Legacy's own registration is written" registered "$(key_of 'C:\Legacy')"
  else
    uninstall_as_registered 'C:\Legacy'
    check "uninstalled, the legacy key naming $legacy_folder: C:\\Legacy's registration goes" \
      not_registered "$(key_of 'C:\Legacy')"
  fi
  if [ "$stays" = yes ]; then
    check "the legacy key naming $legacy_folder stays" registered "$legacy_key"
  else
    check "the legacy key naming $legacy_folder goes" not_registered "$legacy_key"
  fi
done <<EOF
install|C:\\OtherPlayer|yes
uninstall|C:\\OtherPlayer|yes
install|c:\\LEGACY|no
uninstall|C:\\Legacy\\..\\Legacy|no
EOF
wine reg.exe delete "$legacy_key" /reg:32 /f || true

# With no folder recorded, the player's own default: where 32-bit programs go.
default_player=$drive/Program\ Files\ \(x86\)/Winamp/Plugins
mkdir -p "$default_player"
wine reg.exe delete 'HKCU\Software\Winamp' /f
exits 0 "silent install with no folder recorded" "$installer" /S
check "the DLL goes into Program Files (x86)\\Winamp\\Plugins" \
  cmp -s "$dll" "$default_player/dsp_crackleton.dll"

# The player's winamp.ini: its settings folder from paths.ini, as each row's inidir names it (none:
# no paths.ini), /ACTIVATE or not, and the DSP plug-in it names before, after the install and
# after the uninstall ("+0": the line dspplugin_num=0 after the others of [Winamp], where the
# profile API puts a new key). Everything else is in the profile API's own layout, which it
# writes back as it read it. A row may put a plugin.ini into its settings folder's Plugins folder
# and name the file it must be after the uninstall (FILE>FILE): ours taken out of an 8-bit or a
# UTF-16 one; or, a byte longer, UTF-16 it cannot read and so must keep, with exit code 5.
utf16() { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; }
printf -v utf16_before '%s\r\n' '[Other plug-in]' 'key = value ' 'name=café ♪' ''
utf16_after=$'[Tallowick\'s Crackleton v1.0 backup]\nx=1'
printf '%s%s%s' "$utf16_before" "$ours" "$utf16_after" | utf16 >"$work/utf16.ini"
printf '%s%s' "$utf16_before" "$utf16_after" | utf16 >"$work/utf16-without-ours.ini"
{ cat "$work/utf16.ini"; printf x; } >"$work/utf16-odd.ini"
local_appdata=$(windows_folder LOCALAPPDATA)
while IFS='|' read -r name inidir settings option before installed uninstalled plugin_ini status; do
  folder="C:\\$name"
  player_folder=$(drive_path "$folder")
  mkdir -p "$player_folder/Plugins" "$settings/Plugins"
  [ -z "$inidir" ] || printf '[Winamp]\r\ninidir=%s\r\n' "$inidir" >"$player_folder/paths.ini"
  winamp_ini "$before" >"$settings/winamp.ini"
  [ -z "$plugin_ini" ] || cp "$work/${plugin_ini%>*}" "$settings/Plugins/plugin.ini"
  # shellcheck disable=SC2086 # no option is no argument
  exits 0 "$name: silent install $option" "$installer" /S $option "/D=$folder"
  winamp_ini "$installed" >"$work/expected.ini"
  check "$name: winamp.ini in ${settings#"$drive/"} names '${installed%+0}', every other byte kept" \
    cmp -s "$work/expected.ini" "$settings/winamp.ini"
  exits "$status" "$name: uninstall" "$player_folder/Plugins/Uninstall Crackleton.exe" /S \
    "_?=$folder\\Plugins"
  winamp_ini "$uninstalled" >"$work/expected.ini"
  check "$name: after the uninstall it names '${uninstalled%+0}', every other byte kept" \
    cmp -s "$work/expected.ini" "$settings/winamp.ini"
  [ -z "$plugin_ini" ] || check "$name: plugin.ini in ${settings#"$drive/"}/Plugins is now ${plugin_ini#*>}" \
    cmp -s "$work/${plugin_ini#*>}" "$settings/Plugins/plugin.ini"
done <<EOF
Beside||$drive/Beside|/ACTIVATE|$other_name|$ours_name+0|+0||0
Roaming|{26}\\Roaming|$appdata/Roaming|/ACTIVATE|$other_name|$ours_name+0|+0|utf16.ini>utf16-without-ours.ini|0
Local|{28}\\Local|$local_appdata/Local|/ACTIVATE|$other_name|$ours_name+0|+0||0
Relative|Settings|$drive/Relative/Settings|/ACTIVATE|$other_name|$ours_name+0|+0|plugin.ini>plugin-without-ours.ini|0
ByHand|{26}\\By hand|$appdata/By hand||DSP_Crackleton.DLL|DSP_Crackleton.DLL|+0||0
Another|{26}\\Another|$appdata/Another||$other_name|$other_name|$other_name|utf16-odd.ini>utf16-odd.ini|5
EOF

# Where winamp.ini cannot be written (a folder of that name here), the exit code says the plug-in
# is installed but not chosen.
mkdir -p "$drive/Unwritable/Plugins" "$drive/Unwritable/winamp.ini"
exits 6 "silent install /ACTIVATE where winamp.ini cannot be written" \
  "$installer" /S /ACTIVATE '/D=C:\Unwritable'
check "the DLL is installed all the same" test -f "$drive/Unwritable/Plugins/dsp_crackleton.dll"

# A library another program has loaded (a second host, a player in another user's session:
# nothing the player check sees) can be neither replaced nor removed. Installing over it,
# upgrading it and uninstalling it each refuse before changing anything, with exit code 7 (but
# the uninstaller that Windows' list of programs runs, whose own code only says that it started
# its copy): the install's files, winamp.ini and the registration stay as they were. So does an
# upgrade whose new uninstaller cannot be written (a folder has its name), with exit code 8.
hold_file=$8
held=$drive/Held
held_library='C:\Held\Plugins\dsp_crackleton.dll'
setup=$(windows_path "$installer")
mkdir -p "$held/Plugins"
{ cat "$dll"; printf 'an earlier version'; } >"$work/earlier.dll"
cp "$work/earlier.dll" "$held/Plugins/dsp_crackleton.dll"
winamp_ini "$other_name" >"$held/winamp.ini"
while IFS='|' read -r description status program arguments; do
  if [ "$description" = "an upgrade" ]; then
    exits 0 "install into C:\\Held" "$installer" /S '/D=C:\Held'
    cp "$work/earlier.dll" "$held/Plugins/dsp_crackleton.dll"
  fi
  install_state "$held" "$work/before.state"
  # shellcheck disable=SC2086 # the arguments are words
  exits "$status" "$description while another program has the library loaded" \
    "$hold_file" "$held_library" "$program" $arguments
  install_state "$held" "$work/after.state"
  check "$description: nothing changed" diff "$work/before.state" "$work/after.state"
done <<EOF
an install over a library copied there by hand|7|$setup|/S /ACTIVATE /D=C:\\Held
an upgrade|7|$setup|/S /ACTIVATE /D=C:\\Held
its uninstaller in place|7|C:\\Held\\Plugins\\Uninstall Crackleton.exe|/S _?=C:\\Held\\Plugins
its uninstaller as registered|0|C:\\Held\\Plugins\\Uninstall Crackleton.exe|/S
EOF
check "the library is the earlier version's still" \
  cmp -s "$work/earlier.dll" "$held/Plugins/dsp_crackleton.dll"
mkdir "$held/Plugins/Uninstall Crackleton.exe.crackleton-new"
install_state "$held" "$work/before.state"
exits 8 "an upgrade whose new uninstaller cannot be written" "$installer" /S /ACTIVATE '/D=C:\Held'
install_state "$held" "$work/after.state"
rmdir "$held/Plugins/Uninstall Crackleton.exe.crackleton-new"
check "that upgrade: nothing changed" diff "$work/before.state" "$work/after.state"

# Where winamp.ini chooses the plug-in and cannot be written (another program holds it open
# without sharing it), the uninstaller removes nothing, with exit code 9: the player never
# chooses a library that is not there.
mkdir -p "$drive/Locked/Plugins"
exits 0 "install /ACTIVATE into C:\\Locked" "$installer" /S /ACTIVATE '/D=C:\Locked'
install_state "$drive/Locked" "$work/before.state"
exits 9 "its uninstaller, while another program holds winamp.ini" \
  "$hold_file" 'C:\Locked\winamp.ini' \
  "$(windows_path "$drive/Locked/Plugins/Uninstall Crackleton.exe")" /S '_?=C:\Locked\Plugins'
install_state "$drive/Locked" "$work/after.state"
check "that uninstall: nothing changed" diff "$work/before.state" "$work/after.state"

# A settings folder that paths.ini names but that is not there yet: /ACTIVATE makes it, and
# winamp.ini in it, and the uninstaller takes them away again, with the folders around it that it
# made too; but not a winamp.ini the player has written to since, nor the folders that hold it.
while IFS='|' read -r name player_wrote; do
  mkdir -p "$drive/$name/Plugins"
  printf '[Winamp]\r\ninidir={26}\\%s\\Settings\r\n' "$name" >"$drive/$name/paths.ini"
  exits 0 "$name: install /ACTIVATE, its settings folder not there yet" \
    "$installer" /S /ACTIVATE "/D=C:\\$name"
  check "$name: {26}\\$name\\Settings\\winamp.ini is made" \
    test -f "$appdata/$name/Settings/winamp.ini"
  [ -z "$player_wrote" ] || printf '%s\r\n' "$player_wrote" >>"$appdata/$name/Settings/winamp.ini"
  exits 0 "$name: uninstall" "$drive/$name/Plugins/Uninstall Crackleton.exe" /S \
    "_?=C:\\$name\\Plugins"
  if [ -z "$player_wrote" ]; then
    check "$name: it goes, with {26}\\$name" test ! -e "$appdata/$name"
  else
    check "$name: it stays, with what the player wrote" \
      grep -qs "^$player_wrote" "$appdata/$name/Settings/winamp.ini"
  fi
done <<EOF
Made|
Used|volume=7
EOF

# As a user: every page's default button, the last page's two boxes left ticked. The user starts
# the player while the last page is up: Finish asks for it to be closed before winamp.ini is
# written. Closed, the player then starts through Explorer, with the plug-in chosen (wineserver -w
# waits for it). Left running (Cancel), winamp.ini stays as it was, a message says how to choose
# the plug-in by hand, and the exit code is 6.
wizard=$drive/Wizard
mkdir -p "$wizard/Plugins"
cp "$stand_in_player" "$wizard/winamp.exe"
winamp_ini "$other_name" >"$wizard/winamp.ini"
exits 0 "pressed through every page, closing the player when asked" \
  "$wizard_clicker" --player-at-check-boxes=close "$(windows_path "$installer")" '/D=C:\Wizard'
tr -d '\r' <"$work/out" >"$work/clicked"
grep '^\[' "$work/clicked" >"$work/last-page" || true
printf '%s\n' "[x] Use Crackleton as the player's DSP/effect plug-in" '[x] Start the player now' \
  >"$work/expected-page"
check "the last page has both boxes, ticked" cmp -s "$work/expected-page" "$work/last-page"
check "Finish asked for the player to be closed" grep -q '^message: Winamp is running' "$work/clicked"
WINEPREFIX=$prefix timeout 120 wineserver -w || true
check "the player started, with the plug-in chosen" grep -qsx "$ours_name" "$wizard/started.txt"
winamp_ini "$ours_name+0" >"$work/expected.ini"
check "its winamp.ini names the plug-in, every other byte kept" \
  cmp -s "$work/expected.ini" "$wizard/winamp.ini"

winamp_ini "$other_name" >"$wizard/winamp.ini"
cp "$wizard/winamp.ini" "$work/expected.ini"
exits 6 "pressed through every page, leaving the player running" \
  "$wizard_clicker" --player-at-check-boxes=keep "$(windows_path "$installer")" '/D=C:\Wizard'
tr -d '\r' <"$work/out" >"$work/clicked"
check "a message said how to choose the plug-in by hand" \
  grep -q '^message: Crackleton is installed but not chosen.*DSP/Effect' "$work/clicked"
WINEPREFIX=$prefix timeout 120 wineserver -w || true
check "winamp.ini is as it was" cmp -s "$work/expected.ini" "$wizard/winamp.ini"

checks_done
