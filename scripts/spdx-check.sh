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

# The identifier line for a file, or nothing for a file that carries none.
expected_line() {
  local tag="SPDX-License-Identifier: $licence"
  case $1 in
    *.cpp | *.h) echo "// $tag" ;;
    *.1.in | *.1) echo ".\\\" $tag" ;;
    *.xml | *.xml.in | *.svg | *.qrc) echo "<!-- $tag -->" ;;
    */CMakeLists.txt | CMakeLists.txt | *.cmake | *.sh | *.py | *.bash-completion | \
      *.desktop.in | *.lintian-overrides | .ci/run) echo "# $tag" ;;
  esac
}

# The line number the identifier belongs on.
expected_position() {
  local first
  first=$(head -n 1 "$1")
  case $first in
    '#!'* | '<?xml'*) echo 2 ;;
    *) echo 1 ;;
  esac
}

missing=()
wrong=()
for file in "${files[@]}"; do
  line=$(expected_line "$file")
  [ -n "$line" ] && [ -f "$file" ] || continue
  position=$(expected_position "$file")
  found=$(head -n 3 "$file" | grep -n 'SPDX-License-Identifier' || true)
  if [ -z "$found" ]; then
    if [ $apply -eq 1 ]; then
      if [ "$position" -eq 1 ]; then
        { printf '%s\n' "$line"; cat "$file"; } >"$file.spdx"
      else
        { head -n 1 "$file"; printf '%s\n' "$line"; tail -n +2 "$file"; } >"$file.spdx"
      fi
      chmod --reference="$file" "$file.spdx"
      mv "$file.spdx" "$file"
      echo "added: $file"
    else
      missing+=("$file")
    fi
  elif [ "$found" != "$position:$line" ]; then
    wrong+=("$file: expected line $position '$line', found '$found'")
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
