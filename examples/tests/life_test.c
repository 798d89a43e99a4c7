/* Tests of life.c (quillane-test). The program's functions are static, so the tests include
 * its source; qcc --test leaves its main out of the start. */
#include <string.h>
#include <quillane_test.h>
#include "../life.c"

static void clear(void) {
    memset(age, 0, sizeof age);
}

/* A blinker (three in a row) turns upright and back. */
void test_blinker_oscillates(void) {
    clear();
    age[5][4] = age[5][5] = age[5][6] = 1;
    QT_CHECK(step());
    QT_CHECK_EQ(population, 3);
    QT_CHECK_EQ(births, 2);
    QT_CHECK(age[4][5] && age[5][5] && age[6][5]);
    QT_CHECK(!age[5][4] && !age[5][6]);
    step();
    QT_CHECK(age[5][4] && age[5][6]);
    QT_CHECK_EQ(generation, 2);
}

/* A block stays (aging is no change), its cells growing older up to MAX_AGE. */
void test_block_is_still_and_ages(void) {
    unsigned char i;
    QT_BUDGET(10000000 + MAX_AGE * 1000000ul);
    clear();
    age[0][0] = age[0][1] = age[1][0] = age[1][1] = 1;
    QT_CHECK(!step());
    for (i = 0; i < MAX_AGE; i++)
        step();
    QT_CHECK_EQ(population, 4);
    QT_CHECK_EQ(age[1][1], MAX_AGE);
}

/* The board wraps: a blinker across the left and right edges lives on. */
void test_edges_wrap(void) {
    clear();
    age[10][W - 1] = age[10][0] = age[10][1] = 1;
    step();
    QT_CHECK_EQ(population, 3);
    QT_CHECK(age[9][0] && age[11][0]);
}

/* Each test starts from the state after the start-up: the last test's generations are gone. */
void test_starts_afresh(void) {
    QT_CHECK_EQ(generation, 0);
}
