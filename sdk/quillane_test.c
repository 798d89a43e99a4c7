/* The runtime of quillane_test.h, linked into test images by qcc --test. */
#include "quillane_test.h"

static qt_message_t message;

/* HL holds the record (SDCC's calling convention passes a first pointer there). */
static void qt_out(qt_message_t *record) __naked {
    (void)record;
    __asm
        out (0xF0), a
        ret
    __endasm;
}

void qt_send(unsigned char kind, unsigned char flags, unsigned int line, const char *file,
             const char *text, unsigned long long actual, unsigned long long expected) {
    message.kind = kind;
    message.flags = flags;
    message.line = line;
    message.file = file;
    message.text = text;
    message.actual = actual;
    message.expected = expected;
    qt_out(&message);
}
