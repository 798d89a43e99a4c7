#!/bin/sh
# Checks the direction of includes: every #include of the C and C++ sources under ROOT against
# RULES (rules.txt beside this script). Prints each offending line and fails when there is one.
# Usage: check_includes.sh [ROOT [RULES]]
root=${1:-$(dirname "$0")/../..}
rules=${2:-$(dirname "$0")/rules.txt}
rules=$(cd "$(dirname "$rules")" && pwd)/$(basename "$rules")
[ -r "$rules" ] || { echo "no rules: $rules" >&2; exit 2; }
cd "$root" || exit 2
found=$(mktemp)
trap 'rm -f "$found"' EXIT
grep -v '^[[:space:]]*\(#\|$\)' "$rules" | while read -r from forbidden excepts; do
    [ -d "$from" ] || continue
    find "$from" \( -name 'build*' -o -name node_modules -o -name '.git' \) -prune -o \
        -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | sed 's|^\./||' |
        while read -r file; do
            skip=
            for e in $excepts; do
                case $file in "$e"/*) skip=1 ;; esac
            done
            [ -n "$skip" ] && continue
            sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^>"]*\)[>"].*/\1/p' "$file" |
                grep -E "$forbidden" | while read -r name; do
                    echo "$file: includes $name (rule: $from $forbidden)"
                done
        done
done >"$found"
if [ -s "$found" ]; then
    cat "$found"
    exit 1
fi
echo "includes point one way"
