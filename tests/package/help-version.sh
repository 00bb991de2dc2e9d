#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# help-version.sh VERSION PROGRAM...
# Each program, asked for --help, -h or --version, answers on standard output with status 0,
# --version with "<name> VERSION"; and none of them, nor indi_kavri refusing an unknown
# argument, creates a file in the home folder (settings, port map, logs). Run without a
# display, as over ssh.
set -uo pipefail
version=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for program in "$@"; do
  name=$(basename "$program")
  # option | expected status | what standard output must hold (an extended regular
  # expression; empty: nothing at all)
  cases=(
    "--version|0|^$name $version\$"
    "--help|0|^([Uu]sage: $name |NAME\$)"
    "-h|0|^([Uu]sage: $name |NAME\$)"
  )
  [ "$name" = indi_kavri ] && cases+=("--frobnicate|2|")
  for row in "${cases[@]}"; do
    IFS='|' read -r option status pattern <<<"$row"
    home=$work/$name$option
    mkdir -p "$home"
    env -i PATH="$PATH" HOME="$home" "$program" "$option" >"$work/out" 2>"$work/err" </dev/null
    got=$?
    [ "$got" -eq "$status" ] ||
      fail "$name $option: status $got, expected $status ($(head -c 300 "$work/err"))"
    if [ -z "$pattern" ]; then
      [ ! -s "$work/out" ] || fail "$name $option wrote to standard output"
    elif ! grep -Eq "$pattern" "$work/out"; then
      fail "$name $option: no line matches '$pattern' in: $(head -c 300 "$work/out")"
    fi
    written=$(find "$home" -mindepth 1 | head -5)
    [ -z "$written" ] || fail "$name $option wrote into the home folder: $written"
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "help and version of $# programs: fine"
