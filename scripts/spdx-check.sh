#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every source file names its licence in its first line:
#   // SPDX-License-Identifier: GPL-3.0-or-later     (C++)
#   # SPDX-License-Identifier: GPL-3.0-or-later      (CMake, shell, Python, ...)
#   .\" SPDX-License-Identifier: GPL-3.0-or-later    (manual pages)
#   <!-- SPDX-License-Identifier: GPL-3.0-or-later --> (XML, SVG)
# The line comes second after a "#!" line or an XML declaration.
#
#   scripts/spdx-check.sh [--apply] [--allow-missing] [FILE...]
#
# Without FILE, the files git tracks. --apply adds the line to files that lack it.
# --allow-missing counts files without the line instead of failing on them; a line that is
# wrong or out of place fails in any case.
set -euo pipefail
cd "$(dirname "$0")/.."

licence=GPL-3.0-or-later
apply=0
allow_missing=0
files=()
for arg in "$@"; do
  case $arg in
    --apply) apply=1 ;;
    --allow-missing) allow_missing=1 ;;
    -*) echo "usage: $0 [--apply] [--allow-missing] [FILE...]" >&2; exit 2 ;;
    *) files+=("$arg") ;;
  esac
done
[ ${#files[@]} -gt 0 ] || mapfile -t files < <(git ls-files)

# The identifier line for a file in $line, empty for a file that carries none. Builtins only:
# the check runs over every file of the tree.
expected_line() {
  local tag="SPDX-License-Identifier: $licence"
  case $1 in
    *.cpp | *.h) line="// $tag" ;;
    *.1.in | *.1) line=".\\\" $tag" ;;
    *.xml | *.xml.in | *.svg | *.qrc) line="<!-- $tag -->" ;;
    */CMakeLists.txt | CMakeLists.txt | *.cmake | *.sh | *.py | *.bash-completion | \
      *.desktop.in | *.lintian-overrides | .ci/run) line="# $tag" ;;
    *) line="" ;;
  esac
}

missing=()
wrong=()
for file in "${files[@]}"; do
  expected_line "$file"
  [ -n "$line" ] && [ -f "$file" ] || continue
  head=()
  mapfile -t -n 3 head <"$file"
  # The line belongs first, or second after a "#!" line or an XML declaration.
  position=0
  [[ ${head[0]:-} == '#!'* || ${head[0]:-} == '<?xml'* ]] && position=1
  found=""
  for ((i = 0; i < ${#head[@]}; i++)); do
    [[ ${head[i]} == *SPDX-License-Identifier* ]] && found+="$((i + 1)):${head[i]}"
  done
  if [ -z "$found" ]; then
    if [ $apply -eq 1 ]; then
      { head -n "$position" "$file"; printf '%s\n' "$line"; tail -n +"$((position + 1))" "$file"; } \
        >"$file.spdx"
      chmod --reference="$file" "$file.spdx"
      mv "$file.spdx" "$file"
      echo "added: $file"
    else
      missing+=("$file")
    fi
  elif [ "$found" != "$((position + 1)):$line" ]; then
    wrong+=("$file: expected line $((position + 1)) '$line', found '$found'")
  fi
done

status=0
if [ ${#wrong[@]} -gt 0 ]; then
  printf 'wrong licence identifier: %s\n' "${wrong[@]}"
  status=1
fi
if [ ${#missing[@]} -gt 0 ]; then
  if [ $allow_missing -eq 1 ]; then
    echo "${#missing[@]} files without a licence identifier (scripts/spdx-check.sh --apply adds it)"
  else
    printf 'no licence identifier: %s\n' "${missing[@]}"
    status=1
  fi
fi
exit $status
