/* Checks for unit tests of board programs, run by quillane-test.
 *
 * A file of tests holds functions named test_... (void, no parameters) and, when the tests need
 * a common start, a test_setup; build it with the code under test by qcc --test (no main
 * needed): qcc --test prog_test.c prog.c -o prog_test.ihx. quillane-test runs the start-up code
 * and test_setup once, saves the machine there, and starts every test from that state.
 *
 * A check that fails sends a message to the runner and the test goes on (QT_REQUIRE ends it).
 * The message is a 24-byte record (qt_message_t); the runner is told of it by a write to port
 * F0, which the board does not decode, with HL holding the record's address. In the window the
 * write does nothing, so a test image runs there too.
 */
#ifndef QUILLANE_TEST_H
#define QUILLANE_TEST_H

/* What a message says (the record's kind). */
#define QT_MSG_CHECK 1  /* a condition was false: text is the condition */
#define QT_MSG_EQ 2     /* two integers differ: actual, expected */
#define QT_MSG_MEM 3    /* compare memory: actual = address | count << 16, expected = bytes */
#define QT_MSG_FAIL 4   /* text is the reason */
#define QT_MSG_BUDGET 5 /* this test's budget of T-states is actual */
#define QT_MSG_SCREEN 6 /* compare the screen with the golden picture named text */
/* Flags: the failure ends the test; actual and expected are of signed types. */
#define QT_FLAG_FATAL 1
#define QT_FLAG_ACTUAL_SIGNED 2
#define QT_FLAG_EXPECTED_SIGNED 4

typedef struct {
    unsigned char kind;
    unsigned char flags;
    unsigned int line;   /* 0: the runner takes the line of the sending code */
    const char *file;    /* 0: as for line */
    const char *text;
    unsigned long long actual;
    unsigned long long expected;
} qt_message_t;

void qt_send(unsigned char kind, unsigned char flags, unsigned int line, const char *file,
             const char *text, unsigned long long actual, unsigned long long expected);

/* Whether an integer expression has a signed type after promotion (it is not evaluated). */
#define QT_SIGNED_(x) ((0 ? (x) : -1) < 0)

#define QT_CHECK_(cond, flags)                                                                  \
    do {                                                                                       \
        if (!(cond)) qt_send(QT_MSG_CHECK, (flags), __LINE__, __FILE__, #cond, 0, 0);           \
    } while (0)
#define QT_CHECK_EQ_(actual, expected, flags)                                                   \
    do {                                                                                       \
        unsigned long long qt_actual_ = (unsigned long long)(actual);                          \
        unsigned long long qt_expected_ = (unsigned long long)(expected);                      \
        if (qt_actual_ != qt_expected_)                                                        \
            qt_send(QT_MSG_EQ,                                                                 \
                    (flags) | QT_SIGNED_(actual) * QT_FLAG_ACTUAL_SIGNED |                     \
                        QT_SIGNED_(expected) * QT_FLAG_EXPECTED_SIGNED,                        \
                    __LINE__, __FILE__, #actual " == " #expected, qt_actual_, qt_expected_);   \
    } while (0)

/* A condition that must hold. */
#define QT_CHECK(cond) QT_CHECK_(cond, 0)
/* Two integers of any C width that must be equal; a failure shows both values. */
#define QT_CHECK_EQ(actual, expected) QT_CHECK_EQ_(actual, expected, 0)
/* As QT_CHECK and QT_CHECK_EQ, but a failure ends the test. */
#define QT_REQUIRE(cond) QT_CHECK_(cond, QT_FLAG_FATAL)
#define QT_REQUIRE_EQ(actual, expected) QT_CHECK_EQ_(actual, expected, QT_FLAG_FATAL)
/* n bytes at addr must equal those at bytes; a failure shows the first that differs. */
#define QT_CHECK_MEM(addr, bytes, n)                                                            \
    qt_send(QT_MSG_MEM, 0, __LINE__, __FILE__, "QT_CHECK_MEM(" #addr ", " #bytes ", " #n ")",   \
            (unsigned int)(addr) | (unsigned long)(n) << 16, (unsigned int)(bytes))
/* Fails the test with text (the test goes on). */
#define QT_FAIL(text) qt_send(QT_MSG_FAIL, 0, __LINE__, __FILE__, (text), 0, 0)
/* This test may run for n T-states (instead of quillane-test's --budget). */
#define QT_BUDGET(n) qt_send(QT_MSG_BUDGET, 0, __LINE__, __FILE__, 0, (n), 0)
/* The screen (pixels and colours) must equal name.png in quillane-test's --golden folder. */
#define QT_CHECK_SCREEN(name) qt_send(QT_MSG_SCREEN, 0, __LINE__, __FILE__, (name), 0, 0)

#endif
