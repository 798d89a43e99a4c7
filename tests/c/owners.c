/* Profile owners: a long multiplication (the library's __mullong), calls through a function
 * pointer (the library's ___sdcc_call_iy, then JP (IY)), and malloc, whose heap is set up by code
 * the library hooks into _GSINIT. Runs without the monitor: --no-rom --until-pc 10. */
#include <stdlib.h>

long product = 3;
long *kept;

long scale(long x) {
    return x * 1000L;
}

long twice(long x) {
    return x + x;
}

long (*const steps[2])(long) = {scale, twice};

void main(void) {
    unsigned char i;
    kept = malloc(sizeof *kept);
    for (i = 0; i < 8; ++i)
        product = steps[i & 1](product) * 7L;
    *kept = product;
}
