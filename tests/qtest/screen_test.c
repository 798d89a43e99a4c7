/* Screen checks for test_quillane_test.sh: two tests that print differently, compared with one
 * golden picture. */
#include <quillane.h>
#include <quillane_test.h>

void test_screen(void) {
    mon_cls();
    mon_puts("screen");
    QT_CHECK_SCREEN("words");
}

void test_screen_differs(void) {
    mon_cls();
    mon_puts("scream");
    QT_CHECK_SCREEN("words");
}

void test_screen_bad_name(void) {
    QT_CHECK_SCREEN("../words");
}
