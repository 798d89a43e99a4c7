/* Tests of checks.c whose results test_quillane_test.sh knows: the line numbers matter. */
#include <quillane_test.h>

int add(int a, int b);
void bump(void);
long widen(int v);
extern int counter;
extern unsigned char seen_setup;
static const unsigned char want[4] = {1, 2, 3, 4};
unsigned char have[4] = {1, 2, 7, 4};
volatile signed char minus_one = -1;
volatile unsigned long big = 4000000000ul;

void test_setup(void) {
    seen_setup = 1;
    counter = 40;
}

void test_passes(void) {
    QT_CHECK_EQ(add(2, 3), 5);
    QT_CHECK(seen_setup == 1);
    QT_CHECK_EQ(widen(3), 300000);
}

void test_eq_fails(void) {
    QT_CHECK_EQ(add(2, 2), 5);
    QT_CHECK_EQ(minus_one, 3);
    QT_CHECK_EQ(big, 7);
    QT_CHECK_EQ(widen(-2), 5);
}

void test_bump_once(void) {
    bump();
    QT_CHECK_EQ(counter, 41);
}

void test_bump_again(void) {
    bump();
    QT_CHECK_EQ(counter, 41);
}

void test_mem(void) {
    QT_CHECK_MEM(have, want, 4);
}

void test_require_ends(void) {
    QT_CHECK(counter == 1);
    QT_REQUIRE(counter == 2);
    QT_FAIL("after the requirement");
}

void test_fail_goes_on(void) {
    QT_FAIL("first");
    QT_FAIL("second");
}

/* 64-bit integers, both values in full. */
volatile long long wide = -5000000000ll;

void test_wide(void) {
    QT_CHECK_EQ(wide, 1);
}
