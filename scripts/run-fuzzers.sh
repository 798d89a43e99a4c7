#!/bin/sh
# Runs the fuzz targets of a fuzz build, each for SECONDS seconds: the HEX decoder and loader from
# a small seed corpus of valid and nearly valid images, the debug information reader and
# expression evaluator from a few lines of SDCC's debug information, the debug adapter's message
# handler from a few framed requests. Exits non-zero when a target is missing or finds a fault; the
# input that caused it is kept under BUILD_DIR/fuzz-artifacts.
#
#   scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
case $seconds in
'' | *[!0-9]*)
    echo "$0: SECONDS must be a whole number" >&2
    exit 2
    ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/quillane-fuzz.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts" "$work/seeds"

# Seeds: single records for the decoder, whole images for the loader; both targets get all.
seed() {
    printf "$2" >"$work/seeds/$1"
}
seed data ':03200000010203D7'
seed data-lower ':04abcd00deadbeef4c'
seed end ':00000001FF'
seed linear ':020000040000FA'
seed empty-data ':00200000E0'
seed bad-checksum ':03200000010203D8'
seed image-crlf ':10200000000102030405060708090A0B0C0D0E0F58\r\n:032010001011129A\r\n:00000001FF\r\n'
seed image-lf ':0420000048656C6C57\n\n:01FFFF00AA57\n'
seed image-cr ':03200000010203D7\r:00000001FF\r:03300000010203C7\r'
seed image-no-ending ':03200000010203D7\r\n:03300000010203C7'

cat >"$work/hex.dict" <<'DICT'
"\x3a"
"\x0d\x0a"
"00"
"01"
"04"
"FF"
":00000001FF"
":20"
DICT

mkdir -p "$work/cdb-seeds"
printf 'M:prog\nF:G$main$0_0$0({2}DF,SI:S),C,0,0,0,0,0\nS:Lprog.main$x$1_0$1({2}SI:S),B,1,-2\nT:Fprog$pt[({0}S:S$x$0_0$0({2}SI:S),Z,0,0)]\nL:C$prog.c$3$1_0$1:8000\nL:C$prog.c$4$1_0$1:8004\nX:G$main$0_0$0:8010\nx.a[1]+(8000)\n' \
    >"$work/cdb-seeds/prog"
# Types larger than the memory (a 4 GB array of arrays, a 2 GB string): refused or shown bounded.
printf 'grid[1]\nM:big\nS:G$grid$0_0$0({0}DA256d,DA256d,DA256d,DA256d,SC:U),E,0,0\nS:G$text$0_0$0({32767}DA32767d,SC:U),E,0,0\nS:G$huge$0_0$0({0}DA2147483647d,SC:U),E,0,0\nL:G$grid$0_0$0:8000\nL:G$text$0_0$0:8000\nL:G$huge$0_0$0:8000\n' \
    >"$work/cdb-seeds/huge-array"
cat >"$work/cdb.dict" <<'DICT'
"L:C$"
"F:G$"
"S:L"
"T:F"
"X:G$"
"({2}SI:S)"
"DA4d,SC:U"
"->"
DICT

mkdir -p "$work/dap-seeds"
dap_seed() { # NAME BODY...: the bodies framed, one after the other
    name=$1
    shift
    for body in "$@"; do
        printf 'Content-Length: %d\r\n\r\n%s' ${#body} "$body"
    done >"$work/dap-seeds/$name"
}
dap_seed initialize '{"seq":1,"type":"request","command":"initialize","arguments":{"adapterID":"quillane"}}'
dap_seed launch '{"seq":2,"type":"request","command":"launch","arguments":{"program":"prog.hex","stopOnEntry":true,"sourceDirs":["."]}}' \
    '{"seq":3,"type":"request","command":"configurationDone"}'
dap_seed breakpoints '{"seq":4,"type":"request","command":"setBreakpoints","arguments":{"source":{"path":"prog.c"},"breakpoints":[{"line":3,"condition":"a==1","hitCondition":"2"}]}}' \
    '{"seq":5,"type":"request","command":"setInstructionBreakpoints","arguments":{"breakpoints":[{"instructionReference":"0x8003","offset":6}]}}' \
    '{"seq":6,"type":"request","command":"setDataBreakpoints","arguments":{"breakpoints":[{"dataId":"9000:1","accessType":"readWrite"}]}}' \
    '{"seq":7,"type":"request","command":"continue","arguments":{"threadId":1}}'
dap_seed stack '{"seq":8,"type":"request","command":"stepIn","arguments":{"threadId":1,"granularity":"instruction"}}' \
    '{"seq":9,"type":"request","command":"stackTrace","arguments":{"threadId":1}}' \
    '{"seq":10,"type":"request","command":"scopes","arguments":{"frameId":1}}' \
    '{"seq":11,"type":"request","command":"variables","arguments":{"variablesReference":3}}'
dap_seed evaluate '{"seq":12,"type":"request","command":"evaluate","arguments":{"expression":"total+1","frameId":1,"context":"watch"}}' \
    '{"seq":13,"type":"request","command":"setVariable","arguments":{"variablesReference":3,"name":"a","value":"$12"}}'
dap_seed disassemble '{"seq":14,"type":"request","command":"disassemble","arguments":{"memoryReference":"main","offset":0,"instructionOffset":-4,"instructionCount":8}}' \
    '{"seq":15,"type":"request","command":"readMemory","arguments":{"memoryReference":"0x9000","count":16}}' \
    '{"seq":16,"type":"request","command":"writeMemory","arguments":{"memoryReference":"0x9000","data":"AQID"}}'
cat >"$work/dap.dict" <<'DICT'
"Content-Length: "
"\x0d\x0a\x0d\x0a"
"\"seq\":"
"\"type\":\"request\""
"\"command\":"
"\"arguments\":"
"\"memoryReference\":"
"\"instructionOffset\":"
"\"instructionCount\":"
"\"variablesReference\":"
"\"frameId\":"
"\"breakpoints\":"
"\"granularity\":\"instruction\""
"null"
"true"
"-2147483648"
"18446744073709551615"
"[[[["
DICT

status=0
for target in fuzz_ihex_decode fuzz_ihex_load fuzz_source fuzz_dap; do
    exe=$build/tests/$target
    if [ ! -x "$exe" ]; then
        echo "run-fuzzers: $exe not found (build it with -DQUILLANE_FUZZ=ON)" >&2
        status=1
        continue
    fi
    corpus=$work/corpus-$target
    mkdir -p "$corpus"
    seeds=$work/seeds dict=$work/hex.dict
    [ "$target" = fuzz_source ] && seeds=$work/cdb-seeds dict=$work/cdb.dict
    [ "$target" = fuzz_dap ] && seeds=$work/dap-seeds dict=$work/dap.dict
    cp "$seeds/"* "$corpus/"
    log=$work/$target.log
    echo "run-fuzzers: $target for ${seconds}s"
    if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -dict="$dict" -artifact_prefix="$artifacts/$target-" -print_final_stats=1 \
        "$corpus" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "run-fuzzers: $target passed (${runs:-?} runs, $(ls "$corpus" | wc -l) corpus files)"
    else
        echo "run-fuzzers: $target FAILED; inputs kept in $artifacts" >&2
        tail -n 40 "$log" >&2
        status=1
    fi
done
exit $status
