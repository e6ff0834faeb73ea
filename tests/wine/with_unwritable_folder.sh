#!/usr/bin/env bash
# with_unwritable_folder.sh ROOT BUILD PROGRAM
# Runs the Windows test PROGRAM under BUILD's Wine with a library folder that cannot be written
# for real, holding the built DLL and a plugin.ini of amount 300, speed 100, named (as Windows
# names it) in CRACKLETON_UNWRITABLE_FOLDER. Wine run as root writes read-only files, so the
# folder is made immutable, or else a read-only bind mount; where neither works,
# CRACKLETON_NO_UNWRITABLE_FOLDER says why and the program skips those cases.
set -euo pipefail
root=$1 build=$2 program=$3

folder=$(mktemp -d "$build/unwritable.XXXXXX")
cp "$build/bin/dsp_crackleton.dll" "$folder/"
printf "[Tallowick's Crackleton v1.0]\r\nvinyl_speed=100\r\nvinyl_amount=300\r\n" \
  >"$folder/plugin.ini"
mounted=no
release() {
  chattr -i "$folder" "$folder/plugin.ini" 2>/dev/null || true
  [ $mounted = no ] || umount "$folder" 2>/dev/null || true
  rm -rf "$folder"
}
trap release EXIT

# The folder and the file in it, as Program Files has them for a user.
if chattr +i "$folder/plugin.ini" "$folder" 2>/dev/null; then
  how="immutable (chattr +i)"
elif mount --bind "$folder" "$folder" 2>/dev/null; then
  mounted=yes
  mount -o remount,bind,ro "$folder" 2>/dev/null || true
  how="a read-only bind mount"
fi
if [ -n "${how:-}" ] && ! touch "$folder/written" 2>/dev/null &&
  ! echo >>"$folder/plugin.ini" 2>/dev/null; then
  echo "the library's folder is $how"
  export CRACKLETON_UNWRITABLE_FOLDER="Z:${folder//\//\\}"
else
  rm -f "$folder/written"
  export CRACKLETON_NO_UNWRITABLE_FOLDER="this machine makes no folder unwritable for root \
(neither chattr +i nor a read-only bind mount works)"
fi
"$root/scripts/wine-run" win32 "$build/wineprefix" "$program"
