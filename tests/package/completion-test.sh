#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# completion-test.sh KAVRICTL COMPLETION-FILE
# kavrictl's bash completion offers exactly what kavrictl --help documents: the commands, the
# options, each command's own options and the configuration fields; and skips options and
# their values when it looks for the command.
set -uo pipefail
kavrictl=$1
completion=$2
if [ ! -f /usr/share/bash-completion/bash_completion ]; then
  echo "bash-completion is not installed (scripts/install-deps.sh installs it)"
  exit 1
fi
source /usr/share/bash-completion/bash_completion
source "$completion"

manual=$("$kavrictl" --help) || exit 1
# The manual's section $1, without its heading.
section() { awk -v s="$1" '/^[A-Z]/ { on = ($0 == s); next } on' <<<"$manual"; }
# Words, one per line, sorted and unique.
words() { tr ' ' '\n' | sed '/^$/d' | sort -u; }

commands=$(section COMMANDS | grep -E '^    [a-z]' | awk '{print $1}' | words)
options=$(section OPTIONS | grep -E '^    -' | grep -oE '(^ *|, )-{1,2}[a-z-]+' | tr -d ', ' | words)
# A command's own options: those in its synopsis line.
own_options() { section COMMANDS | grep -E "^    $1( |\$)" | grep -oE -- '--[a-z-]+' | words; }
# The configuration fields: the names listed between "Fields:" and "One-byte".
fields=$(section COMMANDS | tr '\n' ' ' | sed 's/.*Fields://; s/One-byte.*//; s/([^)]*)//g' |
  grep -oE '[a-z][A-Za-z]+' | words)

# What the completion offers for a command line whose last word is being typed.
offered() {
  local line=$1
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kavrictl kavrictl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort -u
}

failures=0
expect() {
  local line=$1 wanted=$2 got
  got=$(offered "$line")
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: '$line' offers:"
    diff <(echo "$wanted") <(echo "$got") | sed 's/^/  /'
    failures=$((failures + 1))
  fi
}

[ "$(wc -l <<<"$commands")" -ge 19 ] && [ "$(wc -l <<<"$fields")" -ge 15 ] || {
  echo "FAIL: the manual's lists were not found (commands: $commands; fields: $fields)"
  exit 1
}

# line typed | what it must offer
expect "kavrictl " "$commands"
expect "kavrictl --json -p 3 --log run.log " "$commands"
expect "kavrictl -" "$options"
expect "kavrictl status -" "$options"
for command in $commands; do
  own=$(own_options "$command")
  [ -n "$own" ] && expect "kavrictl $command 1 -" "$(printf '%s\n%s\n' "$options" "$own" | words)"
done
expect "kavrictl config " "$fields"
expect "kavrictl -v config focuserSpeed=250 focuser" "$(grep '^focuser' <<<"$fields")"
expect "kavrictl --port COM1" "$(printf 'COM1\nCOM10\nCOM11\nCOM12\nCOM13\nCOM14\nCOM15\nCOM16\n')"
expect "kavrictl filter-edit 2 --focus-shift " "none"

# Files where a command takes one: a settings file for save and load, logs for calibrate.
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch night.fws term_log_2026-12-01.csv notes.txt
expect "kavrictl load " "night.fws"
expect "kavrictl --port 3 save n" "night.fws"
expect "kavrictl calibrate " "term_log_2026-12-01.csv"

[ "$failures" -eq 0 ] || exit 1
echo "kavrictl completion: commands, options and fields as kavrictl --help documents them"
