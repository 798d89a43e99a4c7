# Every file quillane-run reads is read at once or refused at once, within a bound: save states
# (--state, `state load`), recordings (--replay), debug information (--symbols and `symbols` on a
# .cdb) and the sources `list` shows, given a FIFO nobody writes, a device that never ends, a
# folder or a sparse file of gigabytes, give their reason and status 2 instead of hanging or
# growing; sizes a file claims are checked before anything is allocated; a big array prints its
# first elements and "...". The window refuses to record into a FIFO before it opens. (Which
# debug files the loaders refuse, and .cdb types larger than the memory: test_source.cpp.)
. "$(dirname "$0")/lib.sh"
cd "$WORK"

printf ':0280000018FE68\r\n' >loop.hex
mkfifo silent.fifo silent.cdb prog.c
mkdir folder
truncate -s 2G huge

# Each refused file: by the option (status 2, "quillane-run: FILE: REASON") and, where the
# command language reads it too, by a script's line ("script.txt:1: FILE: REASON"). The reason
# is a pattern.
refused() { # OPTION COMMAND FILE REASON
    if [ "$1" = --replay ]; then run --replay "$3"; else run --no-rom loop.hex "$1" "$3" --ticks 100; fi
    # shellcheck disable=SC2254
    case "$rc $(cat err.txt)" in
    "2 quillane-run: $3: "$4) ;;
    *) fail "$1 $3: status $rc, $(head -c 300 err.txt)" ;;
    esac
    [ -z "$2" ] && return
    printf '%s %s\n' "$2" "$3" >script.txt
    run --no-rom loop.hex --ticks 100 --script script.txt
    # shellcheck disable=SC2254
    case "$rc $(cat err.txt)" in
    "2 script.txt:1: $3: "$4) ;;
    *) fail "$2 $3: status $rc, $(head -c 300 err.txt)" ;;
    esac
}
refused --state 'state load' silent.fifo 'not a regular file (a FIFO)'
refused --state 'state load' /dev/zero 'not a regular file (a device)'
refused --state 'state load' folder 'Is a directory'
refused --state 'state load' huge 'too large (2147483648 bytes; at most *)'
refused --replay '' silent.fifo 'not a regular file (a FIFO)'
refused --replay '' /dev/zero 'not a regular file (a device)'
refused --replay '' folder 'Is a directory'
refused --replay '' huge 'too large (2147483648 bytes; at most 256 MiB)'
refused --symbols symbols silent.cdb 'Not a regular file (a FIFO)'

# Sizes inside the files: a state whose body claims 4 GB, a recording whose first state claims
# more than a state can hold (the file is that long: sparse).
{ printf 'QUILSTAT\001\000\000\000\360\377\377\377'; head -c 100 /dev/zero; } >claims.state
refused --state 'state load' claims.state 'truncated'
{ printf 'QUILREC\000\001\000\000\000'; head -c 8 /dev/zero; printf '\001\300\330\247\000'; } \
    >claims.rec
truncate -s 11000100 claims.rec
refused --replay '' claims.rec 'record 1: a state larger than a save state can be'

# A source file that is a FIFO: `list` says so at once.
printf 'M:prog\nL:C$prog.c$1$1_0$1:8000\nL:C$prog.c$2$1_0$1:8001\n' >prog.cdb
printf 'list prog.c:1\n' >list.txt
run --no-rom loop.hex --symbols prog.cdb --script list.txt
[ $rc = 2 ] && grep -q '^list.txt:1: .*prog.c: Not a regular file (a FIFO)$' err.txt ||
    fail "list of a FIFO: status $rc, $(cat err.txt)"

# A big array prints its first elements and "...".
printf '%s\n' 'M:big' 'S:G$row$0_0$0({2000}DA1000d,SI:S),E,0,0' 'L:G$row$0_0$0:9000' >big.cdb
printf 'print row\n' >row.txt
run --no-rom loop.hex --symbols big.cdb --ticks 100 --script row.txt
[ $rc = 0 ] || fail "print row: status $rc, $(cat err.txt)"
[ "$(grep -c '^  \[' out.txt)" = 256 ] && [ "$(tail -n 1 out.txt)" = '  ...' ] ||
    fail "print row: $(head -c 300 out.txt)"

# The window: a recording into a FIFO whose reader never reads is refused before any window or
# port opens.
WINDOW=$QUILLANE_BUILD_DIR/quillane
if [ -x "$WINDOW" ]; then
    export ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
    exec 3<>silent.fifo # a reader that never reads
    rc=0
    timeout 20 "$WINDOW" --rom "$QUILLANE_BUILD_DIR/tessik.hex" --record silent.fifo \
        --dap-port 47391 2>err.txt || rc=$?
    exec 3>&-
    [ $rc = 2 ] && grep -q '^quillane: silent.fifo: not a regular file (a FIFO)' err.txt ||
        fail "window --record FIFO: status $rc, $(cat err.txt)"
fi
echo "PASS"
