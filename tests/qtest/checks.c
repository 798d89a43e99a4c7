/* Code under test for test_quillane_test.sh. */
int counter;
unsigned char seen_setup;

int add(int a, int b) {
    return a + b;
}

void bump(void) {
    counter++;
}

long widen(int v) {
    return (long)v * 100000;
}

void main(void) {
    bump();
}
