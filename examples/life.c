/* Conway's Game of Life on a 32 x 22 board that wraps around at its edges. Each living cell is
 * a round blob coloured by its age (bright green when newborn, then green, cyan and blue); the
 * pitch of channel A follows the population and channel B sounds the births. R starts a new
 * random board, Q returns to the monitor. A board that no longer changes starts anew.
 * A C program for SDCC: sdk/qcc life.c -o life.ihx, load it, then type "g 8000". */
#include <stdio.h>
#include <string.h>

#include "quillane.h"

#define W 32
#define H 22
#define TOP 1 /* screen row of the board's first row */
#define MAX_AGE 7

unsigned char age[H][W]; /* 0: dead, else generations alive, up to MAX_AGE */
unsigned char next[H][W];
unsigned char drawn[H][W]; /* what the screen shows */
unsigned int generation, population, births;

static const unsigned char blob[8] = {0x3C, 0x7E, 0xFF, 0xFF, 0xFF, 0xFF, 0x7E, 0x3C};
static const unsigned char age_ink[MAX_AGE + 1] = {
    QL_BLACK, QL_BRIGHT_GREEN, QL_GREEN, QL_GREEN, QL_CYAN, QL_CYAN, QL_BRIGHT_BLUE, QL_BLUE};

static void draw(void) {
    unsigned char r, c, i, a;
    volatile unsigned char *p;
    for (r = 0; r < H; r++) {
        for (c = 0; c < W; c++) {
            a = age[r][c];
            if ((a != 0) != (drawn[r][c] != 0)) {
                /* The cell's eight pixel lines, 32 bytes apart. */
                p = QL_BITMAP + (unsigned int)(TOP + r) * 256 + c;
                for (i = 0; i < 8; i++, p += 32)
                    *p = a ? blob[i] : 0;
            }
            if (a != drawn[r][c])
                QL_ATTRS[(unsigned int)(TOP + r) * 32 + c] = QL_ATTR(QL_BLACK, age_ink[a]);
            drawn[r][c] = a;
        }
    }
}

static void status(void) {
    mon_setcursor(0, 0);
    printf("Life  gen %5u  cells %3u", generation, population);
}

static void new_board(void) {
    unsigned char r, c;
    population = 0;
    for (r = 0; r < H; r++)
        for (c = 0; c < W; c++) {
            age[r][c] = (mon_random() & 3) == 0;
            population += age[r][c];
        }
    generation = 0;
}

/* One generation: returns whether any cell changed. */
static unsigned char step(void) {
    unsigned char r, c, up, down, left, right, n, a, changed = 0;
    population = births = 0;
    for (r = 0; r < H; r++) {
        up = r ? r - 1 : H - 1;
        down = r == H - 1 ? 0 : r + 1;
        for (c = 0; c < W; c++) {
            left = (c - 1) & (W - 1);
            right = (c + 1) & (W - 1);
            n = (age[up][left] != 0) + (age[up][c] != 0) + (age[up][right] != 0) +
                (age[r][left] != 0) + (age[r][right] != 0) + (age[down][left] != 0) +
                (age[down][c] != 0) + (age[down][right] != 0);
            a = age[r][c];
            if (a)
                a = n == 2 || n == 3 ? (a < MAX_AGE ? a + 1 : MAX_AGE) : 0;
            else if (n == 3) {
                a = 1;
                ++births;
            }
            if ((a != 0) != (age[r][c] != 0)) changed = 1;
            if (a) ++population;
            next[r][c] = a;
        }
    }
    memcpy(age, next, sizeof age);
    ++generation;
    return changed;
}

void main(void) {
    unsigned char key, wait;
    mon_setattr(QL_ATTR(QL_BLACK, QL_WHITE));
    mon_cls();
    mon_setcursor(QL_ROWS - 1, 0);
    mon_puts("R: new board   Q: back");
    new_board();
    for (;;) {
        draw();
        status();
        mon_note(0, 60 + population, 8);
        mon_note(1, 30, births ? 6 : 0);
        /* About 60 ms between generations, watching the keys all the while: a look at the
         * keyboard takes about 1 ms. */
        for (wait = 0, key = 0; wait < 60 && !key; wait++)
            key = mon_keyready();
        if (key == 'q' || key == 'Q') return;
        if (key == 'r' || key == 'R' || !step()) {
            if (key != 'r' && key != 'R') mon_beep();
            new_board();
        }
    }
}
