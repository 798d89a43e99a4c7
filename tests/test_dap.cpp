// The debug adapter's framing and its answers to malformed messages (the session end to end is
// tests/dap/session.test.js).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "debug/core/engine.h"
#include "debug/front/dap.h"
#include "debug/front/register_rows.h"
#include "debug/info/source.h"
#include "harness.h"
#include "machine/emu.h"
#include "reload_builds.h"

namespace {

// Every body the framer yields from the bytes fed in the given pieces; -1 ends it.
std::vector<std::string> bodies(const std::vector<std::string> &pieces, std::string *error) {
    dbg_dap_framer_t framer;
    std::vector<std::string> out;
    for (const std::string &piece : pieces) {
        framer.buffer += piece;
        std::string body;
        int got;
        while ((got = dbg_dap_frame_next(&framer, &body, error)) == 1)
            out.push_back(body);
        if (got < 0) {
            out.push_back("<broken>");
            return out;
        }
    }
    return out;
}

} // namespace

TEST(Dap, FramingSplitsJoinsAndCountsBytes) {
    std::string error;
    const std::string a = R"({"seq":1})", b = R"({"seq":2,"t":"é€"})"; // b: 18 characters, 21 bytes
    // A header split inside its name and inside its end, and a body in two pieces.
    EXPECT_EQ((std::vector<std::string>{a}),
              bodies({"Content-Len", "gth: 9\r\n\r", "\n{\"seq\"", ":1}"}, &error));
    // Two messages in one read; the length counts bytes, not characters.
    EXPECT_EQ((std::vector<std::string>{a, b}),
              bodies({dbg_dap_frame(a) + dbg_dap_frame(b)}, &error));
    EXPECT_EQ(std::string("Content-Length: 21\r\n\r\n") + b, dbg_dap_frame(b));
    // Other header fields are passed over.
    EXPECT_EQ((std::vector<std::string>{a}),
              bodies({"Content-Type: application/json\r\nContent-Length: 9\r\n\r\n" + a}, &error));
    // A body shorter than its length waits for more.
    EXPECT_TRUE(bodies({"Content-Length: 10\r\n\r\n" + a}, &error).empty());
}

TEST(Dap, BrokenStreamsAreRefused) {
    for (const std::string &bytes :
         {std::string("Content-Length: 12x\r\n\r\n{}"), std::string("Content-Length: \r\n\r\n{}"),
          std::string("Content-Length: 4000000000\r\n\r\n"), std::string("X-Other: 1\r\n\r\n{}"),
          std::string(5000, 'a')}) {
        std::string error;
        const std::vector<std::string> got = bodies({bytes}, &error);
        ASSERT_EQ(1u, got.size()) << bytes.substr(0, 40);
        EXPECT_EQ("<broken>", got[0]) << bytes.substr(0, 40);
        EXPECT_FALSE(error.empty());
    }
}

namespace {

// A session over the harness's machine, fed framed bodies.
struct session_t {
    dbg_dap_t *s;
    session_t() {
        harness_init();
        s = dbg_dap_new(dbg_engine(), "");
    }
    ~session_t() { dbg_dap_free(s); }
    std::string feed(const std::string &body) {
        const std::string framed = dbg_dap_frame(body);
        EXPECT_TRUE(dbg_dap_feed(s, framed.data(), framed.size()));
        return dbg_dap_take_output(s);
    }
    // One request, numbered after the last.
    int seq = 1;
    std::string ask(const std::string &command, const std::string &arguments);
};

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string request(int seq, const std::string &command, const std::string &arguments) {
    return R"({"seq":)" + std::to_string(seq) + R"(,"type":"request","command":")" + command +
           R"(","arguments":)" + arguments + "}";
}

std::string session_t::ask(const std::string &command, const std::string &arguments) {
    return feed(request(seq++, command, arguments));
}

} // namespace

TEST(Dap, BadMessagesAreAnsweredAndTheSessionGoesOn) {
    session_t session;
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    // The message, its arguments and 62 arrays nest 64 deep, at the bound: read (then the missing
    // expression is the error); one more is refused. Brackets in a string do not count.
    const std::string at_bound = std::string(62, '[') + std::string(62, ']');
    std::string many = R"({"name":"main"})";
    for (int i = 1; i < 4097; ++i)
        many += R"(,{"name":"main"})";
    struct bad_t {
        std::string body;
        int seq; // the request_seq of the answer
        std::string error;
    };
    const std::vector<bad_t> cases = {
        {"{not json", 0, "not valid JSON"},
        {"[1,2]", 0, "not a JSON object"},
        {R"({"seq":"1","type":"request","command":"initialize"})", 0, "seq must be a whole number"},
        {R"({"seq":null,"type":"request","command":"initialize"})", 0,
         "seq must be a whole number"},
        {R"({"seq":1.5,"type":"request","command":"initialize"})", 0, "seq must be a whole number"},
        {R"({"type":"request","command":"initialize"})", 0, "seq is missing"},
        {R"({"seq":-4,"type":"request","command":"initialize"})", 0, "seq is out of range"},
        {R"({"seq":7,"type":5,"command":"initialize"})", 7, "type must be a string"},
        {R"({"seq":7,"command":"initialize"})", 7, "type is missing"},
        {R"({"seq":8,"type":"request","command":5})", 8, "command must be a string"},
        {R"({"seq":8,"type":"request"})", 8, "command is missing"},
        {request(9, "launch", "[]"), 9, "arguments must be an object"},
        {request(10, "frobnicate", "{}"), 10, "unknown request frobnicate"},
        {request(11, "launch", R"({"program":7})"), 11, "arguments.program must be a string"},
        {request(12, "launch", R"({"program":"p.hex","sourceDirs":["a",1]})"), 12,
         "arguments.sourceDirs[1] must be a string"},
        {request(13, "launch", R"({"program":"p.hex","stopOnEntry":"yes"})"), 13,
         "arguments.stopOnEntry must be true or false"},
        {request(14, "launch", R"({"program":"/nonexistent.hex"})"), 14, "nonexistent.hex"},
        {request(15, "setBreakpoints", R"({"source":5})"), 15,
         "arguments.source must be an object"},
        {request(16, "setBreakpoints", R"({"source":{"path":"a.c"},"breakpoints":{}})"), 16,
         "arguments.breakpoints must be an array"},
        {request(17, "setBreakpoints", R"({"source":{"path":"a.c"},"breakpoints":[{"line":"3"}]})"),
         17, "arguments.breakpoints[0].line must be a whole number"},
        {request(18, "setBreakpoints", R"({"source":{"path":"a.c"},"breakpoints":[3]})"), 18,
         "arguments.breakpoints[0] must be an object"},
        {request(37, "setFunctionBreakpoints", R"({"breakpoints":[)" + many + "]}"), 37,
         "arguments.breakpoints has more than 4096 entries"},
        {request(19, "setFunctionBreakpoints", R"({"breakpoints":[{"condition":"a"}]})"), 19,
         "arguments.breakpoints[0].name is missing"},
        {request(20, "setDataBreakpoints",
                 R"({"breakpoints":[{"dataId":"8000:1","accessType":"exec"}]})"),
         20, "accessType must be read, write or readWrite"},
        {request(21, "setExceptionBreakpoints", R"({"filters":"halt"})"), 21,
         "arguments.filters must be an array of strings"},
        {request(22, "scopes", R"({"frameId":2147483647})"), 22,
         "arguments.frameId is out of range (1 to 32)"},
        {request(23, "variables", R"({"variablesReference":18446744073709551615})"), 23,
         "arguments.variablesReference is out of range"},
        {request(24, "variables", R"({"variablesReference":999})"), 24,
         "no such variable reference"},
        {request(25, "variables", "{}"), 25, "arguments.variablesReference is missing"},
        {request(
             26, "disassemble",
             R"({"memoryReference":"0x8000","instructionOffset":2147483647,"instructionCount":1})"),
         26, "arguments.instructionOffset is out of range (-4096 to 4096)"},
        {request(27, "disassemble", R"({"memoryReference":"0x8000","instructionCount":100000})"),
         27, "arguments.instructionCount is out of range (0 to 4096)"},
        {request(28, "readMemory", R"({"memoryReference":"0x8000","count":-1})"), 28,
         "arguments.count is out of range"},
        {request(29, "readMemory", R"({"memoryReference":8000,"count":1})"), 29,
         "arguments.memoryReference must be a string"},
        {request(30, "evaluate", R"({"frameId":1})"), 30, "arguments.expression is missing"},
        {request(31, "stepIn", R"({"granularity":3})"), 31,
         "arguments.granularity must be a string"},
        {request(32, "setVariable", R"({"variablesReference":3,"name":"a","value":5})"), 32,
         "arguments.value must be a string"},
        {request(33, "evaluate", R"({"expression":1,"x":)" + deep + "}"), 0,
         "deeper than 64 levels"},
        {request(34, "evaluate", R"({"x":)" + at_bound + "}"), 34,
         "arguments.expression is missing"},
        {request(35, "evaluate", R"({"x":[)" + at_bound + "]}"), 0, "deeper than 64 levels"},
        {request(36, "evaluate", R"({"expression":")" + std::string(100, '[') + R"("})"), 36,
         "unexpected '['"},
    };
    int good = 1000;
    for (const bad_t &c : cases) {
        const std::string out = session.feed(c.body);
        const std::string what = c.body.substr(0, 80);
        EXPECT_EQ(1u, count(out, "\"success\":false")) << what << "\n" << out;
        EXPECT_NE(std::string::npos, out.find("\"request_seq\":" + std::to_string(c.seq) + ","))
            << what << "\n"
            << out;
        EXPECT_NE(std::string::npos, out.find(c.error)) << what << "\n" << out;
        // The next good request is answered.
        const std::string next = session.feed(R"({"seq":)" + std::to_string(++good) +
                                              R"(,"type":"request","command":"threads"})");
        EXPECT_NE(std::string::npos, next.find("\"request_seq\":" + std::to_string(good) + ","))
            << next;
        EXPECT_NE(std::string::npos, next.find("\"success\":true")) << next;
    }
    // A message that is not a request is noted and passed over, with no response.
    const std::string out = session.feed(R"({"seq":3,"type":"event","event":"x"})");
    EXPECT_EQ(std::string::npos, out.find("\"type\":\"response\"")) << out;
    EXPECT_NE(std::string::npos, out.find("passed over a message of type")) << out;
    // A broken stream ends the session after one last message to the client.
    const std::string huge = "Content-Length: 99999999999\r\n\r\n";
    EXPECT_FALSE(dbg_dap_feed(session.s, huge.data(), huge.size()));
    EXPECT_NE(std::string::npos, dbg_dap_take_output(session.s).find("above the limit"));
}

TEST(Dap, NumbersAtTheirBoundsAreServed) {
    session_t session;
    // The most instructions there are, the furthest skip.
    std::string out = session.feed(request(
        1, "disassemble",
        R"({"memoryReference":"0x8000","instructionOffset":-4096,"instructionCount":4096})"));
    EXPECT_EQ(4096u, count(out, "\"instructionBytes\"")) << out.substr(0, 200);
    out = session.feed(request(
        2, "disassemble",
        R"({"memoryReference":"0x8000","offset":65536,"instructionOffset":4096,"instructionCount":1})"));
    EXPECT_EQ(1u, count(out, "\"instructionBytes\"")) << out;
    // Memory is read up to FFFF; the rest of the count is unreadable.
    out = session.feed(
        request(3, "readMemory", R"({"memoryReference":"0xFF00","offset":-1,"count":65536})"));
    EXPECT_NE(std::string::npos, out.find("\"address\":\"0xFEFF\"")) << out.substr(0, 200);
    EXPECT_NE(std::string::npos, out.find("\"unreadableBytes\":65279")) << out.substr(0, 200);
    // The last frame's scopes, and its registers.
    out = session.feed(request(4, "scopes", R"({"frameId":32})"));
    EXPECT_NE(std::string::npos, out.find("\"variablesReference\":" + std::to_string(31 * 4 + 3)))
        << out;
    out = session.feed(request(5, "variables", R"({"variablesReference":127})"));
    EXPECT_NE(std::string::npos, out.find("\"name\":\"pc\"")) << out;
    EXPECT_EQ(0u, count(out, "\"success\":false")) << out;
}

// A variable of a big array shows a bounded part over DAP as everywhere: its first elements and
// "..."; a .cdb type larger than the memory is refused.
TEST(Dap, BigArraysShowABoundedPart) {
    const std::string path = testing::TempDir() + "dap-big.cdb";
    std::ofstream(path) << "M:big\nS:G$row$0_0$0({2000}DA1000d,SI:S),E,0,0\n"
                           "S:G$grid$0_0$0({0}DA256d,DA256d,DA256d,DA256d,SC:U),E,0,0\n"
                           "L:G$row$0_0$0:9000\nL:G$grid$0_0$0:9000\n";
    session_t session;
    auto request = [&](const std::string &command, const std::string &arguments) {
        return session.ask(command, arguments);
    };
    std::string out =
        request("evaluate", R"({"context":"repl","expression":">symbols )" + path + "\"}");
    ASSERT_NE(std::string::npos, out.find("\"success\":true")) << out;
    out = request("evaluate", R"({"context":"watch","expression":"grid"})");
    EXPECT_NE(std::string::npos, out.find("unknown name grid")) << out;
    out = request("evaluate", R"({"context":"watch","expression":"row"})");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(out, found, std::regex(R"("variablesReference":([1-9][0-9]*))")))
        << out;
    // The array's reference, and the pages a client asks for by its indexedVariables.
    const std::string row = found[1].str();
    EXPECT_NE(std::string::npos, out.find(R"("indexedVariables":1000)")) << out;
    out = request("variables", R"({"variablesReference":)" + row + "}");
    const std::regex name(R"re("name":"([^"]*)")re");
    std::vector<std::string> names;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), name); it != std::sregex_iterator();
         ++it)
        names.push_back((*it)[1].str());
    ASSERT_EQ(DBG_VALUE_MAX_ELEMENTS + 1, names.size()) << out.substr(0, 400);
    EXPECT_EQ("[0]", names.front());
    EXPECT_EQ("...", names.back());
    // A page past what the value shows.
    dbg_poke(dbg_engine(), 0x9000 + 2 * 999, 0xFE);
    dbg_poke(dbg_engine(), 0x9000 + 2 * 999 + 1, 0xFF);
    out = request("variables", R"({"variablesReference":)" + row + R"(,"start":998,"count":5})");
    names.clear();
    for (auto it = std::sregex_iterator(out.begin(), out.end(), name); it != std::sregex_iterator();
         ++it)
        names.push_back((*it)[1].str());
    EXPECT_EQ((std::vector<std::string>{"[998]", "[999]"}), names) << out;
    EXPECT_NE(std::string::npos, out.find(R"("value":"-2 ($FFFE)")) << out;
}

// Values typed in the editor are C: setVariable stores the decimal text at the variable's width
// and answers with the value read back, for each C type and for a struct's fields; the command
// language's set var (run from the debug console after ">") does the same; the console
// evaluates an expression typed bare.
TEST(Dap, ValuesTypedAsCRoundTripForEveryType) {
    const std::string path = testing::TempDir() + "dap-types.cdb";
    std::ofstream(path)
        << "M:types\n"
           "T:Ftypes$rec[({0}S:S$c$0_0$0({1}SC:U),Z,0,0)({1}S:S$s$0_0$0({1}SC:S),Z,0,0)"
           "({2}S:S$n$0_0$0({2}SI:S),Z,0,0)]\n"
           "S:G$g_uchar$0_0$0({1}SC:U),E,0,0\nS:G$g_schar$0_0$0({1}SC:S),E,0,0\n"
           "S:G$g_int$0_0$0({2}SI:S),E,0,0\nS:G$g_uint$0_0$0({2}SI:U),E,0,0\n"
           "S:G$g_short$0_0$0({2}SS:S),E,0,0\nS:G$g_long$0_0$0({4}SL:S),E,0,0\n"
           "S:G$g_ulong$0_0$0({4}SL:U),E,0,0\nS:G$g_ptr$0_0$0({2}DG,SC:U),E,0,0\n"
           "S:G$g_rec$0_0$0({4}STrec:S),E,0,0\n"
           "L:G$g_uchar$0_0$0:9000\nL:G$g_schar$0_0$0:9001\nL:G$g_int$0_0$0:9002\n"
           "L:G$g_uint$0_0$0:9004\nL:G$g_short$0_0$0:9006\nL:G$g_long$0_0$0:9008\n"
           "L:G$g_ulong$0_0$0:900C\nL:G$g_ptr$0_0$0:9010\nL:G$g_rec$0_0$0:9012\n";
    session_t session;
    auto request = [&](const std::string &command, const std::string &arguments) {
        return session.ask(command, arguments);
    };
    auto field = [](const std::string &out, const std::string &name) {
        std::smatch found;
        return std::regex_search(out, found, std::regex("\"" + name + "\":\"([^\"]*)\""))
                   ? found[1].str()
                   : "<no " + name + " in " + out + ">";
    };
    auto evaluate = [&](const std::string &expression, const std::string &context = "watch") {
        return field(request("evaluate", R"({"context":")" + context + R"(","expression":")" +
                                             expression + "\"}"),
                     "result");
    };
    ASSERT_NE(
        std::string::npos,
        request("evaluate", R"({"context":"repl","expression":"-exec symbols )" + path + "\"}")
            .find("\"success\":true"));
    // Each variable set from the Globals scope (reference 2), then read back; then set again by
    // the command language's set var (from the console, after ">"), and read back.
    const std::vector<std::tuple<std::string, std::string, std::string>> typed = {
        {"g_uchar", "200", "7"},
        {"g_schar", "-20", "-128"},
        {"g_int", "-1000", "32767"},
        {"g_uint", "1000", "65535"},
        {"g_short", "-300", "-32768"},
        {"g_long", "-100000", "2147483647"},
        {"g_ulong", "3000000000", "70000"},
        {"g_ptr", "36864", "36880"}};
    for (const auto &[name, value, again] : typed) {
        const std::string out = request("setVariable", R"({"variablesReference":2,"name":")" +
                                                           name + R"(","value":")" + value + "\"}");
        const std::string now = evaluate(name);
        EXPECT_EQ(field(out, "value"), now) << name;
        if (name == "g_ptr")
            EXPECT_EQ(0u, now.find("$9000 ")) << now;
        else
            EXPECT_EQ(0u, now.find(value + " (")) << name << ": " << now;
        const std::string set = request("evaluate", R"({"context":"repl","expression":">set var )" +
                                                        name + " " + again + "\"}");
        EXPECT_NE(std::string::npos, set.find("\"success\":true")) << set;
        const std::string later = evaluate(name);
        if (name == "g_ptr")
            EXPECT_EQ(0u, later.find("$9010 ")) << later;
        else
            EXPECT_EQ(0u, later.find(again + " (")) << name << ": " << later;
    }
    // A struct's fields through the struct's own reference, as an editor sets them (a set
    // invalidates the references: the editor asks again).
    for (const auto &[name, value, shown] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"c", "42", "42 '*' ($2A)"},
             {"s", "-20", "-20 ($EC)"},
             {"n", "1000", "1000 ($03E8)"}}) {
        std::smatch found;
        const std::string rec = request("evaluate", R"({"context":"watch","expression":"g_rec"})");
        ASSERT_TRUE(
            std::regex_search(rec, found, std::regex(R"("variablesReference":([1-9][0-9]*))")))
            << rec;
        const std::string out =
            request("setVariable", R"({"variablesReference":)" + found[1].str() + R"(,"name":")" +
                                       name + R"(","value":")" + value + "\"}");
        EXPECT_EQ(shown, field(out, "value")) << out;
        EXPECT_EQ(shown, evaluate("g_rec." + name));
    }
    EXPECT_EQ(0x2A, dbg_peek(dbg_engine(), 0x9012));
    // What does not fit is refused, and nothing is stored.
    std::string out =
        request("setVariable", R"({"variablesReference":2,"name":"g_schar","value":"300"})");
    EXPECT_NE(std::string::npos, out.find("does not fit")) << out;
    EXPECT_EQ(0u, evaluate("g_schar").find("-128 ("));
    // A C expression as the value; the console evaluates bare expressions.
    request("evaluate", R"({"context":"repl","expression":"-exec set var g_long -5 * 1000L"})");
    EXPECT_EQ(0u, evaluate("g_long", "repl").find("-5000 ("));
    EXPECT_EQ("132 ($0084)", evaluate("g_uint / 500 + sizeof(char)", "repl"));
    out = request("evaluate", R"({"context":"repl","expression":"regs"})");
    EXPECT_NE(std::string::npos, out.find("starts with > or -exec: >regs")) << out;
}

// A pause with nothing running is answered with a stop where the machine stands, so that a
// client waiting for one never waits for ever.
TEST(Dap, PauseWithNothingRunningStops) {
    session_t session;
    session.feed(request(1, "initialize", "{}"));
    const std::string out = session.feed(request(2, "pause", R"({"threadId":1})"));
    EXPECT_NE(std::string::npos, out.find(R"("command":"pause")")) << out;
    EXPECT_NE(std::string::npos, out.find(R"("event":"stopped")")) << out;
    EXPECT_NE(std::string::npos, out.find(R"("reason":"pause")")) << out;
}

// The Registers scope lists the rows of the register view model (the pane's), in its order, with
// the values set in the processor; a value written there follows the command language's order
// of names (a register's name is the register).
TEST(Dap, RegistersScopeShowsTheViewModelRows) {
    session_t session;
    z_cpu_t &cpu = emu_state.cpu;
    cpu.BC = 0x1234, cpu.DE_ = 0xBEEF, cpu.I = 0x3F, cpu.im = 2, cpu.C = 0x45;
    cpu.F = Z_FLAG;
    const std::string out = session.feed(request(1, "variables", R"({"variablesReference":3})"));
    const std::regex row(R"re("name":"([^"]*)","value":"([^"]*)")re");
    std::vector<std::string> names;
    std::map<std::string, std::string> values;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), row); it != std::sregex_iterator();
         ++it) {
        names.push_back((*it)[1]);
        values[(*it)[1]] = (*it)[2];
    }
    std::vector<std::string> model;
    for (const dbg_register_row_t &r : dbg_register_rows(cpu))
        model.push_back(r.name);
    model.push_back("ticks");
    EXPECT_EQ(model, names) << out;
    EXPECT_EQ("$1245", values["bc"]);
    EXPECT_EQ("$BEEF", values["de_"]);
    EXPECT_EQ("$3F", values["i"]);
    EXPECT_EQ("2", values["im"]);
    EXPECT_EQ("1", values["fz"]);
    EXPECT_EQ("0", values["fc"]);

    std::string set = session.feed(
        request(2, "setVariable", R"({"variablesReference":3,"name":"hl","value":"c"})"));
    EXPECT_NE(std::string::npos, set.find("\"success\":true")) << set;
    EXPECT_EQ(0x45, cpu.HL);
    set = session.feed(
        request(3, "setVariable", R"({"variablesReference":3,"name":"hl","value":"12"})"));
    EXPECT_EQ(12, cpu.HL);
}

// restart loads the rebuilt program with its debug information: a line breakpoint moves with its
// line (a `changed` event with the new line), one on a function that is gone is `removed`, and
// the run stops at the moved one.
TEST(Dap, RestartMovesBreakpointsToTheRebuiltProgramsLines) {
    const std::string dir = testing::TempDir() + "dap_restart";
    std::filesystem::create_directories(dir);
    if (!reload_build_c(dir, reload_first_build)) GTEST_SKIP() << "no SDCC to build the C program";
    session_t session;
    session.feed(request(1, "initialize", "{}"));
    std::string out =
        session.feed(request(2, "launch", R"({"program":")" + dir + R"(/shifted.ihx","rom":""})"));
    ASSERT_NE(std::string::npos, out.find("\"success\":true")) << out;
    out = session.feed(
        request(3, "setBreakpoints",
                R"({"source":{"path":")" + dir + R"(/shifted.c"},"breakpoints":[{"line":8}]})"));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(out, found, std::regex(R"re("id":([0-9]+))re"))) << out;
    const std::string line_id = found[1];
    out = session.feed(
        request(4, "setFunctionBreakpoints", R"({"breakpoints":[{"name":"helper"}]})"));
    ASSERT_TRUE(std::regex_search(out, found, std::regex(R"re("id":([0-9]+))re"))) << out;
    const std::string helper_id = found[1];
    session.feed(request(5, "configurationDone", "{}"));

    ASSERT_TRUE(reload_build_c(dir, reload_second_build));
    out = session.feed(request(6, "restart", "{}"));
    EXPECT_NE(std::string::npos, out.find(R"("command":"restart","request_seq":6,"seq")")) << out;
    EXPECT_EQ(std::string::npos, out.find(R"("success":false)")) << out;
    EXPECT_TRUE(
        std::regex_search(out, std::regex(R"re("breakpoint":\{"id":)re" + line_id +
                                          R"re(,[^\n]*"line":13,[^\n]*"reason":"changed")re")))
        << out;
    EXPECT_NE(std::string::npos, out.find(R"({"breakpoint":{"id":)" + helper_id +
                                          R"(,"verified":false},"reason":"removed"})"))
        << out;
    dbg_dap_run_slice(session.s, 10000000);
    out = dbg_dap_take_output(session.s);
    EXPECT_NE(std::string::npos, out.find(R"("reason":"breakpoint")")) << out;
    out = session.feed(request(7, "stackTrace", R"({"threadId":1})"));
    EXPECT_NE(std::string::npos, out.find("\"line\":13")) << out;
    std::filesystem::remove_all(dir);
}
