// The source model on a C program built with qcc (tests/c/debuginfo.c, lines found by their "@"
// marks): its line table and functions as SDCC's .cdb describes them, then the program run by
// the engine to C breakpoints: the call stack through C frames with and without IX and through
// the monitor, locals and printed values of each frame, conditions, and writing variables.
#include <gtest/gtest.h>

#include <regex>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/commands.h"
#include "debug/front/dap.h"
#include "debug/front/source_commands.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"
#include "debug/travel/history.h"
#include "debug/travel/state.h"
#include "harness.h"
#include "machine/emu.h"
#include "stepping_scenarios.h"

namespace {

const std::string program = QUILLANE_BUILD_DIR "/tests/c/debuginfo";
const std::string source = QUILLANE_SOURCE_DIR "/tests/c/debuginfo.c";

bool exists(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The line of the fixture that holds "@mark".
int line_of(const std::string &mark, const std::string &file = source) {
    std::ifstream in(file);
    std::string text;
    for (int line = 1; std::getline(in, text); ++line)
        if (text.find("@" + mark + " ") != std::string::npos) return line;
    ADD_FAILURE() << "no @" << mark << " in " << file;
    return -1;
}

class Source : public ::testing::Test {
  protected:
    // Boots the monitor and loads the fixture with its debug information; false (skipped) when
    // SDCC is missing.
    bool load() {
        if (!exists(program + ".cdb")) return false;
        emu_ = harness_init();
        e_ = dbg_engine();
        EXPECT_EQ(0, harness_load_hex(QUILLANE_BUILD_DIR "/tessik.hex"));
        harness_run_ticks(2000000);
        EXPECT_EQ(0, harness_load_hex(program + ".ihx", nullptr, false));
        std::string error;
        EXPECT_GT(dbg_symbols_load(&rom_, QUILLANE_BUILD_DIR "/rom/tessik.sym", &error), 0)
            << error;
        dbg_source_init(&model_);
        model_.search_dirs.push_back(QUILLANE_SOURCE_DIR "/tests/c");
        EXPECT_GT(dbg_source_load_cdb(&model_, program + ".cdb", &error), 0) << error;
        // The program's own symbols (with SDCC's line labels inside its functions) too.
        EXPECT_GT(dbg_symbols_load(&rom_, program + ".noi", &error), 0) << error;
        dbg_source_scan_code(&model_, emu_->memory, &rom_);
        file_ = dbg_source_file(&model_, "debuginfo.c");
        EXPECT_GE(file_, 0);
        return true;
    }

    uint16_t address_of(const std::string &mark) {
        uint16_t address = 0;
        int actual = 0;
        EXPECT_TRUE(dbg_source_address_of(&model_, file_, line_of(mark), &address, &actual));
        return address;
    }

    // Starts the program from the monitor and runs to the next stop.
    dbg_stop_t run_to(uint16_t address) {
        dbg_delete_all(e_);
        dbg_break_add(e_, address, 0);
        dbg_set_tick_limit(e_, dbg_ticks(e_) + 100000000); // a missed stop fails, never hangs
        return dbg_continue(e_);
    }

    dbg_eval_context_t context(const dbg_frame_t *frame = nullptr, int value = -1) {
        return {emu_->memory, &emu_->cpu, &rom_, frame, value};
    }

    // print's text for an expression ("" with the error on failure).
    std::string print(const std::string &text, const dbg_frame_t *frame = nullptr) {
        dbg_value_t value;
        std::string error;
        if (!dbg_source_print(&model_, text, context(frame), &value, &error)) {
            ADD_FAILURE() << text << ": " << error;
            return "";
        }
        return value.text;
    }

    std::string print_error(const std::string &text) {
        dbg_value_t value;
        std::string error;
        EXPECT_FALSE(dbg_source_print(&model_, text, context(), &value, &error)) << text;
        return error;
    }

    bool condition(const std::string &text, int value = -1) {
        dbg_expr_t expr;
        std::string error;
        int64_t result = 0;
        EXPECT_TRUE(dbg_expr_parse(&model_, text, &expr, &error)) << text << ": " << error;
        EXPECT_TRUE(dbg_expr_number(&model_, expr, context(nullptr, value), &result, &error))
            << text << ": " << error;
        return result != 0;
    }

    void assign(const std::string &target, const std::string &value,
                const dbg_frame_t *frame = nullptr) {
        uint16_t address = 0;
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(
            dbg_source_assign(&model_, target, value, context(frame), &address, &bytes, &error))
            << target << ": " << error;
        for (size_t i = 0; i < bytes.size(); ++i)
            dbg_poke(e_, static_cast<uint16_t>(address + i), bytes[i]);
    }

    uint16_t pc() const { return emu_->cpu.PC; }

    // The engine's own debug information as quillane-run loads it: the monitor's symbols (beside
    // the ROM), then what lies beside the image.
    void engine_load(const std::string &image) {
        delete e_->source;
        e_->source = nullptr;
        dbg_symbols_clear(&e_->symbols);
        e_->monitor_symbols = false;
        e_->rom_path = QUILLANE_BUILD_DIR "/tessik.hex";
        std::string report;
        ASSERT_TRUE(dbg_debug_info_load(e_, image, {QUILLANE_SOURCE_DIR "/tests/c"}, &report))
            << report;
        EXPECT_NE(std::string::npos, report.find("tessik.sym")) << report;
        dbg_set_tick_limit(e_, dbg_ticks(e_) + 100000000); // a missed stop fails, never hangs
    }

    // A command's output; a failing command is a test failure.
    std::string run(const std::string &line) {
        const dbg_result_t r = dbg_execute(e_, line);
        EXPECT_FALSE(r.error) << line << ": " << r.output;
        return r.output;
    }

    // "(function, debuginfo.c:LINE)" as stop reports write a place.
    std::string place(const std::string &function, int line) {
        return " (" + function + ", debuginfo.c:" + std::to_string(line) + ")";
    }

    uint16_t symbol(const std::string &name) {
        for (const auto &v : model_.variables)
            if (v.name == name) return v.address;
        ADD_FAILURE() << "no variable " << name;
        return 0;
    }

    std::vector<dbg_frame_t> frames() {
        return dbg_source_frames(&model_, emu_->memory, emu_->cpu, &rom_);
    }

    void TearDown() override {
        if (emu_) {
            EXPECT_TRUE(harness_exceptions().empty()) << harness_exceptions().front();
        }
    }

    emu_t *emu_ = nullptr;
    dbg_engine_t *e_ = nullptr;
    dbg_source_t model_;
    dbg_symbols_t rom_;
    int file_ = -1;
    std::string error_;
};

TEST_F(Source, LinesFunctionsAndTypesFromTheDebugInformation) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    // A line without code moves to the next one that has it, as `break FILE:LINE` says.
    uint16_t address = 0;
    int file = -1, line = 0, actual = 0;
    ASSERT_TRUE(dbg_source_location(&model_, "debuginfo.c:" + std::to_string(line_of("nocode")), -1,
                                    &file, &line, &address, &actual, &error_));
    EXPECT_EQ(file_, file);
    EXPECT_EQ(line_of("nocode"), line);
    EXPECT_EQ(line_of("nocode") + 1, actual);
    EXPECT_EQ("sum_points, debuginfo.c:" + std::to_string(actual),
              dbg_source_describe(&model_, address));
    ASSERT_TRUE(
        dbg_source_location(&model_, "sum_points", -1, &file, &line, &address, &actual, &error_));
    // A function's place is its first line after its set-up code (sum_points has an IX frame).
    EXPECT_LT(dbg_source_function(&model_, "sum_points")->start, address);
    EXPECT_EQ(address_of("nocode"), address);
    EXPECT_EQ(line_of("nocode") + 1, actual);
    ASSERT_TRUE(
        dbg_source_location(&model_, "9999", file_, &file, &line, &address, &actual, &error_));
    EXPECT_EQ(0, actual); // no code at or after it
    EXPECT_FALSE(
        dbg_source_location(&model_, "other.c:3", -1, &file, &line, &address, &actual, &error_));
    EXPECT_FALSE(
        dbg_source_location(&model_, "nosuch", file_, &file, &line, &address, &actual, &error_));

    // The `for` line has two ranges: its test before the body and its step after it.
    const auto ranges = dbg_source_ranges_of(&model_, file_, line_of("for"));
    ASSERT_EQ(2u, ranges.size());
    const uint16_t body = address_of("body");
    EXPECT_LT(ranges[0]->address, body);
    EXPECT_GT(ranges[1]->address, body);
    EXPECT_EQ(line_of("body"), dbg_source_line_at(&model_, body)->line);
    EXPECT_EQ(line_of("for"), dbg_source_line_at(&model_, ranges[1]->address + 1)->line);
    // Every byte of a range maps back to its line.
    EXPECT_EQ(line_of("for"),
              dbg_source_line_at(&model_, ranges[0]->address + ranges[0]->length - 1)->line);

    // twice's opening line and its body share an address: the body's line is the one there.
    const dbg_function_t *twice = dbg_source_function(&model_, "twice");
    ASSERT_NE(nullptr, twice);
    EXPECT_TRUE(twice->is_static);
    EXPECT_FALSE(twice->uses_ix);
    EXPECT_TRUE(twice->has_end_record);
    EXPECT_EQ(twice->start, address_of("twice"));
    EXPECT_EQ(line_of("twice"), dbg_source_line_at(&model_, twice->start)->line);
    ASSERT_TRUE(dbg_source_address_of(&model_, file_, line_of("twice") - 1, &address, &actual));
    EXPECT_EQ(twice->start, address);
    EXPECT_EQ("debuginfo.c:" + std::to_string(line_of("twice")),
              dbg_source_where(&model_, twice->start));

    // pick and sum_points return through POP HL/JP (HL): no end record, each ends where the next
    // function starts, and their last bytes are still theirs.
    const dbg_function_t *pick = dbg_source_function(&model_, "pick");
    const dbg_function_t *sum = dbg_source_function(&model_, "sum_points");
    const dbg_function_t *shifted = dbg_source_function(&model_, "shifted");
    ASSERT_TRUE(pick && sum && shifted);
    EXPECT_FALSE(pick->has_end_record);
    EXPECT_FALSE(sum->has_end_record);
    EXPECT_EQ(sum->start, pick->end);
    EXPECT_EQ(shifted->start, sum->end);
    EXPECT_EQ(0xE9, emu_->memory[sum->end - 1]); // JP (HL)
    EXPECT_EQ(sum, dbg_source_function_at(&model_, static_cast<uint16_t>(sum->end - 1)));
    EXPECT_TRUE(sum->uses_ix);
    EXPECT_FALSE(pick->uses_ix);
    // The monitor and the library have no C functions.
    EXPECT_EQ(nullptr, dbg_source_function_at(&model_, 0x0013));
    // crt0.s's lines come with the program.
    const int crt0 = dbg_source_file(&model_, "crt0.s");
    ASSERT_GE(crt0, 0);
    EXPECT_EQ(crt0, dbg_source_line_at(&model_, 0x8000)->file);
    EXPECT_FALSE(dbg_source_text(&model_, crt0).empty());  // found in the SDK folder
    EXPECT_FALSE(dbg_source_text(&model_, file_).empty()); // found in the given source folder
    EXPECT_EQ(source, model_.files[file_].path);

    // Types from the type chains: an array of structs, a union, a long, a char array.
    const auto type_of = [&](const std::string &name) -> const dbg_type_t & {
        for (const auto &v : model_.variables)
            if (v.name == name) return model_.types[v.type];
        ADD_FAILURE() << "no variable " << name;
        return model_.types[0];
    };
    EXPECT_EQ("struct point [3]", type_of("points").name);
    EXPECT_EQ(15, type_of("points").size);
    EXPECT_EQ(DBG_TYPE_UNION, type_of("split").kind);
    EXPECT_EQ("union word", type_of("split").name);
    EXPECT_EQ("long", type_of("total").name);
    EXPECT_EQ("unsigned char [8]", type_of("greeting").name);
    EXPECT_EQ("struct point *", type_of("p").name);

    // Places: a register parameter, stack parameters and locals, a function static.
    std::vector<std::string> where;
    for (const auto &v : model_.variables)
        if (v.function >= 0 && model_.functions[v.function].name == "sum_points")
            where.push_back(v.name + (v.is_parameter ? "(param)" : "") + ":" +
                            (v.place == DBG_VAR_STACK ? std::to_string(v.offset) : v.registers));
    EXPECT_EQ((std::vector<std::string>{"bias(param):4", "count(param):-6", "p(param):-4", "i:c,b",
                                        "sum:-2"}),
              where);
    for (const auto &v : model_.variables)
        if (v.name == "last") {
            EXPECT_EQ(DBG_VAR_MEMORY, v.place);
            EXPECT_EQ("shifted", model_.functions[v.function].name);
        }
}

TEST_F(Source, StopsInCShowFramesLocalsAndValuesAndWriteVariables) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    std::string error;
    ASSERT_TRUE(dbg_type(e_, "g 8000\n", true, &error)) << error;

    // twice, frameless, called from sum_points (IX frame), called from main (IX frame), called
    // from crt0's start (assembly).
    const dbg_stop_t stop = run_to(address_of("twice"));
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, stop.cause) << stop.text;
    auto stack = frames();
    ASSERT_GE(stack.size(), 4u);
    EXPECT_EQ("twice", stack[0].name);
    EXPECT_EQ(line_of("twice"), stack[0].line);
    EXPECT_EQ("sum_points", stack[1].name);
    EXPECT_EQ(line_of("body"), stack[1].line); // the CALL's line, not the return address's
    EXPECT_EQ("main", stack[2].name);
    EXPECT_EQ(line_of("call"), stack[2].line);
    EXPECT_EQ(emu_->cpu.IX, stack[1].base); // sum_points set up IX; twice left it alone
    EXPECT_EQ(dbg_source_file(&model_, "crt0.s"), stack[3].file);

    // Locals: a register parameter is marked as such; stack parameters and locals by frame.
    auto locals = dbg_source_locals(&model_, context(&stack[0]));
    ASSERT_EQ(1u, locals.size());
    EXPECT_EQ("v", locals[0].name);
    EXPECT_EQ("2 ($0002) in HL", locals[0].text);
    EXPECT_FALSE(locals[0].in_memory);
    locals = dbg_source_locals(&model_, context(&stack[1]));
    std::vector<std::string> shown;
    for (const auto &v : locals)
        shown.push_back(v.name + "=" + v.text);
    uint16_t points = 0;
    for (const auto &v : model_.variables)
        if (v.name == "points") points = v.address;
    // i lives in BC while sum_points runs; the registers now are twice's, so its value is not
    // known in sum_points' frame and says so rather than showing what BC holds.
    EXPECT_EQ(
        (std::vector<std::string>{
            "p=$" + dbg_hex4(points), "count=3 ($0003)", "bias=7 ($0007)",
            "i=<not available> (held in BC, which the functions called since may have changed)",
            "sum=7 ($0007)"}),
        shown);

    // print in a selected frame: fields, pointers, indexes, addresses, statics, text.
    EXPECT_EQ("30 ($001E)", print("p[1].x", &stack[1]));
    EXPECT_EQ("97 'a' ($61)", print("p->tag", &stack[1]));
    EXPECT_EQ("-4 ($FFFC)", print("(*(p + 1)).y", &stack[1]));
    EXPECT_EQ("$" + dbg_hex4(points + 10u), print("&points[2]", &stack[1]));
    EXPECT_EQ("\"hello\"", print("greeting", &stack[2]));
    EXPECT_EQ("1 ($0001)", print("calls")); // a file static, seen from any of its functions
    dbg_value_t here;
    ASSERT_TRUE(dbg_source_print(&model_, "here", context(&stack[2]), &here, &error)) << error;
    EXPECT_EQ("struct point", here.type);
    ASSERT_EQ(3u, here.children.size());
    EXPECT_EQ("x", here.children[0].name);
    EXPECT_EQ("7 ($0007)", here.children[0].text);
    EXPECT_EQ("104 'h' ($68)", here.children[2].text);
    EXPECT_TRUE(here.children[2].in_memory);
    EXPECT_EQ(static_cast<uint16_t>(stack[2].base - 1), here.children[2].address);
    EXPECT_NE(std::string::npos, print_error("points[3]").find("outside"));
    EXPECT_NE(std::string::npos, print_error("last").find("unknown name"));
    EXPECT_NE(std::string::npos, print_error("points[1].z").find("no member z"));

    // Conditions over variables, registers, memory and a watchpoint's value.
    EXPECT_TRUE(condition("v == 2 && *(unsigned char *)pc == 0x29 && hl == 2"));
    EXPECT_TRUE(condition("greeting[1] == 'e' && points[1].y < 0 && *(char *)0x8000 == 0x31"));
    EXPECT_TRUE(condition("value == 0xFF && pc >= 0x8000", 0xFF));
    EXPECT_FALSE(condition("value == $FF && pc < 8000h", 0xFF));
    EXPECT_TRUE(condition("v == 2 || no_such_name")); // not looked at
    EXPECT_FALSE(condition("!(v == 2) || (total != 0)"));

    // Run on until the condition holds: the second element's y.
    dbg_expr_t second;
    ASSERT_TRUE(dbg_expr_parse(&model_, "v == -4", &second, &error)) << error;
    int64_t hit = 0;
    for (int i = 0; i < 5 && !hit; ++i) {
        ASSERT_TRUE(dbg_expr_number(&model_, second, context(), &hit, &error)) << error;
        if (!hit) {
            ASSERT_EQ(DBG_CAUSE_BREAKPOINT, dbg_continue(e_).cause);
        }
    }
    ASSERT_TRUE(hit);
    stack = frames();
    ASSERT_GE(stack.size(), 3u);
    dbg_value_t held;
    std::string why;
    // On its own it says it is not available; inside an expression it is an error.
    ASSERT_TRUE(dbg_source_print(&model_, "i", context(&stack[1]), &held, &why)) << why;
    EXPECT_EQ(0u, held.text.rfind("<not available> (held in BC", 0)) << held.text;
    EXPECT_FALSE(held.in_memory);
    EXPECT_FALSE(dbg_source_print(&model_, "i + 1", context(&stack[1]), &held, &why));
    EXPECT_NE(std::string::npos, why.find("i is not available")) << why;

    // Writing: a stack local of a caller's frame ends the loop early; text into a char array.
    assign("count", "2", &stack[1]);
    assign("greeting", "\"HI\"");
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(
        dbg_source_assign(&model_, "i", "0", context(&stack[1]), &address, &bytes, &error));
    EXPECT_NE(std::string::npos, error.find("not available")) << error;
    EXPECT_FALSE(dbg_source_assign(&model_, "calls", "70000", context(), &address, &bytes, &error));
    EXPECT_FALSE(dbg_source_assign(&model_, "greeting", "\"too long!\"", context(), &address,
                                   &bytes, &error));

    // Block scope: inside the inner block its c hides the parameter (and SDCC kept it
    // nowhere); after the block the parameter is back.
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, run_to(address_of("inner")).cause);
    EXPECT_NE(std::string::npos, print_error("c").find("optimised out"));
    std::vector<std::string> names;
    for (const auto &v : dbg_source_locals(&model_, context()))
        names.push_back(v.name + "=" + v.text);
    EXPECT_EQ(3u, names.size());
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "c=<optimised out>"));
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, run_to(address_of("outer")).cause);
    EXPECT_EQ("72 'H' ($48) in C", print("c")); // greeting[0], set above, came in A, kept in C
    EXPECT_EQ(2u, dbg_source_locals(&model_, context()).size());

    // At the putc line: 7 + (1 + 2 * 2) + (30 + 2 * -4), times 1000.
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, run_to(address_of("putc")).cause);
    EXPECT_EQ("34000 ($000084D0)", print("total"));
    EXPECT_EQ("4660 ($1234)", print("split.w"));
    EXPECT_EQ("52 '4' ($34)", print("split.b[0]"));
    EXPECT_EQ("73 'I' ($49)", print("greeting[1]"));
    EXPECT_EQ("5 ($05)", print("shade")); // an enum is its integer

    // Into the monitor (no debug information): found by the return address on the stack.
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, run_to(0x0013).cause);
    stack = frames();
    ASSERT_GE(stack.size(), 2u);
    EXPECT_EQ(-1, stack[0].function);
    EXPECT_EQ(-1, stack[0].file);
    EXPECT_EQ("main", stack[1].name);
    EXPECT_EQ(line_of("putc"), stack[1].line);
    EXPECT_EQ("104 'h' ($68)", print("here.tag", &stack[1]));
}

// A function's stop point comes after its set-up code, the copies of register parameters into
// the registers the records name (LD C,A) included: there every parameter holds its argument; and
// finish reports what it returns.
TEST_F(Source, ParametersHoldTheirArgumentsWhereAFunctionStops) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    std::string error;
    ASSERT_TRUE(dbg_debug_file_load(e_, program + ".cdb", {QUILLANE_SOURCE_DIR "/tests/c"}, &error))
        << error;
    ASSERT_TRUE(dbg_type(e_, "g 8000\n", true, &error)) << error;
    dbg_set_tick_limit(e_, dbg_ticks(e_) + 100000000);
    for (const char *line : {"break shifted", "break pick", "continue"})
        ASSERT_FALSE(dbg_execute(e_, line).error) << line;
    // greeting[0] is 'h' until shifted returns.
    EXPECT_EQ(0u, dbg_execute(e_, "print c").output.find("c = 104 'h' ($68) in C")) << pc();
    ASSERT_FALSE(dbg_execute(e_, "continue").error);
    EXPECT_EQ(0u, dbg_execute(e_, "print a").output.find("a = 120 'x' ($78) in C"));
    EXPECT_EQ(0u, dbg_execute(e_, "print b").output.find("b = 121 'y' ($79) in L"));
    // finish gives the value it returned in A (an int comes in DE; see debug/info/source.h).
    const std::string out = dbg_execute(e_, "finish").output;
    EXPECT_NE(std::string::npos, out.find("\nValue returned: 122 'z' ($7A)  (unsigned char)\n"))
        << out;
}

// A watched C object stops once per statement that writes it, after its last byte, with the
// whole object's old and new values: a long assigned and then multiplied (through a library
// routine), a union's member, a struct field that nothing writes then.
TEST_F(Source, WatchedCObjectsStopOncePerStatementWithOldAndNewValues) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    std::string error;
    ASSERT_TRUE(dbg_debug_file_load(e_, program + ".cdb", {QUILLANE_SOURCE_DIR "/tests/c"}, &error))
        << error;
    ASSERT_TRUE(dbg_type(e_, "g 8000\n", true, &error)) << error;
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, run_to(address_of("call")).cause);
    dbg_delete_all(e_);
    for (const char *object : {"total", "split.w", "points[1].y"})
        ASSERT_FALSE(dbg_execute(e_, std::string("watch write ") + object).error) << object;
    dbg_break_add(e_, 0x0010, 0); // the program's end: its return to the monitor
    dbg_set_tick_limit(e_, dbg_ticks(e_) + 100000000);
    // "Watchpoint 1: total: 0 ($00000000) -> 546 ($00000222) (...)" as "total: 0 -> 546".
    const std::regex change(R"(Watchpoint \d+: (\S+): (-?\d+) \(\$[0-9A-F]+\) -> (-?\d+) \()");
    std::vector<std::string> changes;
    for (dbg_stop_t s = dbg_continue(e_); s.cause == DBG_CAUSE_WATCH_WRITE; s = dbg_continue(e_)) {
        std::smatch m;
        changes.push_back(std::regex_search(s.text, m, change)
                              ? m[1].str() + ": " + m[2].str() + " -> " + m[3].str()
                              : s.text);
    }
    const std::vector<std::string> expected = {"total: 0 -> 546", "total: 546 -> 546000",
                                               "split.w: 0 -> 4660"};
    EXPECT_EQ(expected, changes);
}

// The commands over the engine's model, as the command table will call them.
TEST_F(Source, CommandsWhereFrameLocalsPrintListAndSetVar) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    std::string error;
    ASSERT_TRUE(dbg_debug_file_load(e_, program + ".cdb", {QUILLANE_SOURCE_DIR "/tests/c"}, &error))
        << error;
    EXPECT_FALSE(dbg_debug_file_load(e_, "/nonexistent.cdb", {}, &error));
    ASSERT_TRUE(dbg_type(e_, "g 8000\n", true, &error)) << error;
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, run_to(address_of("twice")).cause);
    const std::string at = std::to_string(line_of("twice"));

    const std::string where = dbg_cmd_where(e_, {}).output;
    EXPECT_EQ(0u, where.find("#0  twice (debuginfo.c:" + at + ") " + dbg_hex4(pc()) + "\n"))
        << where;
    EXPECT_NE(std::string::npos,
              where.find("#2  main (debuginfo.c:" + std::to_string(line_of("call")) + ") "))
        << where;
    EXPECT_TRUE(dbg_cmd_frame(e_, {"9"}).error);
    EXPECT_EQ(0u, dbg_cmd_frame(e_, {"1"}).output.find("#1  sum_points"));
    EXPECT_EQ("p = $" + dbg_hex4(symbol("points")) + "  (struct point *)\n" +
                  "count = 3 ($0003)  (int)\nbias = 7 ($0007)  (int)\n" +
                  "i = <not available> (held in BC, which the functions called since may have "
                  "changed)  (int)\n"
                  "sum = 7 ($0007)  (int)\n",
              dbg_cmd_locals(e_, {}).output);
    EXPECT_EQ("*p = {...}  (struct point)\n  x = 1 ($0001)\n  y = 2 ($0002)\n"
              "  tag = 97 'a' ($61)\n",
              dbg_cmd_print(e_, {"*p"}).output);
    // The list marks the selected frame's line and the breakpoint's.
    const std::string list = dbg_cmd_list(e_, {}).output;
    EXPECT_NE(std::string::npos,
              list.find("=> " + std::string(5 - std::to_string(line_of("body")).size(), ' ') +
                        std::to_string(line_of("body")) + "  "))
        << list;
    const std::string twice_list = dbg_cmd_list(e_, {"twice"}).output;
    EXPECT_NE(std::string::npos, twice_list.find("  *" + std::string(5 - at.size(), ' ') + at))
        << twice_list;
    EXPECT_TRUE(dbg_cmd_list(e_, {"nosuch.c:3"}).error);

    EXPECT_FALSE(dbg_cmd_set_var(e_, {"var", "sum", "100"}).error);
    EXPECT_EQ("sum = 100 ($0064)  (int)\n", dbg_cmd_print(e_, {"sum"}).output);
    EXPECT_TRUE(dbg_cmd_set_var(e_, {"var", "i", "1"}).error);
    // C in the program's terms: decimal values, a function's static as function::name, a
    // function's name as its address and name, casts to the program's struct types, formats.
    EXPECT_EQ("", run("set var calls 1000"));
    EXPECT_EQ("calls = 1000 ($03E8)  (unsigned int)\n", run("print calls"));
    EXPECT_EQ("", run("set var shifted::last 'A' + 1"));
    EXPECT_EQ("shifted::last = 66 'B' ($42)  (unsigned char)\n", run("print shifted::last"));
    EXPECT_TRUE(dbg_execute(e_, "print twice::last").error);
    const std::string start = dbg_hex4(dbg_source_function(&model_, "sum_points")->start);
    EXPECT_EQ("sum_points = $" + start + " <sum_points>  (int ())\n", run("print sum_points"));
    EXPECT_EQ("&sum_points = $" + start + " <sum_points>  (int () *)\n", run("p &sum_points"));
    EXPECT_EQ("points[1].y = 0xFFFC  (int)\n", run("print/x points[1].y"));
    EXPECT_EQ("points[1].tag = 01100010  (unsigned char)\n", run("print /t points[1].tag"));
    EXPECT_NE(std::string::npos, run("print ((struct point *)&points[0] + 2)->x").find(" = 500 ("));
    EXPECT_NE(
        std::string::npos,
        run("print sizeof(struct point) * 3 == sizeof points && sizeof p == 2").find(" = 1 ("));
    EXPECT_TRUE(dbg_execute(e_, "print/q sum").error);
    // A stop elsewhere leaves the selection behind.
    dbg_continue(e_);
    EXPECT_EQ(0u, dbg_cmd_locals(e_, {}).output.find("v = "));
}

// Source breakpoints through the command language: a line without code moves to the next one and
// says so, stop reports name the function and line, a condition that is false neither stops nor
// counts toward the skip count, and a watchpoint's condition sees the byte written.
TEST_F(Source, SourceBreakpointsConditionsAndStopReports) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    engine_load(program + ".ihx");
    std::string error;
    ASSERT_TRUE(dbg_type(e_, "g 8000\n", true, &error)) << error;
    const int nocode = line_of("nocode");
    EXPECT_EQ("Breakpoint 1 at " + dbg_hex4(address_of("nocode")) +
                  place("sum_points", nocode + 1) + "; line " + std::to_string(nocode) +
                  " has no code\n",
              run("break debuginfo.c:" + std::to_string(nocode)));
    EXPECT_TRUE(dbg_execute(e_, "break twice if v ==").error);
    // A bare hexadecimal word is refused as the condition is set, not at its first hit.
    const dbg_result_t bare = dbg_execute(e_, "break twice if v == FF");
    EXPECT_TRUE(bare.error);
    EXPECT_EQ("Bad condition: unknown name FF (for the hexadecimal number write 0xFF or $FF)\n",
              bare.output);
    EXPECT_TRUE(dbg_execute(e_, "break nosuch.c:3").error);
    // twice gets 2, -4, 6: the first is false (not counted), -4 is skipped, 6 stops.
    EXPECT_EQ("Breakpoint 2 at " + dbg_hex4(address_of("twice")) +
                  place("twice", line_of("twice")) + " if v != 2\n",
              run("break twice 1 if v != 2"));
    EXPECT_EQ(0u, run("continue")
                      .find("Breakpoint 1 at " + dbg_hex4(address_of("nocode")) +
                            place("sum_points", nocode + 1) + ": "));
    EXPECT_EQ(0u, run("continue")
                      .find("Breakpoint 2 at " + dbg_hex4(address_of("twice")) +
                            place("twice", line_of("twice")) + ": "));
    EXPECT_EQ("v = 6 ($0006) in HL  (int)\n", run("print v"));
    EXPECT_NE(std::string::npos, run("break").find(" if v != 2, 2 hits"));

    // total = 546 ($222), then 546000 ($854D0): only the byte D0 written stops.
    run("delete");
    const std::string total = dbg_hex4(symbol("total"));
    run("watch write " + total + " 4 if value == 0xD0 && pc >= 0x8000");
    const std::string stop = run("continue");
    EXPECT_NE(std::string::npos, stop.find(" wrote D0 to ")) << stop;
    EXPECT_NE(std::string::npos, stop.find(" (main, debuginfo.c:")) << stop;
    // The stop comes after the instruction that wrote D0, before the high word is stored.
    EXPECT_EQ("total = 21712 ($000054D0)  (long)\n", run("print total"));
}

// Source stepping: step enters a C function, finish lands in the caller's line, next runs over
// a call and stays in the function, step runs over the monitor's routine (no lines), stepi goes
// by one instruction.
TEST_F(Source, SourceStepNextFinishAndStepi) {
    if (!load()) GTEST_SKIP() << "built without SDCC";
    engine_load(program + ".ihx");
    std::string error;
    ASSERT_TRUE(dbg_type(e_, "g 8000\n", true, &error)) << error;
    const int body = line_of("body");
    run("break debuginfo.c:" + std::to_string(body));
    run("continue");
    run("delete");
    EXPECT_EQ(0u, run("step").find("Stopped at " + dbg_hex4(address_of("twice")) +
                                   place("twice", line_of("twice")) + ": "));
    const std::string back = run("finish");
    EXPECT_NE(std::string::npos, back.find(place("sum_points", body) + ": ")) << back;
    EXPECT_NE(std::string::npos, run("where").find("#0  sum_points (debuginfo.c:"));
    // The rest of the body, the loop's test, the next body (over twice), the loop's test.
    EXPECT_NE(std::string::npos, run("next").find(place("sum_points", line_of("for"))));
    EXPECT_NE(std::string::npos, run("next").find(place("sum_points", body)));
    EXPECT_NE(std::string::npos, run("next").find(place("sum_points", line_of("for"))));
    // stepi: exactly one instruction, whatever the line.
    const uint16_t before = pc();
    const uint8_t length = dbg_disassemble(emu_->memory, before, nullptr).length;
    EXPECT_EQ(0u, run("stepi").find("Stopped at " + dbg_hex4(before + length)));
    // Over mon_putc: step does not enter the monitor, it stops at the next line.
    run("break debuginfo.c:" + std::to_string(line_of("putc")));
    EXPECT_EQ(0u, run("continue").find("Breakpoint"));
    const std::string over = run("step");
    EXPECT_NE(std::string::npos, over.find(place("main", line_of("putc") + 1))) << over;
}

// An assembly program built with sdk/qasm: its line table beside the image gives it lines, so
// break at an asm line, step by line into and out of a routine, next over a DJNZ loop, and its
// data lines disassemble as bytes; EQU constants name no operand.
TEST(SourceAsm, BreakAtAnAsmLineStepByLineAndDataAsBytes) {
    const std::string fixture = QUILLANE_BUILD_DIR "/tests/asm/lines";
    if (!exists(fixture + ".lines")) GTEST_SKIP() << "built without pasmo";
    harness_init();
    dbg_engine_t *e = dbg_engine();
    ASSERT_EQ(0, harness_load_hex(fixture + ".hex"));
    delete e->source;
    e->source = nullptr;
    dbg_symbols_clear(&e->symbols);
    e->monitor_symbols = true; // no ROM here
    std::string report;
    ASSERT_TRUE(dbg_debug_info_load(e, fixture + ".hex", {}, &report)) << report;
    dbg_set_tick_limit(e, dbg_ticks(e) + 1000000);
    auto run = [e](const std::string &line) {
        const dbg_result_t r = dbg_execute(e, line);
        EXPECT_FALSE(r.error) << line << ": " << r.output;
        return r.output;
    };
    auto line = [](const std::string &mark) {
        std::ifstream in(QUILLANE_SOURCE_DIR "/tests/asm/lines.asm");
        std::string text;
        for (int n = 1; std::getline(in, text); ++n)
            if (text.find("; @" + mark) != std::string::npos) return std::to_string(n);
        ADD_FAILURE() << "no @" << mark;
        return std::string();
    };
    const std::string call = line("label-operand");
    EXPECT_EQ("Breakpoint 1 at 8005 (start+3, lines.asm:" + call + ")\n",
              run("break lines.asm:" + call));
    run("set pc start");
    EXPECT_EQ(0u, run("continue").find("Breakpoint 1 at 8005 (start+3, lines.asm:" + call + "): "));
    EXPECT_EQ(0u, run("step").find("Stopped at 8100 (routine, lines.asm:" + line("after-org") +
                                   "): RET"));
    EXPECT_EQ(0u, run("step").find("Stopped at 8008 (start+6, lines.asm:" +
                                   std::to_string(std::stoi(call) + 1) + "): LD B,$03"));
    run("next");
    EXPECT_NE(std::string::npos, run("next").find("lines.asm:" + line("macro") + "): "));
    EXPECT_EQ(0, dbg_registers(e).B); // the loop ran to its end
    const std::string data = run("disasm table 2");
    EXPECT_NE(std::string::npos, data.find("8016  01 02 61 3B DB $01,$02,$61,$3B ; \"..a;\""))
        << data;
    EXPECT_NE(std::string::npos, run("disasm start 1").find("LD HL,$0028"));
}

// Bad input: a file that is not debug information, broken records, broken expressions.
TEST(SourceInput, BadFilesAndExpressionsGiveReasons) {
    dbg_source_t model;
    dbg_source_init(&model);
    std::string error;
    EXPECT_EQ(-1, dbg_source_load_cdb(&model, "/nonexistent/prog.cdb", &error));
    EXPECT_NE(std::string::npos, error.find("/nonexistent/prog.cdb"));
    const std::string path = testing::TempDir() + "broken.cdb";
    {
        std::ofstream out(path);
        out << "M:broken\nF:G$f$0_0$0({2}DF,SI:S),C,0,0,0,0,0\nS:Lbroken.f$x$1_0$0({2}SI:S),B,1\n"
               "S:G$g$0_0$0({9}DA,ZZ:S),E,0,0\nS:G$h$0_0$0(\nT:Fbroken$s[({0}S:S$a\n"
               "L:C$broken.c$x$0:8000\nL:C$broken.c$3$0_0$0:80000\nL:G$f$0$0:8000\n"
               "L:C$broken.c$4$1_0$0:8000\nL:C$broken.c$5$1_0$0:8003\nL:XG$f$0$0:8004\n"
               "F:G$g$0_0$0({2}DF,SV:S),C,0,0,0,0,0\nS:G$d$0_0$0({1}SC:U),E,0,0\n"
               "L:G$g$0$0:8005\nL:C$broken.c$7$1_0$0:8005\nL:G$d$0_0$0:8100\n";
    }
    ASSERT_EQ(3, dbg_source_load_cdb(&model, path, &error)) << error;
    ASSERT_NE(nullptr, dbg_source_function(&model, "f"));
    EXPECT_EQ(0x8005u, dbg_source_function(&model, "f")->end);
    EXPECT_EQ(5, dbg_source_line_at(&model, 0x8004)->line);
    // g has no end record: it reaches the variable after it, or the next linker symbol that is
    // not one of SDCC's own.
    EXPECT_EQ(0x8100u, dbg_source_function(&model, "g")->end);
    EXPECT_EQ(7, dbg_source_line_at(&model, 0x80FF)->line);
    dbg_symbols_t symbols;
    dbg_symbols_add(&symbols, "C$broken.c$8$1_0$0", 0x8008);
    dbg_symbols_add(&symbols, "_library", 0x8010);
    std::vector<uint8_t> code(65536);
    dbg_source_scan_code(&model, code.data(), &symbols);
    EXPECT_EQ(0x8010u, dbg_source_function(&model, "g")->end);
    EXPECT_EQ(nullptr, dbg_source_line_at(&model, 0x8010));
    EXPECT_EQ(7, dbg_source_line_at(&model, 0x800F)->line);
    // Nor past the start of another of the linker's areas that holds something.
    dbg_symbols_add(&symbols, "s__GSINIT", 0x800C, DBG_SYMBOL_AREA);
    dbg_symbols_add(&symbols, "s__GSFINAL", 0x800A, DBG_SYMBOL_AREA);
    symbols.area_lengths = {{"_GSINIT", 3}, {"_GSFINAL", 0}};
    dbg_source_scan_code(&model, code.data(), &symbols);
    EXPECT_EQ(0x800Cu, dbg_source_function(&model, "g")->end);
    EXPECT_EQ(nullptr, dbg_source_line_at(&model, 0x800C));
    {
        std::ofstream out(path);
        out << "not a cdb\n";
    }
    EXPECT_EQ(-1, dbg_source_load_cdb(&model, path, &error));

    dbg_expr_t expr;
    for (const char *bad : {"",
                            "(1",
                            "a[1",
                            "p.",
                            "#12x",
                            "'ab'",
                            "1 +",
                            "1 2",
                            "a == == b",
                            "1 ? 2",
                            "0x",
                            "12ab",
                            "99999999999999999999",
                            "(int",
                            "(long char)1",
                            "(unsigned float)1",
                            "'\\q'",
                            "(struct)p",
                            "1 +++ 2",
                            "sizeof(long long long)"}) {
        error.clear();
        EXPECT_FALSE(dbg_expr_parse(&model, bad, &expr, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string deep;
    for (int i = 0; i < 300; ++i)
        deep += "-(";
    EXPECT_FALSE(dbg_expr_parse(&model, deep + "1" + std::string(300, ')'), &expr, &error));
    EXPECT_EQ("expression nested too deeply", error);
}

// Expressions read as C: numbers are decimal, with C's other forms and the assembler's $FF and
// 0FFh; a bare hexadecimal word is never taken for a number; arithmetic has C's types, integer
// promotions and wrap-around at SDCC's widths (int 16 bits).
TEST(SourceInput, ExpressionsAreCWithItsLiteralsPromotionsAndWrapAround) {
    dbg_source_t model;
    dbg_source_init(&model);
    std::vector<uint8_t> memory(65536);
    z_cpu_t cpu{};
    cpu.HL = 0x1234;
    cpu.IX = 0x2001;
    memory[0x1234] = 0x56;
    memory[0x2000] = 0x77;
    const dbg_eval_context_t context{memory.data(), &cpu, nullptr, nullptr, -1};
    // The value and its type as print shows it.
    struct {
        const char *text;
        int64_t number;
        const char *type;
    } const cases[] = {
        // Literals and their C types.
        {"41", 41, "int"},
        {"-20", -20, "int"},
        {"0x29", 41, "int"},
        {"$29", 41, "int"},
        {"29h", 41, "int"},
        {"0FFh", 255, "int"},
        {"0bh", 11, "int"},
        {"051", 41, "int"},
        {"0b101001", 41, "int"},
        {"'A'", 65, "int"},
        {"'\\n' + '\\x41' + '\\101' + '\\''", 10 + 65 + 65 + 39, "int"},
        {"40000", 40000, "long"},
        {"0x8000", 0x8000, "unsigned int"},
        {"65535u", 65535, "unsigned int"},
        {"3000000000", 3000000000, "long long"},
        {"0xFFFFFFFF", 0xFFFFFFFF, "unsigned long"},
        {"7L", 7, "long"},
        {"#27", 27, "int"},
        {"-32768", -32768, "long"},
        // Registers are unsigned: 8-bit ones unsigned char, pairs unsigned int.
        {"h", 0x12, "unsigned char"},
        {"hl", 0x1234, "unsigned int"},
        {"*(unsigned char *)hl == 0x56 && *(unsigned char *)(ix - 1) == 'w'", 1, "int"},
        // Arithmetic: promoted to int, wrapping at 16 bits; long when an operand is.
        {"1000 * 1000", 16960, "int"},
        {"1000L * 1000", 1000000, "long"},
        {"32767 + 1", -32768, "int"},
        {"0xFFFF + 1", 0, "unsigned int"},
        {"h + 1", 0x13, "int"},
        {"~0", -1, "int"},
        {"~(unsigned char)0", -1, "int"},
        {"-1 < 0", 1, "int"},
        {"-1 < 0u", 0, "int"},  // -1 converted to unsigned int is 65535
        {"-1L < 0u", 1, "int"}, // long holds every unsigned int
        {"(unsigned char)300", 44, "unsigned char"},
        {"(signed char)200", -56, "signed char"},
        {"(long)-1 == 0xFFFFFFFF", 1, "int"}, // compared as unsigned long
        {"(unsigned long)-1 == 0xFFFFFFFF", 1, "int"},
        {"7 / 2 + -7 / 2 * 10 + -7 % 2 * 100", 3 - 30 - 100, "int"},
        {"1 << 15", -32768, "int"},
        {"0x8000 >> 15", 1, "unsigned int"},
        {"-16 >> 2", -4, "int"},
        {"(6 & 3) * 100 + (6 | 3) * 10 + (6 ^ 3)", 200 + 70 + 5, "int"},
        {"!5 + !0 * 2", 2, "int"},
        {"1 ? 2 : 3", 2, "int"},
        {"0 ? 2 : 1 ? 3 : 4", 3, "int"},
        {"1 + 2 * 3 == 7 && (1 << 2 + 1) == 8 && 5 > 3 > 0 == 1", 1, "int"},
        {"sizeof(long) + sizeof(char *) * 10 + sizeof 1 * 100 + sizeof h * 1000", 1224,
         "unsigned int"},
        {"sizeof(unsigned long long) * 2", 16, "unsigned int"},
        {"(unsigned char *)0x8000 + 2", 0x8002, "unsigned char *"},
        {"(long *)0x8000 + 2", 0x8008, "long *"},
        {"(long *)0x8008 - (long *)0x8000", 2, "int"},
        {"&*(int *)0x9000", 0x9000, "int *"},
    };
    for (const auto &c : cases) {
        dbg_value_t value;
        std::string error;
        int64_t got = 0;
        ASSERT_TRUE(dbg_source_number(&model, c.text, context, &got, &error))
            << c.text << ": " << error;
        EXPECT_EQ(c.number, got) << c.text;
        ASSERT_TRUE(dbg_source_print(&model, c.text, context, &value, &error)) << c.text;
        EXPECT_EQ(c.type, value.type) << c.text;
    }
    // A word that names nothing is refused, never read as hexadecimal.
    dbg_value_t value;
    std::string error;
    for (const char *word : {"FF", "C000", "nosuch"}) {
        EXPECT_FALSE(dbg_source_print(&model, word, context, &value, &error)) << word;
        EXPECT_EQ(std::string("unknown name ") + word +
                      (word[0] == 'n' ? ""
                                      : std::string(" (for the hexadecimal number write 0x") +
                                            word + " or $" + word + ")"),
                  error);
    }
    EXPECT_FALSE(dbg_source_print(&model, "0de", context, &value, &error));
    EXPECT_NE(std::string::npos, error.find("write 0x0de or $0de")) << error;
    for (const char *refused :
         {"1 / 0", "5 % (h - 0x12)", "1 << 16", "1 >> -1", "(struct nosuch *)0", "*(void *)0",
          "sizeof(void)", "(struct nosuch)1", "fact::n"}) {
        EXPECT_FALSE(dbg_source_print(&model, refused, context, &value, &error)) << refused;
        EXPECT_FALSE(error.empty()) << refused;
    }
    // print's formats, at the value's width.
    for (const auto &[format, text] :
         std::vector<std::pair<char, std::string>>{{'x', "0xFFEC"},
                                                   {'d', "-20"},
                                                   {'u', "65516"},
                                                   {'t', "1111111111101100"},
                                                   {'c', "236 '\\xEC'"}}) {
        ASSERT_TRUE(dbg_source_print(&model, "-20", context, &value, &error, format)) << error;
        EXPECT_EQ(text, value.text) << format;
    }
    ASSERT_TRUE(dbg_source_print(&model, "h", context, &value, &error, 'x'));
    EXPECT_EQ("0x12", value.text);
    for (const auto &[text, shown] :
         std::vector<std::pair<std::string, std::string>>{{"'A'", "65 'A'"},
                                                          {"0", "0 '\\0'"},
                                                          {"'\\''", "39 '\\''"},
                                                          {"'\"'", "34 '\"'"},
                                                          {"'\\\\'", "92 '\\\\'"},
                                                          {"7", "7 '\\x07'"}}) {
        ASSERT_TRUE(dbg_source_print(&model, text, context, &value, &error, 'c')) << text;
        EXPECT_EQ(shown, value.text) << text;
    }
}

// Debug files and sources are read only from regular files and within a bound: a FIFO without a
// writer, a device that never ends, a folder, a sparse file of gigabytes and an endless line are
// refused at once with their reason, for the .cdb as for symbols and the sources it names (a
// source that is a FIFO, through `list`: tests/run/test_run_bounds.sh).
TEST(SourceInput, DebugFilesAndSourcesThatMayNotEndOrAreTooLargeAreRefused) {
    char name[] = "/tmp/quillane-bounds-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(name));
    const std::string dir = name;
    auto make_sparse = [](const std::string &path, off_t size) {
        std::ofstream(path).put('M');
        ASSERT_EQ(0, truncate(path.c_str(), size));
    };
    for (const char *fifo : {"/fifo.cdb", "/fifo.noi"})
        ASSERT_EQ(0, mkfifo((dir + fifo).c_str(), 0600));
    ASSERT_EQ(0, symlink("/dev/zero", (dir + "/zero.cdb").c_str()));
    ASSERT_EQ(0, symlink("/dev/urandom", (dir + "/random.cdb").c_str()));
    ASSERT_EQ(0, mkdir((dir + "/folder.cdb").c_str(), 0700));
    make_sparse(dir + "/huge.cdb", off_t{2} << 30);
    make_sparse(dir + "/huge.map", off_t{2} << 30);
    make_sparse(dir + "/huge.c", off_t{64} << 20);
    std::ofstream(dir + "/long.cdb") << "M:" << std::string(70000, 'x') << "\n";
    const struct {
        const char *file;
        const char *reason;
    } cases[] = {{"/fifo.cdb", "Not a regular file (a FIFO)"},
                 {"/zero.cdb", "Not a regular file (a device)"},
                 {"/random.cdb", "Not a regular file (a device)"},
                 {"/folder.cdb", "Is a directory"},
                 {"/huge.cdb", "Too large (2147483648 bytes; at most 64 MiB)"},
                 {"/long.cdb", "Line 1: the line is longer than 64 KiB"}};
    for (const auto &c : cases) {
        dbg_source_t model;
        dbg_source_init(&model);
        std::string error;
        EXPECT_EQ(-1, dbg_source_load_cdb(&model, dir + c.file, &error)) << c.file;
        EXPECT_EQ(dir + c.file + ": " + c.reason, error);
    }
    dbg_symbols_t symbols;
    std::string error;
    EXPECT_EQ(-1, dbg_symbols_load(&symbols, dir + "/fifo.noi", &error));
    EXPECT_NE(std::string::npos, error.find("Not a regular file")) << error;
    EXPECT_EQ(-1, dbg_symbols_load(&symbols, dir + "/huge.map", &error));
    EXPECT_NE(std::string::npos, error.find("Too large")) << error;

    // A source larger than a source may be has no text, and says why.
    dbg_source_t model;
    dbg_source_init(&model);
    model.search_dirs = {dir};
    dbg_source_add_line(&model, "huge.c", 1, 0x8001, 1, true);
    dbg_source_index(&model);
    const int index = dbg_source_file(&model, "huge.c");
    ASSERT_GE(index, 0);
    EXPECT_TRUE(dbg_source_text(&model, index).empty());
    EXPECT_NE(std::string::npos, model.files[index].problem.find("at most 4 MiB"))
        << model.files[index].problem;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

// Values that counts the debug information claims cannot make large: a type larger than the
// memory is refused when read, and a value shows at most DBG_VALUE_MAX_ELEMENTS elements of an
// array, DBG_VALUE_MAX_NODES values in all and DBG_VALUE_MAX_CHARS characters of a string.
TEST(SourceInput, TypesLargerThanMemoryAreRefusedAndValuesShowABoundedPart) {
    const std::string path = testing::TempDir() + "huge-types.cdb";
    std::ofstream(path) << "M:big\n"
                           "S:G$grid$0_0$0({0}DA256d,DA256d,DA256d,DA256d,SC:U),E,0,0\n"
                           "S:G$huge$0_0$0({2147483647}DA2147483647d,SC:U),E,0,0\n"
                           "S:G$fat$0_0$0({70000}STfat:S),E,0,0\n"
                           "S:G$wide$0_0$0({60000}DA300d,DA200d,SC:U),E,0,0\n"
                           "S:G$row$0_0$0({2000}DA1000d,SI:S),E,0,0\n"
                           "S:G$text$0_0$0({2000}DA2000d,SC:U),E,0,0\n"
                           "L:G$grid$0_0$0:0\nL:G$huge$0_0$0:0\nL:G$fat$0_0$0:0\n"
                           "L:G$wide$0_0$0:0\nL:G$row$0_0$0:1000\nL:G$text$0_0$0:2000\n";
    dbg_source_t model;
    dbg_source_init(&model);
    std::string error;
    ASSERT_GE(dbg_source_load_cdb(&model, path, &error), 0) << error;
    dbg_source_index(&model);
    // Memory without a zero byte: no string ends.
    std::vector<uint8_t> memory(65536, 'A');
    z_cpu_t cpu{};
    const dbg_eval_context_t context{memory.data(), &cpu, nullptr, nullptr, -1};
    dbg_value_t value;
    for (const char *refused : {"grid", "grid[1]", "huge", "fat"}) {
        EXPECT_FALSE(dbg_source_print(&model, refused, context, &value, &error)) << refused;
        EXPECT_EQ("unknown name " + std::string(refused).substr(0, 4), error);
    }
    auto is_marker = [](const dbg_value_t &v) { return v.name == "..." && v.text.empty(); };
    // 300 x 200 elements: the arrays' first ones until the whole tree is full, then "...".
    ASSERT_TRUE(dbg_source_print(&model, "wide", context, &value, &error)) << error;
    EXPECT_TRUE(is_marker(value.children.back()));
    size_t shown = 0;
    std::vector<const dbg_value_t *> pending{&value};
    while (!pending.empty()) {
        const dbg_value_t *v = pending.back();
        pending.pop_back();
        for (const dbg_value_t &child : v->children) {
            shown += is_marker(child) ? 0 : 1;
            pending.push_back(&child);
        }
    }
    EXPECT_EQ(DBG_VALUE_MAX_NODES, shown);
    ASSERT_TRUE(dbg_source_print(&model, "row", context, &value, &error)) << error;
    ASSERT_EQ(DBG_VALUE_MAX_ELEMENTS + 1, value.children.size());
    EXPECT_EQ("[255]", value.children[DBG_VALUE_MAX_ELEMENTS - 1].name);
    EXPECT_EQ("16705 ($4141)", value.children[0].text);
    EXPECT_TRUE(is_marker(value.children.back()));
    ASSERT_TRUE(dbg_source_print(&model, "text", context, &value, &error)) << error;
    EXPECT_EQ("\"" + std::string(DBG_VALUE_MAX_CHARS, 'A') + "\"...", value.text);
    EXPECT_EQ(DBG_VALUE_MAX_ELEMENTS + 1, value.children.size());
    ASSERT_TRUE(dbg_source_print(&model, "text[#1999]", context, &value, &error)) << error;
    EXPECT_EQ("65 'A' ($41)", value.text);
}

} // namespace

// One rule for every front end: each scenario reaches a stop through the command language and
// through the debug adapter, and both must leave the machine at the same address, line and frame,
// with the parameters equal to the arguments (tests/c/stepping.c: scale(amount, factor) keeps
// factor in its IX frame, which holds garbage before its set-up code has run).
namespace {

using stepping::marked;
using stepping::scenario_t;
const std::string &stepping_source = stepping::source;
const std::string &stepping_program = stepping::program;

// Where a stop left the machine, as the user sees it.
struct seen_t {
    uint16_t pc = 0;
    int line = 0;
    std::string function;
    std::string values; // print's output for the scenario's names
    bool operator==(const seen_t &) const = default;
};

std::ostream &operator<<(std::ostream &out, const seen_t &s) {
    return out << dbg_hex4(s.pc) << " line " << s.line << " in " << s.function << ": " << s.values;
}

seen_t look(dbg_engine_t *e, const std::vector<std::string> &names) {
    seen_t s;
    const z_cpu_t cpu = dbg_registers(e);
    s.pc = cpu.PC;
    if (const dbg_line_range_t *range = dbg_source_line_at(e->source, s.pc)) s.line = range->line;
    const std::vector<uint8_t> memory = dbg_memory(e);
    const auto frames = dbg_source_frames(e->source, memory.data(), cpu, &e->symbols, 1);
    if (!frames.empty()) s.function = frames[0].name;
    e->source_frame = 0;
    for (const std::string &name : names)
        s.values += dbg_cmd_print(e, {name}).output;
    return s;
}

// A fresh machine with the monitor, its symbols and nothing else loaded.
dbg_engine_t *fresh_engine() {
    harness_init();
    dbg_engine_t *e = dbg_engine();
    delete e->source;
    e->source = nullptr;
    dbg_symbols_clear(&e->symbols);
    e->monitor_symbols = false;
    return e;
}

// The monitor booted, stepping.ihx and its debug information loaded, "g 8000" typed: the next
// run starts the program.
dbg_engine_t *stepping_engine(const std::string &program = stepping_program) {
    dbg_engine_t *e = fresh_engine();
    EXPECT_EQ(0, harness_load_hex(QUILLANE_BUILD_DIR "/tessik.hex"));
    harness_run_ticks(2000000);
    EXPECT_EQ(0, harness_load_hex(program + ".ihx", nullptr, false));
    e->rom_path = QUILLANE_BUILD_DIR "/tessik.hex";
    std::string report, error;
    EXPECT_TRUE(dbg_debug_info_load(e, program + ".ihx", {QUILLANE_SOURCE_DIR "/tests/c"}, &report))
        << report;
    dbg_changed(e);
    EXPECT_TRUE(dbg_type(e, "g 8000\n", true, &error)) << error;
    dbg_set_tick_limit(e, dbg_ticks(e) + 100000000); // a missed stop fails, never hangs
    return e;
}

seen_t by_console(const scenario_t &scenario) {
    dbg_engine_t *e = stepping_engine();
    for (const std::string &line : scenario.console) {
        const dbg_result_t r = dbg_execute(e, marked(line));
        EXPECT_FALSE(r.error) << scenario.name << ": " << line << ": " << r.output;
    }
    EXPECT_NE(DBG_CAUSE_TICKS, e->last_stop.cause) << scenario.name;
    return look(e, scenario.names);
}

seen_t by_dap(const scenario_t &scenario, std::string *all = nullptr) {
    dbg_engine_t *e = fresh_engine();
    dbg_dap_t *s = dbg_dap_new(e, QUILLANE_BUILD_DIR "/tessik.hex");
    int seq = 1;
    std::string out;
    auto send = [&](const std::string &command, const std::string &arguments) {
        const std::string body = R"({"seq":)" + std::to_string(seq++) +
                                 R"(,"type":"request","command":")" + command +
                                 R"(","arguments":)" + arguments + "}";
        const std::string framed = dbg_dap_frame(body);
        EXPECT_TRUE(dbg_dap_feed(s, framed.data(), framed.size()));
        for (int n = 0; n < 400 && dbg_dap_running(s); ++n)
            dbg_dap_run_slice(s, 1000000);
        EXPECT_FALSE(dbg_dap_running(s)) << scenario.name << ": " << command;
        out = dbg_dap_take_output(s);
        if (all) *all += out;
        EXPECT_EQ(std::string::npos, out.find(R"("success":false)"))
            << scenario.name << ": " << command << ": " << out;
    };
    send("initialize", "{}");
    send("launch", R"({"program":")" + stepping_program +
                       R"(.ihx","sourceDirs":[")" QUILLANE_SOURCE_DIR
                       R"(/tests/c"],"type":"g 8000\n","stopOnEntry":true})");
    send("configurationDone", "{}");
    for (const std::string &step : scenario.dap) {
        const auto requests = stepping::dap_breakpoint_requests(step);
        for (const auto &request : requests)
            send(request.command, request.arguments);
        if (requests.empty()) {
            send(step, R"({"threadId":1})");
            EXPECT_NE(std::string::npos, out.find(R"("event":"stopped")"))
                << scenario.name << ": " << step << ": " << out;
        }
    }
    const seen_t seen = look(e, scenario.names);
    dbg_dap_free(s);
    return seen;
}

} // namespace

TEST(Stepping, EveryFrontEndStopsAtTheSamePlaceWithTheArguments) {
    if (!exists(stepping_program + ".cdb")) GTEST_SKIP() << "built without SDCC";
    for (const scenario_t &scenario : stepping::scenarios()) {
        const seen_t console = by_console(scenario);
        EXPECT_EQ(stepping::line_of(scenario.mark), console.line) << scenario.name;
        EXPECT_EQ(scenario.function, console.function) << scenario.name;
        for (const std::string &shown : scenario.shown)
            EXPECT_NE(std::string::npos, console.values.find(shown))
                << scenario.name << ": " << console.values;
        EXPECT_EQ(console, by_dap(scenario)) << scenario.name;
    }
}

// One stack walk: wherever the machine stops, `finish` returns to the caller that the walk (and
// so `where`, the window's stack and DAP's stackTrace) names as frame 1, with its SP: in a C
// function's set-up code and body, at every instruction of the `}` of a function that returns
// through POP HL / INC SP / JP (HL), in ___sdcc_call_iy (assembly, no lines) and in the monitor.
TEST(Stepping, FinishReturnsToTheCallerTheStackWalkNames) {
    if (!exists(stepping_program + ".cdb")) GTEST_SKIP() << "built without SDCC";
    dbg_engine_t *e = stepping_engine();
    std::string error;
    auto walk = [e] {
        const std::vector<uint8_t> memory = dbg_memory(e);
        return dbg_source_frames(e->source, memory.data(), dbg_registers(e), &e->symbols);
    };
    // finish from here, then back to here: it must land on the walk's frame 1.
    auto check_finish = [&](const std::string &where) {
        const std::vector<dbg_frame_t> before = walk();
        ASSERT_GE(before.size(), 2u) << where;
        dbg_machine_state_t here;
        dbg_state_capture(e, &here);
        EXPECT_EQ(DBG_CAUSE_STEP, dbg_finish(e).cause) << where;
        EXPECT_EQ(before[1].pc, dbg_registers(e).PC) << where;
        // SP is where it was before the call, past any argument bytes the callee removed.
        EXPECT_LE(before[1].sp, dbg_registers(e).SP) << where;
        EXPECT_GE(before[1].sp + 2, dbg_registers(e).SP) << where;
        EXPECT_EQ(before[1].name, walk().at(0).name) << where;
        dbg_state_restore(e, here);
    };
    auto run_to = [&](uint16_t address) {
        const int id = dbg_break_add(e, address, 0);
        EXPECT_EQ(DBG_CAUSE_BREAKPOINT, dbg_continue(e).cause);
        dbg_delete(e, id);
    };
    const dbg_function_t *scale = dbg_source_function(e->source, "scale");
    ASSERT_TRUE(scale);
    run_to(scale->start);
    check_finish("scale's first instruction");
    for (uint16_t pc = scale->start; pc < dbg_source_function_body(e->source, scale);
         pc = dbg_registers(e).PC) {
        check_finish("scale's set-up code at " + dbg_hex4(pc));
        dbg_step(e, 1);
    }
    check_finish("scale's body");
    EXPECT_EQ("main", walk().at(1).name);

    uint16_t call_iy = 0;
    ASSERT_TRUE(dbg_symbol_lookup(&e->symbols, "___sdcc_call_iy", &call_iy));
    run_to(call_iy);
    check_finish("___sdcc_call_iy");

    dbg_place_t end;
    ASSERT_TRUE(dbg_place_resolve(e, marked("@choose_end"), &end, &error)) << error;
    run_to(end.address);
    for (int n = 0; n < 8; ++n) {
        const dbg_instruction_t in = dbg_disassemble(e->emu->memory, dbg_registers(e).PC, nullptr);
        check_finish("choose's } at " + in.text);
        if (in.flow == DBG_FLOW_JUMP_REG) break;
        ASSERT_NE(DBG_FLOW_RETURN, in.flow) << "choose returns through JP (HL)";
        dbg_step(e, 1);
    }
    EXPECT_EQ(DBG_FLOW_JUMP_REG,
              dbg_disassemble(e->emu->memory, dbg_registers(e).PC, nullptr).flow);

    uint16_t putc = 0;
    ASSERT_TRUE(dbg_symbol_lookup(&e->symbols, "mon_putc", &putc));
    run_to(putc);
    // main calls it last, with a jump: its caller is main's.
    check_finish("mon_putc");
}

// Values a view shows are the true ones or say they are not known: scale's parameters while its
// set-up code runs (they reach their registers and stack slots there) say so, and hold the
// arguments once it has run; two variables the records put in the same registers say so too.
TEST(Stepping, ValuesNotKnownYetSaySo) {
    if (!exists(stepping_program + ".cdb")) GTEST_SKIP() << "built without SDCC";
    dbg_engine_t *e = stepping_engine();
    const dbg_function_t *scale = dbg_source_function(e->source, "scale");
    ASSERT_TRUE(scale);
    dbg_break_add(e, scale->start, 0);
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, dbg_continue(e).cause);
    for (const char *name : {"amount", "factor"}) {
        const dbg_result_t r = dbg_execute(e, std::string("print ") + name);
        EXPECT_NE(std::string::npos, r.output.find(std::string(name) + " = <not available> (the "
                                                                       "function's set-up code"))
            << r.output;
    }
    dbg_delete_all(e);
    ASSERT_EQ(DBG_CAUSE_STEP, dbg_step_by(e, DBG_STEP_INTO, DBG_GRAN_LINE).cause);
    EXPECT_NE(std::string::npos, dbg_execute(e, "print amount").output.find("amount = 1 ("));
    EXPECT_NE(std::string::npos, dbg_execute(e, "print factor").output.find("factor = 3 ("));
    // Back in main, SDCC's records put both i and total in HL: each is shown marked so, and a
    // value computed from one is refused.
    ASSERT_EQ(DBG_CAUSE_STEP, dbg_finish(e).cause);
    EXPECT_NE(std::string::npos,
              dbg_execute(e, "print i").output.find(" in HL, shared with total"));
    EXPECT_NE(std::string::npos,
              dbg_execute(e, "print total").output.find(" in HL, shared with i"));
    const dbg_result_t sum = dbg_execute(e, "print i + total");
    EXPECT_TRUE(sum.error);
    EXPECT_NE(std::string::npos, sum.output.find("may be wrong")) << sum.output;
}

// A DAP logpoint prints its message with each {expression} evaluated where it is reached, as an
// output event, and the run goes on to the next breakpoint.
TEST(Stepping, LogpointsPrintAndGoOn) {
    if (!exists(stepping_program + ".cdb")) GTEST_SKIP() << "built without SDCC";
    const scenario_t scenario = {
        "logpoint",
        {},
        {"logpoint scale {amount} times {factor}, {{braces}}", "lbreak @pointer", "continue"},
        "pointer",
        "main",
        {},
        {}};
    std::string out;
    const seen_t seen = by_dap(scenario, &out);
    EXPECT_EQ(stepping::line_of("pointer"), seen.line);
    for (int amount = 1; amount <= 4; ++amount)
        EXPECT_NE(std::string::npos,
                  out.find(std::to_string(amount) + " ($000" + std::to_string(amount) +
                           ") in BC times 3 ($0003), {braces}"))
            << out;
    EXPECT_EQ(std::string::npos, out.find(R"("reason":"breakpoint","hitBreakpointIds":[3)")) << out;
}

// Every value shown of tests/c/truth.c, in every frame, is the true one (worked out here from what
// the program does) or <not available>, never another: at leaf, called through a pointer at the
// bottom of a recursion five deep, and at with_stack, whose third argument comes on the stack.
TEST(Values, TrueOrNotAvailableInEveryFrame) {
    const std::string truth = QUILLANE_BUILD_DIR "/tests/c/truth";
    if (!exists(truth + ".cdb")) GTEST_SKIP() << "built without SDCC";
    dbg_engine_t *e = stepping_engine(truth);
    // print's number, or "n/a" where the value (or one it is computed from) is not available.
    auto shown = [&](const std::string &expression) -> std::string {
        const dbg_result_t r = dbg_execute(e, "print " + expression);
        const size_t at = r.output.find(" = ");
        if (r.output.find("not available") != std::string::npos) return "n/a";
        if (r.error || at == std::string::npos) return r.output;
        return r.output.substr(at + 3, r.output.find(' ', at + 3) - at - 3);
    };
    auto check = [&](const std::string &expression, long value, bool known) {
        const std::string text = shown(expression);
        EXPECT_TRUE(text == std::to_string(value) || (!known && text == "n/a"))
            << expression << " shows " << text << " where it is " << value;
    };
    ASSERT_FALSE(dbg_execute(e, "break leaf").error);
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, dbg_continue(e).cause);
    // Frame 0: leaf(7, 'x'); frames 1-5: recurse(n = 0 ... 4, &recs[0]); globals as initialised.
    check("v", 7, true);
    check("c", 'x', true);
    check("g_int", -14, true);
    check("recs[1].big", -5, true);
    for (int n = 0; n <= 4; ++n) {
        ASSERT_FALSE(dbg_execute(e, "frame " + std::to_string(n + 1)).error);
        check("n", n, false);
        check("r->big", 100000, false);
        check("kept[0]", n, true); // on the stack: read from the frame's own IX
        check("kept[1]", 7 + n, true);
    }
    // with_stack('p', 300, 'q'), once recurse has added 7 * 2 + 'x' + 1 + 2 + 3 + 4 to g_long.
    ASSERT_FALSE(dbg_execute(e, "delete").error);
    ASSERT_FALSE(dbg_execute(e, "break with_stack").error);
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, dbg_continue(e).cause);
    check("a", 'p', true);
    check("b", 300, true);
    check("c", 'q', true);
    check("g_long", 100000 + 7 * 2 + 'x' + 1 + 2 + 3 + 4, true);
    ASSERT_FALSE(dbg_execute(e, "watch write recs[1].weight").error);
    const dbg_result_t watched = dbg_execute(e, "continue");
    EXPECT_NE(std::string::npos, watched.output.find("recs[1].weight: -3 ($FFFD) -> 300 ($012C)"))
        << watched.output;
}