/* The Quillane board for C programs compiled with SDCC (sdk/qcc): the monitor's entries as
 * functions, the I/O ports, the screen's addresses and the colour numbers. Include <stdio.h>
 * too for printf, puts and getchar, which go to the monitor's screen and keyboard.
 *
 * A program is loaded at 8000h and started with the monitor's "g 8000". Its code and constants
 * come first, its data right after them; the stack is the 1 KB at FB00h-FEFFh. Returning from
 * main (or calling mon_warm) brings back the monitor's prompt with the sound silenced. */
#ifndef QUILLANE_H
#define QUILLANE_H

#if !defined(__SDCC_z80)
#error "quillane.h is for SDCC's Z80 target: compile with sdk/qcc"
#endif

/* The monitor's entries. The text console is 32 columns by 24 rows. */
#define QL_CALL __sdcccall(1)

void mon_warm(void) QL_CALL;                  /* back to the prompt; never returns */
void mon_putc(char c) QL_CALL;                /* print a character (control codes below) */
void mon_puts(const char *s) QL_CALL;         /* print a string */
unsigned char mon_getkey(void) QL_CALL;       /* wait for a key press (blinking cursor) */
unsigned char mon_keyready(void) QL_CALL;     /* a key press, or 0 when none; takes ~1 ms */
void mon_beep(void) QL_CALL;                  /* a 150 ms beep */
void mon_cls(void) QL_CALL;                   /* clear the screen in the current colour */
void mon_setattr(unsigned char attr) QL_CALL; /* colour of the following text, QL_ATTR() */
unsigned char mon_getattr(void) QL_CALL;      /* the current colour */
/* Move the cursor; larger values are taken as row 23 / column 31. */
void mon_setcursor(unsigned char row, unsigned char col) QL_CALL;
/* Where the cursor is: row * 256 + column (column 32: the line is full). */
unsigned int mon_getcursor(void) QL_CALL;
void mon_puthex8(unsigned char value) QL_CALL;  /* two hex digits */
void mon_puthex16(unsigned int value) QL_CALL;  /* four hex digits */
void mon_putdec(unsigned int value) QL_CALL;    /* unsigned decimal */
void mon_newline(void) QL_CALL;                 /* start of the next line, scrolls */
/* Read a line with editing, ending with Enter: at most max characters into buf, which holds
 * max + 1 bytes; the text ends with a 0. Returns its length. */
unsigned char mon_getline(char *buf, unsigned char max) QL_CALL;
unsigned char mon_readrow(unsigned char row) QL_CALL; /* keys held now in a row (bit = 1) */
void mon_keyclick(unsigned char on) QL_CALL;          /* 0: key click off, else on */
unsigned int mon_random(void) QL_CALL;                /* 16-bit pseudo-random number */
void mon_delay(unsigned int ms) QL_CALL;              /* wait ms milliseconds */
/* Sound: write a register (0-13); a tone on channel 0-2 with period 1-4095 (about 111860 /
 * period Hz) at amplitude 0-15; amplitude 0 on all channels. */
void mon_psgwrite(unsigned char reg, unsigned char value) QL_CALL;
void mon_note(unsigned char channel, unsigned int period, unsigned char amplitude) QL_CALL;
void mon_silence(void) QL_CALL;

/* Row and column of mon_getcursor's result. They stay unsigned int: SDCC hands a value cast to
 * char to printf as one byte, which "%u" would misread. */
#define QL_CURSOR_ROW(pos) ((pos) >> 8)
#define QL_CURSOR_COL(pos) ((pos) & 0xFF)

/* Characters: mon_putc and putchar print 20h-7Eh; these codes act instead. */
#define QL_BS 0x08   /* cursor back one cell */
#define QL_TAB 0x09  /* next multiple of 4 columns */
#define QL_LF 0x0A   /* new line */
#define QL_CLS 0x0C  /* clear the screen */
#define QL_CR 0x0D   /* new line (a following LF is ignored) */
#define QL_BELL 0x07 /* beep */

/* I/O ports. */
__sfr __at(0x0C) QL_PSG_DATA;   /* sound generator: data of the selected register */
__sfr __at(0x0D) QL_PSG_SELECT; /* sound generator: select a register */
__sfr __at(0x10) QL_KEY_ROWS;   /* PIO port A: keyboard rows to read (bit i = row i) */
__sfr __at(0x11) QL_KEY_COLS;   /* PIO port B: keys held in the selected rows (bit = 1) */
__sfr __at(0x12) QL_PIO_A_CTRL;
__sfr __at(0x13) QL_PIO_B_CTRL;

/* Screen: 256 x 192 pixels, line y is the 32 bytes at QL_BITMAP + 32 * y, bit 7 the leftmost
 * pixel; one colour byte per 8 x 8 cell (32 x 24 cells), paper in the high nibble, ink in the
 * low one. */
#define QL_BITMAP ((volatile unsigned char *)0x2000)
#define QL_ATTRS ((volatile unsigned char *)0x3800)
#define QL_WIDTH 256
#define QL_HEIGHT 192
#define QL_COLS 32
#define QL_ROWS 24
#define QL_ATTR(paper, ink) ((unsigned char)(((paper) << 4) | (ink)))

enum {
    QL_BLACK,
    QL_BLUE,
    QL_GREEN,
    QL_CYAN,
    QL_RED,
    QL_MAGENTA,
    QL_BROWN,
    QL_LIGHT_GREY,
    QL_DARK_GREY,
    QL_BRIGHT_BLUE,
    QL_BRIGHT_GREEN,
    QL_BRIGHT_CYAN,
    QL_BRIGHT_RED,
    QL_BRIGHT_MAGENTA,
    QL_YELLOW,
    QL_WHITE
};

/* Sound generator registers. */
#define QL_PSG_PERIOD_A 0 /* and 1: tone period, low 8 and high 4 bits; B: 2, 3; C: 4, 5 */
#define QL_PSG_NOISE 6    /* noise period, low 5 bits */
#define QL_PSG_MIXER 7    /* active low: bits 0-2 tone A-C off, bits 3-5 noise A-C off */
#define QL_PSG_AMP_A 8    /* amplitudes 0-15 of A, B, C: 8, 9, 10 */

#endif
