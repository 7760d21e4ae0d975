#!/usr/bin/env bash
# Fails when a program or test built in the build tree searches a run-path entry that is empty
# or relative: the dynamic loader takes those from the current folder, so a library lying
# beside the user's pictures would run its code.
set -euo pipefail
build=${1:?usage: run_path_check.sh BUILD_DIR}
checked=0
bad=0
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q $'^\x7fELF' || continue
  checked=$((checked + 1))
  paths=$(readelf -d "$file" 2>/dev/null | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')
  [ -n "$paths" ] || continue
  IFS=: read -r -a entries <<<"$paths:"
  for entry in "${entries[@]}"; do
    case "$entry" in
      /* | '$ORIGIN' | '$ORIGIN/'*) ;;
      *) echo "$file: run path [$paths] has the entry '$entry'"; bad=1 ;;
    esac
  done
done < <(find "$build" -type f -perm -u+x -not -path '*/CMakeFiles/*' -print0)
[ "$checked" -gt 0 ] || { echo "no programs found under $build"; exit 1; }
echo "$checked programs checked"
exit "$bad"
