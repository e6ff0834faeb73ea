# shellcheck shell=bash
# Sourced by the scripts and the test scripts: what they share.

project_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Everything here runs in a UTF-8 locale of its own, whatever the caller's (a fresh container has
# none): Wine makes Unix file names in the locale's character set, and in the POSIX locale it
# cannot name the tests' folders that the ANSI code page cannot spell. C.UTF-8 is on every Debian.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset LANGUAGE

# The cross build of the product, its installer and its Windows tests.
# shellcheck disable=SC2034 # for the scripts that source this
windows_build=(-DCMAKE_TOOLCHAIN_FILE="$project_root/cmake/mingw-i686.cmake")

# build_in FOLDER TARGET [CMAKE ARGS...]: builds TARGET ("all" for everything) in FOLDER,
# configured with the CMAKE ARGS the first time (later the build itself reruns CMake when a list
# file changes), quietly, its output in FOLDER.log. On failure prints the errors and the log's
# name, and exits.
build_in() {
  local folder=$1 target=$2 log=$1.log
  shift 2
  mkdir -p "$(dirname "$folder")"
  if ! { { [ -f "$folder/CMakeCache.txt" ] && [ -f "$folder/Makefile" ]; } ||
    cmake -S "$project_root" -B "$folder" -Wno-dev "$@"; } >"$log" 2>&1 ||
    ! cmake --build "$folder" -j "$(nproc)" --target "$target" >>"$log" 2>&1; then
    # Whatever the log holds, the last line names the build and the log.
    { grep -E 'error|Error' "$log" || tail -n 20 "$log"; } | head -n 40 >&2 || true
    echo "$(basename "$0"): the build in $folder failed; the whole log is $log" >&2
    exit 1
  fi
}

# The loader of 32-bit Wine, which runs the product's DLL, its tests and its installer.
wine32_loader=/usr/lib/wine/wine

binfmt_misc=/proc/sys/fs/binfmt_misc

# Runs a static 32-bit x86 Linux program of 96 bytes, written here byte by byte so that no
# 32-bit compiler or library is needed: it exits with code 42. Succeeds when the program ran.
run_static_i386_program() {
  local program status=0
  program=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX")
  # ELF header, one loadable segment at 0x08048000, then: mov eax,1; mov ebx,42; int 0x80.
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$program"
  chmod +x "$program"
  "$program" 2>/dev/null || status=$?
  rm -f "$program"
  [ "$status" -eq 42 ]
}

# Prints the interpreter that binfmt_misc hands 32-bit x86 programs to, if an enabled entry
# claims them (an emulator); prints nothing where the kernel runs them itself. The kernel tries
# the newest entry first, and scripts/enable-32bit registers its own (qemu-i386) last.
i386_binfmt_interpreter() {
  local entry magic
  for entry in "$binfmt_misc"/qemu-i386 "$binfmt_misc"/*; do
    grep -qsx enabled "$entry" || continue
    magic=$(sed -n 's/^magic //p' "$entry")
    # ELF, 32-bit, little-endian, machine 3 (i386) at byte 18.
    if [[ $magic == 7f454c460101* && ${magic:36:4} == 0300 ]]; then
      sed -n 's/^interpreter //p' "$entry"
      return
    fi
  done
}

# One line: how this machine runs 32-bit x86 code, natively or through which emulator.
describe_32bit_code() {
  local interpreter
  interpreter=$(i386_binfmt_interpreter)
  if [ -z "$interpreter" ]; then
    echo "32-bit x86 code runs natively"
  else
    echo "32-bit x86 code runs emulated, by $interpreter $("$interpreter" --version | sed -n '1s/.*version \([^ ]*\).*/\1/p')"
  fi
}

# Succeeds where 32-bit Wine starts, so the product's DLL and installer can be tested.
wine32_runs() { "$wine32_loader" --version >/dev/null 2>&1; }

# Succeeds where the 32-bit Wine loader is a position-independent executable: ELF type 3 (DYN)
# in byte 16 of its header, rather than 2 (EXEC), a program with fixed addresses.
wine32_loader_is_position_independent() {
  [ "$(od -An -tu1 -j16 -N1 "$wine32_loader" 2>/dev/null | tr -d ' ')" = 3 ]
}
