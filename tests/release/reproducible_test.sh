#!/usr/bin/env bash
# reproducible_test.sh ROOT BUILD
# Copies ROOT's tracked files into two folders of different names and lengths, runs
# scripts/release in each with the same SOURCE_DATE_EPOCH, and compares the artefacts byte for
# byte; then holds them to BUILD, the developers' 32-bit build, so that the tests there test the
# bytes that ship. Prints one line per check and fails if any check does.
set -euo pipefail
root=$1 build=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/crackleton-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$root/tests/checks.sh"

export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
copies=("$work/a" "$work/a-second-checkout-with-a-longer-name")
for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  git -C "$root" ls-files -z | (cd "$root" && xargs -0 cp --parents -t "$copy")
done
# Both at once: most of the time goes into compiling, one core each.
for copy in "${copies[@]}"; do
  CRACKLETON_RELEASE_OUT=$copy/out "$copy/scripts/release" >"$copy.log" 2>&1 &
done
for copy in "${copies[@]}"; do
  wait -n || failed "a release build failed"
done
if [ "$failures" -ne 0 ]; then
  tail -n 5 "${copies[0]}.log" "${copies[1]}.log"
  exit 1
fi

first=${copies[0]}/out second=${copies[1]}/out
# SHA256SUMS names the other two.
mapfile -t artefacts < <(awk '{ print $2 }' "$first/SHA256SUMS")
[ ${#artefacts[@]} -eq 2 ] || failed "SHA256SUMS names ${#artefacts[@]} files, not 2"
for artefact in SHA256SUMS "${artefacts[@]}"; do
  if cmp -s "$first/$artefact" "$second/$artefact"; then
    pass "$artefact is the same from both folders: $(sha256sum <"$first/$artefact" | cut -d' ' -f1)"
  else
    failed "$artefact differs between the two folders"
  fi
done
setup=${artefacts[0]} zip=${artefacts[1]}
check "the released installer is the one $build makes" \
  cmp -s "$first/$setup" "$build/installer/$setup"
released_dll_is_built_dll() {
  unzip -p "$first/$zip" dsp_crackleton.dll | cmp -s - "$build/bin/dsp_crackleton.dll"
}
check "the released DLL is the one $build makes and tests" released_dll_is_built_dll
checks_done
