/* The stepping fixture (test_source.cpp and test_dap.cpp find its lines by the "@" marks): a
 * function with an IX frame called directly and through a function pointer (SDCC calls a pointer
 * through ___sdcc_call_iy, a library routine without lines), and one that returns through
 * POP HL / INC SP / JP (HL). Ends through mon_warm after printing one character. */
#include "quillane.h"

int seen;

/* Its parameters reach their stack slots in its set-up code: read before it, they are garbage. */
int scale(int amount, int factor) {
    int parts[2];
    parts[0] = amount * factor; /* @scale */
    parts[1] = amount + factor;
    seen += parts[0];
    return parts[0] + parts[1] - amount - factor;
}

/* The third argument comes on the stack and this function removes it. */
char choose(char a, char b, char c) {
    char r = a == b ? a : c; /* @choose */
    return r;
} /* @choose_end */

int (*op)(int, int) = scale;

void main(void) {
    int i;
    int total = 0;
    for (i = 1; i <= 4; i++) /* @loop */
        total += scale(i, 3); /* @direct */
    total += op(5, 7); /* @pointer */
    seen = choose('p', 'q', 'r'); /* @jphl */
    seen = total; /* @after */
    mon_putc(choose('a', 'a', 'b'));
}
