# A game played headless: starfall's basket follows keys held with `hold` (a `type` tap or a
# `wait` alone would not move it), and the screen read back as cells (character and colour byte)
# shows a changed colour as a changed line.
. "$(dirname "$0")/lib.sh"
cd "$QUILLANE_BUILD_DIR"

cat >"$WORK/play.txt" <<'SCRIPT'
type g 8000\n
wait 1000
mem basket_col 1
wait 500
mem basket_col 1
hold D 500
mem basket_col 1
hold a 1000
mem basket_col 1
quit
SCRIPT
"$RUN" "$EXAMPLES/starfall.hex" --symbols "$EXAMPLES/starfall.sym" --script "$WORK/play.txt" \
    --text >"$WORK/out.txt" 2>"$WORK/err.txt" || fail "status $? $(cat "$WORK/err.txt")"
cols=$(grep '^[0-9A-F]\{4\}  ' "$WORK/out.txt" | awk '{print $2}' | tr '\n' ' ')
set -- $cols
[ $# = 4 ] || fail "basket columns: $cols"
start=$((0x$1)) idle=$((0x$2)) right=$((0x$3)) left=$((0x$4))
[ $idle = $start ] || fail "the basket moved without a key: $cols"
[ $right -gt $start ] || fail "holding D did not move the basket right: $cols"
[ $left -lt $start ] || fail "holding A for longer did not move it back past the start: $cols"
# The screen agrees: the basket (\_/) is drawn on row 22 at its last column.
row22=$(grep -v '^[0-9A-F]\{4\}  ' "$WORK/out.txt" | sed -n 23p)
[ "$(printf '%s' "$row22" | cut -c $((left + 1))-$((left + 3)))" = '\_/' ] ||
    fail "row 22: '$row22' (basket at $left)"

# Cells: 24 lines "NN: c/HH ..." whose characters are --text's; one colour byte changed in row
# 18 (3800 + 18 * 32 + 3) changes line 18 and nothing else.
printf 'type g 8000\\n\nwait 1000\ncells\npoke 3A43 47\ncells\nquit\n' >"$WORK/cells.txt"
"$RUN" "$EXAMPLES/starfall.hex" --script "$WORK/cells.txt" --text >"$WORK/out.txt" ||
    fail "cells run: status $?"
sed -n 1,24p "$WORK/out.txt" >"$WORK/before.txt"
sed -n 25,48p "$WORK/out.txt" >"$WORK/after.txt"
sed -n 49,72p "$WORK/out.txt" >"$WORK/text.txt"
[ "$(grep -c '^[0-2][0-9]:\( ./[0-9A-F][0-9A-F]\)\{32\}$' "$WORK/before.txt")" = 24 ] ||
    fail "cells format: $(head -2 "$WORK/before.txt")"
sed 's/^...//; s/ \(.\)\/[0-9A-F][0-9A-F]/\1/g' "$WORK/before.txt" | cmp -s - "$WORK/text.txt" ||
    fail "cells and text disagree: $(head -3 "$WORK/before.txt")"
changed=$(diff "$WORK/before.txt" "$WORK/after.txt" | grep '^>' || true)
[ "$(printf '%s\n' "$changed" | wc -l)" = 1 ] || fail "changed lines: $changed"
case "$changed" in "> 18: "*) ;; *) fail "the change is not line 18: $changed" ;; esac
# Column 3's cell is characters 20-23 of the line ("18:" and five characters a cell).
[ "$(printf '%s' "$changed" | cut -c 3- | cut -c 20-23)" = "$(sed -n 19p "$WORK/text.txt" | cut -c 4)/47" ] ||
    fail "the changed cell: $changed"
echo "held keys and cells: ok"
