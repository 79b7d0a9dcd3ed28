#!/bin/sh
# Every ELF file the build made may only search absolute folders or folders relative to itself
# ($ORIGIN): an empty or relative RUNPATH entry is the current folder, where anyone's libraries lie.
# Usage: check_runpath.sh BUILD_DIR
set -u
build=$1
bad=0
checked=0
for dir in bin testplugins tests bench fuzz tools; do
    [ -d "$build/$dir" ] || continue
    for f in "$build/$dir"/*; do
        [ -f "$f" ] || continue
        head -c 4 "$f" | grep -q 'ELF' || continue
        checked=$((checked + 1))
        paths=$(readelf -d "$f" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
        [ -n "$paths" ] || continue
        # An entry is empty when the list starts or ends with ':' or holds '::'.
        entries=$(printf '%s\n' "$paths" | sed 's/^:/<empty>:/; s/:$/:<empty>/; s/::/:<empty>:/g; s/::/:<empty>:/g' | tr ':' '\n')
        for entry in $entries; do
            case "$entry" in
            /* | '$ORIGIN' | '$ORIGIN'/*) ;;
            *)
                echo "$f: RUNPATH entry '$entry' in [$paths]"
                bad=1
                ;;
            esac
        done
    done
done
if [ "$checked" -eq 0 ]; then
    echo "no ELF files under $build" >&2
    exit 1
fi
echo "$checked ELF files checked"
exit $bad
