#!/bin/sh
# The manual's promises hold: every relative link of README.md and docs/*.md leads to a file that
# exists (and to a heading of it, for a link with #anchor), and every example marked runnable
# runs. A runnable example is a ```sh block right after a line <!-- runnable -->; the blocks of
# one file run in order, each with sh -e, in one fresh folder outside the checkout that holds a
# copy of the installed examples (examples/), with the installed programs first on the PATH. A
# block right after <!-- output --> that follows a runnable one lists lines its output must
# hold, in that order ("..." lines skip anything).
set -eu
: "${QUILLANE_SOURCE_DIR:?}" "${QUILLANE_STAGE:?}"
PREFIX=$QUILLANE_STAGE/usr
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillane-docs.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
failed=0
cd "$QUILLANE_SOURCE_DIR"
files="README.md $(ls docs/*.md)"

# The anchors of a Markdown file's headings, as the usual renderers make them: lower case, no
# punctuation but - and _, spaces as -.
anchors() {
    awk '/^```/ { code = !code } !code && /^#+ / {
        s = tolower($0)
        sub(/^#+ +/, "", s)
        gsub(/[^a-z0-9 _-]/, "", s)
        gsub(/ /, "-", s)
        print s
    }' "$1"
}

for file in $files; do
    dir=$(dirname "$file")
    # Links outside code blocks and code spans, one target a line.
    awk '/^```/ { code = !code; next } !code {
        line = $0
        gsub(/`[^`]*`/, "", line)
        while (match(line, /\]\([^) ]+\)/)) {
            print substr(line, RSTART + 2, RLENGTH - 3)
            line = substr(line, RSTART + RLENGTH)
        }
    }' "$file" >"$WORK/links"
    while read -r target; do
        case $target in
        http://* | https://* | mailto:*) continue ;;
        esac
        path=${target%%#*}
        anchor=
        case $target in *"#"*) anchor=${target#*#} ;; esac
        if [ -z "$path" ]; then path=$file; else path=$dir/$path; fi
        if [ ! -e "$path" ]; then
            echo "FAIL: $file: the link $target leads nowhere ($path)"
            failed=1
        elif [ -n "$anchor" ] && ! anchors "$path" | grep -qx -- "$anchor"; then
            echo "FAIL: $file: the link $target names no heading of $path"
            failed=1
        fi
    done <"$WORK/links"
done

# The runnable blocks as files BLOCK.sh (and BLOCK.out for an expected output), numbered in
# order within their markdown file.
runs=0
for file in $files; do
    name=$(echo "$file" | tr / _)
    out=$WORK/blocks/$name
    mkdir -p "$out"
    awk -v out="$out" '
        /^<!-- runnable -->$/ { want = "sh"; next }
        /^<!-- output -->$/ { if (last != "") want = "out"; next }
        want != "" && /^```/ && !inside {
            inside = 1
            if (want == "sh") { n++; target = sprintf("%s/%03d.sh", out, n); last = n }
            else target = sprintf("%s/%03d.out", out, last)
            printf "" > target
            next
        }
        inside && /^```$/ { inside = 0; want = ""; close(target); next }
        inside { print > target; next }
        /[^ ]/ { want = ""; if (!/^<!--/) last = "" }
    ' "$file"
    for block in "$out"/*.sh; do
        [ -e "$block" ] || continue
        runs=$((runs + 1))
        folder=$WORK/run/$name
        if [ ! -d "$folder" ]; then
            mkdir -p "$folder"
            cp -r "$PREFIX/share/quillane/examples" "$folder/examples"
        fi
        if ! (cd "$folder" && PATH="$PREFIX/bin:$PATH" sh -e "$block") >"$block.log" 2>&1; then
            echo "FAIL: $file: runnable example $(basename "$block" .sh) failed:"
            sed 's/^/    /' "$block"
            echo "  its output:"
            sed 's/^/    /' "$block.log"
            failed=1
            continue
        fi
        expected=${block%.sh}.out
        [ -f "$expected" ] || continue
        # Each expected line must come, in order, among the output's lines (trailing blanks
        # aside).
        if ! awk 'NR == FNR { sub(/[ \t]+$/, ""); if ($0 != "...") want[++n] = $0; next }
            { sub(/[ \t]+$/, ""); if (i < n && $0 == want[i + 1]) i++ }
            END { if (i < n) { print "  missing: " want[i + 1]; exit 1 } }' \
            "$expected" "$block.log" >"$block.diff"; then
            echo "FAIL: $file: runnable example $(basename "$block" .sh) printed otherwise:"
            cat "$block.diff"
            echo "  its output:"
            sed 's/^/    /' "$block.log"
            failed=1
        fi
    done
done
[ "$runs" -gt 0 ] || { echo "FAIL: no runnable example found"; failed=1; }
echo "$runs runnable examples"
exit $failed
