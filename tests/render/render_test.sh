#!/usr/bin/env bash
# render_test.sh CASE ROOT WINDOWS_BUILD REFERENCE
# One group of checks on the render path: scripts/render and scripts/demo, and dsphost running the
# DLL of WINDOWS_BUILD under Wine. REFERENCE is the native mix_reference; when it is not
# built yet it is built here. Prints one line per check and fails if any check does.
set -euo pipefail
case_name=$1 root=$2 build=$3 reference=$4
export CRACKLETON_WINDOWS_BUILD=$build

work=$(mktemp -d "${TMPDIR:-/tmp}/crackleton-render-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
. "$root/tests/checks.sh"
. "$root/scripts/lib.sh"

# The test's own copy of dsphost and the DLL, so that the plugin.ini it writes stays here.
mkdir "$work/host"
cp "$build/bin/dsphost.exe" "$build/bin/dsp_crackleton.dll" "$work/host/"
dsphost() {
  "$root/scripts/wine-run" win32 "$build/wineprefix" "$work/host/dsphost.exe" "$@"
}

# Without a native build beside this one, a native build of mix_reference alone, made once.
find_reference() {
  [ -x "$reference" ] && return
  reference=$build/native-reference/bin/mix_reference
  [ -x "$reference" ] && return
  build_in "$build/native-reference" mix_reference
}
mix_reference() { "$reference" "$@"; }

# make_input FILE BITS RATE CHANNELS: 1.5 s of full-scale white noise in the first channel (so
# that the sums clip) and a tone in the others.
make_input() {
  local synths=(whitenoise)
  for ((iChannel = 1; iChannel < $4; ++iChannel)); do synths+=(sine $((220 * (iChannel + 1)))); done
  sox -V1 -n -r "$3" -c "$4" -b "$2" "$1" synth 1.5 "${synths[@]}"
}

as_raw() { sox -V1 "$1" -t raw -e signed-integer -L -; }

# same_file NAME EXPECTED ACTUAL
same_file() {
  if cmp -s "$2" "$3"; then pass "$1"; else failed "$1: $(cmp "$2" "$3" 2>&1 | head -1)"; fi
}

# renders_like_reference NAME AMOUNT_PCT SPEED_PCT AMOUNT SPEED RATE CHANNELS
renders_like_reference() {
  local name=$1 input=$work/$1.wav output=$work/$1-crackled.wav
  make_input "$input" 16 "$6" "$7"
  if ! "$root/scripts/render" --amount "$2" --speed "$3" "$input" "$output"; then
    failed "$name: scripts/render failed"
    return
  fi
  as_raw "$input" | mix_reference "$4" "$5" >"$work/$name-expected.raw"
  as_raw "$output" >"$work/$name-actual.raw"
  same_file "$name: the DLL under Wine matches the native mixer" \
    "$work/$name-expected.raw" "$work/$name-actual.raw"
  if cmp -s "$work/$name-actual.raw" <(as_raw "$input"); then
    failed "$name: the output is the input unchanged"
  fi
  local format
  format="$(soxi -r "$output") $(soxi -c "$output") $(soxi -b "$output")"
  if [ "$format" = "$6 $7 16" ]; then pass "$name: rate, channels and width kept"; else
    failed "$name: came back as $format"
  fi
}

check_matches_reference() {
  find_reference
  renders_like_reference full 100 100 256 256 44100 2
  renders_like_reference half_amount_double_speed 50 200 128 512 44100 2
  # 33 % is 84.48/256 and 75 % is 192/256: the percentages are rounded to the nearest setting.
  renders_like_reference mono_rounded 33 75 84 192 22050 1
}

check_block_sizes() {
  find_reference
  make_input "$work/input.wav" 16 44100 2
  as_raw "$work/input.wav" >"$work/input.raw"
  mix_reference 256 256 <"$work/input.raw" >"$work/expected.raw"
  # 66,150 frames: none of these sizes divides it, so the last block is always a short one.
  for frames in 1 576 1000 4096; do
    rm -f "$work/host/plugin.ini"
    if dsphost --rate 44100 --channels 2 --bits 16 --block "$frames" \
      <"$work/input.raw" >"$work/blocks-$frames.raw"; then
      [ "$frames" -eq 1 ] || same_file "blocks of $frames frames match blocks of 1" \
        "$work/blocks-1.raw" "$work/blocks-$frames.raw"
      same_file "blocks of $frames frame(s) match the native mixer in one go" \
        "$work/expected.raw" "$work/blocks-$frames.raw"
    else
      failed "dsphost failed with blocks of $frames frame(s)"
    fi
  done
}

# dsphost --configure renders with what the window was left showing, and quit saves it.
check_settings_window() {
  find_reference
  make_input "$work/input.wav" 16 44100 2
  as_raw "$work/input.wav" >"$work/input.raw"
  mix_reference 128 512 <"$work/input.raw" >"$work/expected.raw"
  rm -f "$work/host/plugin.ini"
  # exec: $! is then the Wine program itself, not a subshell above it that a kill would leave
  # it running under.
  (exec "$root/scripts/wine-run" win32 "$build/wineprefix" "$work/host/dsphost.exe" \
    --configure --rate 44100 --channels 2 --bits 16 <"$work/input.raw" >"$work/actual.raw") &
  local host=$!
  local driven=0
  "$root/scripts/wine-run" win32 "$build/wineprefix" "$build/bin/settings_window_driver.exe" \
    128 512 || driven=$?
  # Left open, the window would keep dsphost waiting for ever.
  [ "$driven" -eq 0 ] || kill "$host"
  local status=0
  wait "$host" || status=$?
  if [ "$driven" -ne 0 ] || [ "$status" -ne 0 ]; then
    failed "the settings window run: driver exited $driven, dsphost $status"
    return
  fi
  pass "dsphost went on once the settings window was closed"
  same_file "the render used the settings the window was left at" \
    "$work/expected.raw" "$work/actual.raw"
  if tr -d '\r' <"$work/host/plugin.ini" | grep -qx vinyl_amount=128 &&
    tr -d '\r' <"$work/host/plugin.ini" | grep -qx vinyl_speed=512; then
    pass "quit saved them in plugin.ini"
  else
    failed "plugin.ini after the window: $(cat "$work/host/plugin.ini")"
  fi
}

check_pass_through() {
  for bits in 8 24 32; do
    make_input "$work/input-$bits.wav" "$bits" 44100 2
    if "$root/scripts/render" "$work/input-$bits.wav" "$work/output-$bits.wav"; then
      same_file "$bits-bit audio comes back byte for byte" \
        "$work/input-$bits.wav" "$work/output-$bits.wav"
    else
      failed "$bits-bit: scripts/render failed"
    fi
  done
  make_input "$work/input-16.wav" 16 44100 2
  if "$root/scripts/render" --amount 0 "$work/input-16.wav" "$work/output-16.wav"; then
    same_file "16-bit audio at amount 0 comes back byte for byte" \
      "$work/input-16.wav" "$work/output-16.wav"
  else
    failed "amount 0: scripts/render failed"
  fi
}

# refused NAME PROGRAM OUTPUT COMMAND...: COMMAND exits non-zero with one line on standard error,
# starting "PROGRAM: ", and OUTPUT is not there afterwards (nor any partial file beside it).
refused() {
  local name=$1 program=$2 output=$3
  shift 3
  local status=0
  "$@" 2>"$work/stderr" >"$work/stdout" || status=$?
  local lines
  lines=$(wc -l <"$work/stderr")
  if [ "$status" -eq 0 ]; then
    failed "$name: exited 0"
  elif [ "$lines" -ne 1 ] || ! grep -q "^$program: " "$work/stderr"; then
    failed "$name: wanted one '$program:' line on standard error, got: $(cat "$work/stderr")"
  elif [ -n "$output" ] && { [ -e "$output" ] || compgen -G "${output%/*}/.render-*"; } >/dev/null; then
    failed "$name: left $output or a partial file beside it"
  else
    pass "$name: $(cat "$work/stderr")"
  fi
}

dsphost_to_full_disk() { dsphost "$@" >/dev/full; }

check_bad_input() {
  local format=(--rate 44100 --channels 2 --bits 16)
  refused "a missing DLL" dsphost "" dsphost --plugin 'Z:\no\such\dsp.dll' "${format[@]}" </dev/null
  refused "a DLL that is not a DSP plug-in" dsphost "" \
    dsphost --plugin kernel32.dll "${format[@]}" </dev/null
  refused "no module 1" dsphost "" dsphost --module 1 "${format[@]}" </dev/null
  refused "rate 0" dsphost "" dsphost --rate 0 --channels 2 --bits 16 </dev/null
  refused "channels not a number" dsphost "" dsphost --rate 44100 --channels two --bits 16 </dev/null
  refused "12-bit samples" dsphost "" dsphost --rate 44100 --channels 2 --bits 12 </dev/null
  refused "block 0" dsphost "" dsphost "${format[@]}" --block 0 </dev/null
  refused "an unknown option" dsphost "" dsphost "${format[@]}" --gain 3 </dev/null
  refused "no format" dsphost "" dsphost </dev/null

  # Two whole stereo frames and one byte more: the frames come out, then the error.
  printf '\0\0\0\0\0\0\0\0\0' >"$work/short.raw"
  refused "a last frame cut short" dsphost "" dsphost "${format[@]}" <"$work/short.raw"
  if [ "$(wc -c <"$work/stdout")" -eq 8 ]; then pass "the whole frames before it were written"; else
    failed "wrote $(wc -c <"$work/stdout") bytes before the cut frame, not 8"
  fi
  make_input "$work/input.wav" 16 44100 2
  as_raw "$work/input.wav" >"$work/input.raw"
  refused "a full disk" dsphost "" dsphost_to_full_disk "${format[@]}" <"$work/input.raw"

  local render=$root/scripts/render out=$work/out.wav
  refused "render: an unknown option" render "$out" "$render" --gain 3 "$work/input.wav" "$out"
  refused "render: amount over 200 %" render "$out" "$render" --amount 250 "$work/input.wav" "$out"
  refused "render: speed not a number" render "$out" "$render" --speed fast "$work/input.wav" "$out"
  refused "render: one file only" render "" "$render" "$work/input.wav"
  refused "render: a missing input" render "$out" "$render" "$work/none.wav" "$out"
  echo "not audio" >"$work/text.wav"
  refused "render: an input that is not audio" render "$out" "$render" "$work/text.wav" "$out"
  refused "render: a missing output folder" render "" "$render" "$work/input.wav" "$work/no/out.wav"
  refused "render: an output type sox does not know" render "$work/out.xyz" \
    "$render" "$work/input.wav" "$work/out.xyz"

  # A build whose DLL is broken: dsphost fails inside the pipeline, after sox has started on the
  # output. The output must not appear, and one already there must stay as it was.
  mkdir -p "$work/broken/bin"
  cp "$build/bin/dsphost.exe" "$work/broken/bin/"
  echo "not a library" >"$work/broken/bin/dsp_crackleton.dll"
  ln -s "$build/wineprefix" "$work/broken/wineprefix"
  refused "render: a DLL that does not load" dsphost "$out" \
    env CRACKLETON_WINDOWS_BUILD="$work/broken" "$render" "$work/input.wav" "$out"
  echo "an earlier render" >"$out"
  if CRACKLETON_WINDOWS_BUILD="$work/broken" "$render" "$work/input.wav" "$out" 2>/dev/null; then
    failed "render with a broken DLL exited 0"
  elif [ "$(cat "$out")" = "an earlier render" ] && ! compgen -G "$work/.render-*" >/dev/null; then
    pass "a failed render leaves an existing output as it was, and no partial file"
  else
    failed "a failed render changed the existing output or left a partial file"
  fi
}

check_demo() {
  local out=$work/demo
  if ! CRACKLETON_DEMO_OUT=$out "$root/scripts/demo" >"$work/demo.log" 2>&1; then
    failed "scripts/demo failed: $(tail -3 "$work/demo.log")"
    return
  fi
  for file in demo-input.wav demo-crackled.wav demo.png; do
    if [ -s "$out/$file" ]; then pass "the demo wrote $file"; else failed "no $file"; fi
  done
  if [ "$(head -c 8 "$out/demo.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; then
    pass "demo.png is a PNG"
  else
    failed "demo.png is not a PNG"
  fi
  if cmp -s <(as_raw "$out/demo-input.wav") <(as_raw "$out/demo-crackled.wav"); then
    failed "the crackled demo is the input unchanged"
  else
    pass "the crackled demo differs from its input"
  fi

  # Given a file of its own, the demo hands it over as 16-bit audio, as the player would.
  make_input "$work/own.wav" 24 48000 2
  if CRACKLETON_DEMO_OUT=$out "$root/scripts/demo" "$work/own.wav" >"$work/demo.log" 2>&1 &&
    [ "$(soxi -b "$out/demo-input.wav") $(soxi -r "$out/demo-input.wav")" = "16 48000" ] &&
    ! cmp -s "$out/demo-input.wav" "$out/demo-crackled.wav"; then
    pass "the demo crackles a 24-bit file of its own as 16-bit"
  else
    failed "the demo with a 24-bit file of its own: $(tail -3 "$work/demo.log")"
  fi
}

"check_$case_name"
checks_done
