/* Guess the number: the board thinks of a number from 1 to 100 and answers each guess with
 * "too low" or "too high". A C program for SDCC: sdk/qcc guess.c -o guess.ihx, load it, then
 * type "g 8000". Q at a guess returns to the monitor. */
#include <stdio.h>
#include <stdlib.h>

#include "quillane.h"

#define TEXT QL_ATTR(QL_BLUE, QL_WHITE)
#define TITLE QL_ATTR(QL_BLUE, QL_YELLOW)
#define HINT QL_ATTR(QL_BLUE, QL_BRIGHT_CYAN)

unsigned int secret;

/* Reads a guess: 1-100, 0 for Q, 255 for anything else. */
static unsigned char read_guess(void) {
    char line[4];
    int value;
    mon_getline(line, 3);
    if (line[0] == 'q' || line[0] == 'Q') return 0;
    value = atoi(line);
    return value >= 1 && value <= 100 ? (unsigned char)value : 255;
}

void main(void) {
    unsigned char guess, tries;
    mon_setattr(TEXT);
    mon_cls();
    mon_setattr(TITLE);
    printf("Guess the number\n\n");
    mon_setattr(TEXT);
    printf("Press a key to start.\n");
    /* The monitor stirs its random numbers with the timing of key presses. */
    mon_getkey();
    for (;;) {
        secret = mon_random() % 100 + 1;
        tries = 0;
        printf("I think of a number, 1-100.\n");
        do {
            printf("Guess %u? ", tries + 1);
            guess = read_guess();
            if (guess == 0) return;
            if (guess == 255) {
                printf("A number from 1 to 100.\n");
                continue;
            }
            ++tries;
            mon_setattr(HINT);
            if (guess < secret)
                printf("%u is too low.\n", guess);
            else if (guess > secret)
                printf("%u is too high.\n", guess);
            mon_setattr(TEXT);
        } while (guess != secret);
        mon_beep();
        printf("Right, %u in %u %s!\n", guess, tries, tries == 1 ? "try" : "tries");
        printf("Again (y/n)? ");
        if (getchar() != 'y') break;
        printf("y\n\n");
    }
    printf("\nBye.\n");
}
