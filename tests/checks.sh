# shellcheck shell=bash
# Sourced by the test scripts: each check prints one line, "ok: ..." or "FAILED: ...", and
# `checks_done` closes with the count of failures and fails if there were any.
failures=0

pass() { echo "ok: $*"; }
failed() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
check() {  # check DESCRIPTION COMMAND...: passes when COMMAND succeeds
  local description=$1
  shift
  if "$@"; then pass "$description"; else failed "$description"; fi
}
checks_done() {
  echo "$failures check(s) failed"
  [ "$failures" -eq 0 ]
}
