/* Calls every function of quillane.h against the monitor and prints what came back; the test
 * (test_sdk.cpp) types the keys it asks for and checks the screen, the sound ports and the
 * variables below. Ends through mon_warm. */
#include <stdio.h>

#include "quillane.h"

int initialised = 1234;
unsigned char zeroed[32];
unsigned int random1, random2, stack_at;
char line[9];

void main(void) {
    unsigned char i, any = 0, attr;
    unsigned int at, clamped;
    for (i = 0; i < sizeof zeroed; i++)
        any |= zeroed[i];
    stack_at = (unsigned int)&i;

    mon_cls();
    printf("data %d %u\n", initialised, any);
    printf("stack %x\n", stack_at);
    printf("printf %d %s %x %c\n", -42, "ok", 0xbeef, 'z');
    mon_puts("puts");
    mon_putc('!');
    mon_newline();
    mon_puthex8(0xA5);
    mon_putc(' ');
    mon_puthex16(0x1234);
    mon_putc(' ');
    mon_putdec(54321);
    mon_newline();

    mon_setcursor(21, 7);
    mon_putc('X');
    at = mon_getcursor();
    mon_setcursor(200, 200);
    mon_putc('Y');
    clamped = mon_getcursor();
    mon_setcursor(5, 0);
    printf("cursor %u %u %u %u\n", QL_CURSOR_ROW(at), QL_CURSOR_COL(at), QL_CURSOR_ROW(clamped),
           QL_CURSOR_COL(clamped));

    mon_setattr(QL_ATTR(QL_RED, QL_YELLOW));
    attr = mon_getattr();
    mon_puts("colour");
    mon_setattr(QL_ATTR(QL_BLUE, QL_WHITE));
    printf(" %x\n", attr);

    random1 = mon_random();
    random2 = mon_random();
    printf("random %x %x\n", random1, random2);

    /* Sound: the test finds these writes in the port log, in this order. */
    mon_keyclick(0);
    mon_psgwrite(11, 0x5A);
    mon_delay(20);
    mon_psgwrite(11, 0xA5);
    mon_note(1, 0x2AB, 9);
    mon_beep();
    mon_silence();
    QL_PSG_SELECT = 12;
    QL_PSG_DATA = 0x3C;

    printf("key?\n");
    i = mon_getkey();
    printf("getkey %c\n", i);
    printf("getchar?\n");
    printf("getchar %d\n", getchar());
    printf("keyready %u\n", mon_keyready());
    printf("hold a\n");
    while (!(mon_readrow(3) & 0x20)) {
    }
    printf("row %x\n", mon_readrow(3));
    while ((i = mon_keyready()) == 0) {
    }
    printf("keyready %c\n", i);
    printf("line?\n");
    i = mon_getline(line, 8);
    printf("[%s] %u\n", line, i);
    mon_keyclick(1);
    mon_warm();
    printf("not reached\n");
}
