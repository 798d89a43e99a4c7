# quillane-run --dap against clients that misbehave: a message of the wrong shape is answered,
# not a crash; a client that does not read its replies blocks neither the requests nor SIGTERM
# (status 130 at once), and one that leaves more than 4 MiB unread is given up (status 2).
. "$(dirname "$0")/lib.sh"
cd "$WORK"

frame() { # BODY
    printf 'Content-Length: %d\r\n\r\n%s' ${#1} "$1"
}
# COUNT disassembles of 200 instructions: about 12 KB of reply each.
disassembles() { # COUNT
    i=0
    while [ $i -lt "$1" ]; do
        frame '{"seq":1,"type":"request","command":"disassemble","arguments":{"memoryReference":"0","instructionCount":200}}'
        i=$((i + 1))
    done
}
# Waits up to TENTHS tenths of a second for process PID to end; its status in $rc.
wait_pid() { # PID TENTHS WHAT
    i=0
    while kill -0 "$1" 2>/dev/null; do
        i=$((i + 1))
        [ $i -lt "$2" ] || { kill -KILL "$1"; fail "$3: quillane-run did not end"; }
        sleep 0.1
    done
    rc=0
    wait "$1" || rc=$?
}

# A seq given as text, and arrays nested 100,000 deep: error responses, then the end of input.
{
    frame '{"seq":"1","type":"request","command":"initialize"}'
    frame "{\"seq\":2,\"type\":\"request\",\"command\":\"evaluate\",\"arguments\":$(
        head -c 100000 /dev/zero | tr '\0' '[')}"
} | timeout 20 "$RUN" --dap >out.txt 2>err.txt || fail "bad messages: status $? $(cat err.txt)"
grep -q '"message":"seq must be a whole number"' out.txt || fail "seq: $(cat out.txt)"
grep -q '"message":"the message nests arrays and objects deeper than 64 levels"' out.txt ||
    fail "deep: $(head -c 400 out.txt)"

mkfifo in.fifo out.fifo
exec 3<>out.fifo 4<>in.fifo # held open: the replies are never read, the requests never end

# The replies fill the pipe; a console command after them still runs (it saves memory), and
# SIGTERM ends the program at once.
"$RUN" --dap <in.fifo >out.fifo 2>err.txt &
pid=$!
disassembles 20 >&4
frame '{"seq":2,"type":"request","command":"evaluate","arguments":{"context":"repl","expression":">save probe.bin 0 4"}}' >&4
i=0
until [ -s probe.bin ]; do
    i=$((i + 1))
    [ $i -lt 100 ] || { kill -KILL $pid; fail "requests were not read while replies waited"; }
    sleep 0.1
done
kill -TERM $pid
wait_pid $pid 50 SIGTERM
[ $rc = 130 ] || fail "SIGTERM: status $rc $(cat err.txt)"

# More than 4 MiB of replies unread: the session ends.
exec 3<&- 3<>out.fifo # an empty pipe again
"$RUN" --dap <in.fifo >out.fifo 2>err.txt &
pid=$!
disassembles 400 >&4
wait_pid $pid 200 "unread replies"
[ $rc = 2 ] || fail "unread replies: status $rc"
grep -q 'the client left more than 4194304 bytes of replies unread' err.txt ||
    fail "unread replies: $(cat err.txt)"
echo PASS
