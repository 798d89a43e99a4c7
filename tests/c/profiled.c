/* The profile and coverage fixture: spin is the hot loop, called four times; the branch marked
 * "@never" does not run. Needs no monitor: run it with --no-rom --until-pc 10, which stops where
 * the start-up code's RST 10h goes back to the monitor once main returns. */
unsigned int total;
unsigned char odd;

unsigned int spin(unsigned int n) {
    unsigned int sum = 0;
    while (n--)
        sum += n ^ 0x55;
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
        total += spin(500);
    check(total);
}
