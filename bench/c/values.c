/* bench_values' program: a struct of 20 fields and a recursion 10 calls deep, each frame with a
 * parameter, a stack array and a register local. */
struct wide {
    int f0, f1, f2, f3, f4, f5, f6, f7, f8, f9;
    long f10, f11, f12, f13, f14;
    unsigned char f15, f16, f17, f18, f19;
};

struct wide w;

int depth(int n) {
    int kept[2];
    kept[0] = n * 3;
    kept[1] = n + 1;
    if (n == 0) return kept[0]; /* @bottom */
    return depth(n - 1) + kept[0] + kept[1];
}

void main(void) {
    w.f0 = 1;
    w.f10 = 100000;
    w.f19 = 'z';
    w.f9 = depth(10);
}
