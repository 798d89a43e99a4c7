/* The values fixture (test_source.cpp): register parameters, a char argument on the stack, a
 * recursion whose frames keep locals on the stack, a call through a function pointer, long and
 * struct values. Every value the debugger shows of it must be the true one or not available. */
struct rec {
    int weight;
    char tag;
    long big;
};

struct rec recs[2] = {{7, 'a', 100000}, {-3, 'b', -5}};
long g_long = 100000;
int g_int = -14;
int (*op)(int, char);

int leaf(int v, char c) {
    int k = v * 2 + c; /* @leaf */
    g_int += k;
    return k;
}

char with_stack(char a, int b, char c) {
    recs[1].weight = b; /* @stack */
    return a + c;
}

int recurse(int n, struct rec *r) {
    int kept[2];
    kept[0] = n;
    kept[1] = r->weight + n;
    if (n == 0) return op(kept[1], 'x');
    return recurse(n - 1, r) + kept[0];
}

void main(void) {
    op = leaf;
    g_long += recurse(4, &recs[0]);
    with_stack('p', 300, 'q');
}
