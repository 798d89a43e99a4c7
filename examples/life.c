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
unsigned char live[H + 2][W + 2];
unsigned int generation, population, births;

static const unsigned char blob[8] = {0x3C, 0x7E, 0xFF, 0xFF, 0xFF, 0xFF, 0x7E, 0x3C};
static const unsigned char age_ink[MAX_AGE + 1] = {
    QL_BLACK, QL_BRIGHT_GREEN, QL_GREEN, QL_GREEN, QL_CYAN, QL_CYAN, QL_BRIGHT_BLUE, QL_BLUE};

static void draw(void) {
    unsigned char r, c, i, a;
    const unsigned char *now = &age[0][0];
    unsigned char *shown = &drawn[0][0];
    volatile unsigned char *attr = QL_ATTRS + TOP * QL_COLS;
    volatile unsigned char *cell = QL_BITMAP + TOP * 8 * QL_COLS, *p;
    for (r = 0; r < H; r++, cell += 7 * QL_COLS) {
        for (c = 0; c < W; c++, now++, shown++, attr++, cell++) {
            a = *now;
            if (a == *shown) continue;
            /* The cell's eight pixel lines, 32 bytes apart. */
            if ((a != 0) != (*shown != 0))
                for (i = 0, p = cell; i < 8; i++, p += QL_COLS)
                    *p = a ? blob[i] : 0;
            *attr = QL_ATTR(QL_BLACK, age_ink[a]);
            *shown = a;
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

/* live holds the board as 0/1 with a border that repeats the opposite edges, so that every
 * cell has its eight neighbours at fixed offsets. */
static void fill_live(void) {
    unsigned char r, c;
    unsigned char *a, *l;
    for (r = 0; r < H; r++) {
        a = age[r];
        l = live[r + 1];
        for (c = 0; c < W; c++)
            l[c + 1] = a[c] != 0;
        l[0] = l[W];
        l[W + 1] = l[1];
    }
    memcpy(live[0], live[H], W + 2);
    memcpy(live[H + 1], live[1], W + 2);
}

/* One generation: returns whether any cell changed. The neighbours are counted from column
 * sums of three rows, each column summed once. */
static unsigned char step(void) {
    unsigned char r, c, n, a, here, sum_l, sum_m, sum_r, changed = 0;
    const unsigned char *up, *mid, *down;
    unsigned char *old, *nxt;
    fill_live();
    population = births = 0;
    for (r = 0; r < H; r++) {
        up = live[r];
        mid = live[r + 1];
        down = live[r + 2];
        old = age[r];
        nxt = next[r];
        sum_l = up[0] + mid[0] + down[0];
        sum_m = up[1] + mid[1] + down[1];
        up += 2;
        mid += 2;
        down += 2;
        for (c = 0; c < W; c++) {
            here = mid[-1];
            sum_r = *up++ + *mid++ + *down++;
            n = sum_l + sum_m + sum_r - here;
            sum_l = sum_m;
            sum_m = sum_r;
            a = *old++;
            if (a) {
                a = n == 2 || n == 3 ? (a < MAX_AGE ? a + 1 : MAX_AGE) : 0;
                if (!a) changed = 1;
            } else if (n == 3) {
                a = 1;
                changed = 1;
                ++births;
            }
            if (a) ++population;
            *nxt++ = a;
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
