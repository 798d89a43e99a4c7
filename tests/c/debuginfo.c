/* The source-level debugger's fixture (test_source.cpp finds its lines by the "@" marks): lines
 * that share an address, a line with two address ranges, a function that returns through the
 * stack without an end record, a frameless function, register locals, a static function, a
 * struct, a union and an array. Ends through mon_warm after printing one character. */
#include "quillane.h"

struct point {
    int x;
    int y;
    unsigned char tag;
};

union word {
    unsigned int w;
    unsigned char b[2];
};

enum colour { RED, GREEN = 5, BLUE };

struct point points[3] = {{1, 2, 'a'}, {30, -4, 'b'}, {500, 6, 'c'}};
char greeting[8] = "hello";
long total;
union word split;
enum colour shade = GREEN;
static unsigned int calls;

/* Frameless, its argument in HL. */
static int twice(int v) {
    return v + v; /* @twice */
}

/* The third argument comes on the stack and this function removes it (POP HL, INC SP,
 * JP (HL)): SDCC writes no end record for it. */
char pick(char a, char b, char c) {
    return a == b ? a : c; /* @pick */
}

int sum_points(struct point *p, int count, int bias) {
    int i; /* @nocode */
    int sum = bias;
    for (i = 0; i < count; i++) /* @for */
        sum += p[i].x + twice(p[i].y); /* @body */
    return sum;
}

unsigned char shifted(unsigned char c) {
    static unsigned char last;
    last = c;
    {
        unsigned char c = last + 1; /* @inner shadows the parameter */
        last = c;
    }
    return c + 1; /* @outer */
}

void main(void) {
    struct point here;
    int result;
    here.x = 7;
    here.y = 8;
    here.tag = 'h';
    calls++;
    result = sum_points(points, 3, here.x); /* @call */
    total = result;
    total = total * 1000;
    split.w = 0x1234;
    greeting[0] = shifted(greeting[0]) + pick('x', 'y', 'z');
    mon_putc(greeting[0]); /* @putc */
    shade = BLUE;
}
