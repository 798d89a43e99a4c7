// Loading the debug information of a 10,000-line C program: a source file and the .cdb that
// SDCC's linker would write for it (400 functions of 25 lines, each with parameters, locals on
// the stack and in registers, a `for` line with two ranges, globals and a struct), generated
// into a temporary directory. Prints the load time (target: under 200 ms) and the time of the
// lookups a stop makes (the line and function at an address, a line's address).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "debug/info/source.h"

namespace {

constexpr int functions = 400, lines_per_function = 25;

struct program_t {
    std::string dir, cdb;
};

program_t write_program() {
    char pattern[] = "/tmp/bench_source.XXXXXX";
    program_t p;
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    p.dir = pattern;
    p.cdb = p.dir + "/big.cdb";
    std::ofstream c(p.dir + "/big.c"), cdb(p.cdb);
    cdb << "M:big\n";
    cdb << "T:Fbig$item[({0}S:S$x$0_0$0({2}SI:S),Z,0,0)({2}S:S$tag$0_0$0({1}SC:U),Z,0,0)]\n";
    std::string links;
    uint32_t address = 0x8100;
    char record[160];
    for (int f = 0; f < functions; ++f) {
        const int first = f * lines_per_function + 1;
        c << "int f" << f << "(struct item *p, int n, int k) {\n";
        for (int l = 1; l < lines_per_function - 1; ++l)
            c << "    n += p->x + " << l << ";\n";
        c << "}\n";
        std::snprintf(record, sizeof record, "F:G$f%d$0_0$0({2}DF,SI:S),C,0,2,0,0,0\n", f);
        cdb << record;
        std::snprintf(record, sizeof record,
                      "S:Lbig.f%d$k$1_0$1({2}SI:S),B,1,4\n"
                      "S:Lbig.f%d$n$1_0$0({2}SI:S),R,0,0,[e,d]\n"
                      "S:Lbig.f%d$p$1_0$0({2}DG,STitem:S),B,1,-2\n",
                      f, f, f);
        cdb << record;
        std::snprintf(record, sizeof record, "L:G$f%d$0$0:%X\n", f, address);
        links += record;
        for (int l = 0; l < lines_per_function; ++l) {
            std::snprintf(record, sizeof record, "L:C$big.c$%d$1_0$%d:%X\n", first + l, f, address);
            links += record;
            address += 3;
        }
        // The third line's second range, as a `for` line has.
        std::snprintf(record, sizeof record, "L:C$big.c$%d$1_0$%d:%X\n", first + 2, f, address);
        links += record;
        address += 2;
        std::snprintf(record, sizeof record, "L:XG$f%d$0$0:%X\n", f, address - 1);
        links += record;
    }
    for (int g = 0; g < 100; ++g) {
        std::snprintf(record, sizeof record, "S:G$g%d$0_0$0({10}DA5d,STitem:S),E,0,0\n", g);
        cdb << record;
        std::snprintf(record, sizeof record, "L:G$g%d$0_0$0:%X\n", g, 0xFA00 + g * 10);
        links += record;
    }
    cdb << links;
    return p;
}

void remove_program(const program_t &p) {
    std::remove((p.dir + "/big.c").c_str());
    std::remove(p.cdb.c_str());
    rmdir(p.dir.c_str());
}

double load_ms(const program_t &p, dbg_source_t *model) {
    const auto start = std::chrono::steady_clock::now();
    dbg_source_init(model);
    std::string error;
    if (dbg_source_load_cdb(model, p.cdb, &error) < 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    // The first stop reads the source text too.
    benchmark::DoNotOptimize(dbg_source_text(model, 0).size());
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - start;
    return spent.count();
}

void BM_load_cdb(benchmark::State &state) {
    const program_t p = write_program();
    for (auto _ : state) {
        dbg_source_t model;
        load_ms(p, &model);
    }
    remove_program(p);
}
BENCHMARK(BM_load_cdb)->Unit(benchmark::kMillisecond);

void BM_lookups(benchmark::State &state) {
    const program_t p = write_program();
    dbg_source_t model;
    load_ms(p, &model);
    uint16_t address = 0x8100;
    for (auto _ : state) {
        address = static_cast<uint16_t>(0x8100 + (address * 7 + 13) % 0x7800);
        benchmark::DoNotOptimize(dbg_source_line_at(&model, address));
        benchmark::DoNotOptimize(dbg_source_function_at(&model, address));
        uint16_t at = 0;
        int line = 0;
        benchmark::DoNotOptimize(dbg_source_address_of(&model, 0, address % 10000, &at, &line));
    }
    remove_program(p);
}
BENCHMARK(BM_lookups);

void print_load_figure() {
    const program_t p = write_program();
    double best = 1e9;
    size_t lines = 0;
    for (int i = 0; i < 5; ++i) {
        dbg_source_t model;
        best = std::min(best, load_ms(p, &model));
        lines = model.lines.size();
    }
    remove_program(p);
    std::printf("dbg_source_load_cdb: %d-line program (%zu line ranges) in %.1f ms (target under "
                "200 ms): %s\n",
                functions * lines_per_function, lines, best, best < 200 ? "met" : "NOT met");
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_load_figure();
    return 0;
}
