/* The profile and coverage fixture: spin is the hot loop, called four times, and returns as
 * SDCC's callee-cleans-up functions do (POP HL / INC SP / JP (HL)); the branch marked "@never"
 * does not run. Needs no monitor: run it with --no-rom --until-pc 10, which stops where the
 * start-up code's RST 10h goes back to the monitor once main returns. */
unsigned int total;
unsigned char odd;

unsigned int spin(unsigned int n, unsigned int mask, unsigned char step) __z88dk_callee {
    unsigned int sum = 0;
    while (n--)
        sum += (n ^ mask) + step;
    return sum;
}

void check(unsigned int value) {
    if (value == 1)
        odd = 1; /* @never */
    total = value + 1;
}

void main(void) {
    unsigned char i;
    for (i = 0; i < 4; ++i)
        total += spin(500, 0x55, i);
    check(total);
}
