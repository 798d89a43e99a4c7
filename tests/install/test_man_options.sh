#!/bin/sh
# The manual pages (docs/man) and the programs' --help cannot drift apart: every option that
# --help lists (on a line of its own) is described in the page's OPTIONS section, and every
# option the OPTIONS section describes (the tags of .TP paragraphs) is one that --help lists.
set -eu
: "${QUILLANE_BUILD_DIR:?}" "${QUILLANE_SOURCE_DIR:?}"
HERE=$QUILLANE_SOURCE_DIR/tests/install
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failed=0

# The tags of the .TP paragraphs of the OPTIONS section, as text: font escapes dropped, \- as
# -, the arguments of font macros (.B, .BI, .BR, ...) joined as man joins them.
man_tags() {
    awk '
    function text(s) {
        gsub(/\\f[BIRP]/, "", s)
        gsub(/\\-/, "-", s)
        gsub(/\\~/, " ", s)
        gsub(/\\&/, "", s)
        return s
    }
    # The arguments of a macro line, double quotes grouping, joined with glue.
    function macro(s, glue,    out, arg, i, c, quoted, n) {
        out = ""; arg = ""; quoted = 0; n = 0
        for (i = 1; i <= length(s); i++) {
            c = substr(s, i, 1)
            if (c == "\"") { quoted = !quoted; continue }
            if (c == " " && !quoted) {
                if (arg != "") { out = out (n++ ? glue : "") arg; arg = "" }
                continue
            }
            arg = arg c
        }
        if (arg != "") out = out (n++ ? glue : "") arg
        return out
    }
    /^\.SH/ { options = ($0 ~ /^\.SH "?OPTIONS"?$/); next }
    !options { next }
    /^\.TP/ { tag = 1; next }
    tag {
        tag = 0
        line = $0
        if (line ~ /^\.(B|I) /) { sub(/^\.[BI] /, "", line); line = macro(line, " ") }
        else if (line ~ /^\.[BIR][BIR] /) { sub(/^\.[BIR][BIR] /, "", line); line = macro(line, "") }
        print text(line)
    }' "$1"
}

check() {
    name=$1
    program=$2
    page=$QUILLANE_SOURCE_DIR/docs/man/$name.1
    if [ ! -f "$page" ]; then
        echo "FAIL: $name has no manual page docs/man/$name.1"
        failed=1
        return
    fi
    "$program" --help | grep -E '^[[:space:]]+-' | awk -f "$HERE/options.awk" | sort -u \
        >"$WORK/$name.help"
    man_tags "$page" | awk -f "$HERE/options.awk" | sort -u >"$WORK/$name.man"
    [ -s "$WORK/$name.help" ] || { echo "FAIL: $name --help lists no options"; failed=1; }
    missing=$(comm -23 "$WORK/$name.help" "$WORK/$name.man" | tr '\n' ' ')
    extra=$(comm -13 "$WORK/$name.help" "$WORK/$name.man" | tr '\n' ' ')
    if [ -n "$missing" ]; then
        echo "FAIL: $name: --help lists options its manual page does not describe: $missing"
        failed=1
    fi
    if [ -n "$extra" ]; then
        echo "FAIL: $name: the manual page describes options --help does not list: $extra"
        failed=1
    fi
}

check quillane-run "$QUILLANE_BUILD_DIR/quillane-run"
check qcc "$QUILLANE_SOURCE_DIR/sdk/qcc"
check qasm "$QUILLANE_SOURCE_DIR/sdk/qasm"
for program in quillane quillane-test; do
    if [ -x "$QUILLANE_BUILD_DIR/$program" ]; then
        check "$program" "$QUILLANE_BUILD_DIR/$program"
    fi
done
exit $failed
