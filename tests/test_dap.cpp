// The debug adapter's framing and its answers to malformed messages (the session end to end is
// tests/dap/session.test.js).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "debug/dap.h"
#include "debug/engine.h"
#include "debug/source.h"
#include "harness.h"

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

TEST(Dap, MalformedMessagesGetErrorsAndTheSessionGoesOn) {
    harness_init();
    dbg_dap_t *s = dbg_dap_new(dbg_engine(), "");
    auto feed = [&](const std::string &body) {
        EXPECT_TRUE(dbg_dap_feed(s, dbg_dap_frame(body).data(), dbg_dap_frame(body).size()));
        return dbg_dap_take_output(s);
    };
    std::string out = feed("{not json");
    EXPECT_NE(std::string::npos, out.find("\"success\":false")) << out;
    EXPECT_NE(std::string::npos, out.find("not valid JSON")) << out;
    out = feed(R"({"seq":2,"type":"request","command":"frobnicate"})");
    EXPECT_NE(std::string::npos, out.find("\"request_seq\":2")) << out;
    EXPECT_NE(std::string::npos, out.find("unknown request frobnicate")) << out;
    // A field of the wrong type is an error response, not an exception out of the server.
    out = feed(R"({"seq":3,"type":"request","command":"launch","arguments":{"program":7}})");
    EXPECT_NE(std::string::npos, out.find("\"success\":false")) << out;
    EXPECT_NE(std::string::npos, out.find("malformed request")) << out;
    out = feed(
        R"({"seq":4,"type":"request","command":"launch","arguments":{"program":"/nonexistent.hex"}})");
    EXPECT_NE(std::string::npos, out.find("\"success\":false")) << out;
    EXPECT_NE(std::string::npos, out.find("nonexistent.hex")) << out;
    // Still answering: initialize, then the initialized event.
    out = feed(R"({"seq":5,"type":"request","command":"initialize","arguments":{}})");
    EXPECT_NE(std::string::npos, out.find("\"supportsDataBreakpoints\":true")) << out;
    EXPECT_NE(std::string::npos, out.find("\"event\":\"initialized\"")) << out;
    // A broken stream ends the session after one last message to the client.
    const std::string huge = "Content-Length: 99999999999\r\n\r\n";
    EXPECT_FALSE(dbg_dap_feed(s, huge.data(), huge.size()));
    EXPECT_NE(std::string::npos, dbg_dap_take_output(s).find("above the limit"));
    dbg_dap_free(s);
}

// A variable of a big array shows a bounded part over DAP as everywhere: its first elements and
// "..."; a .cdb type larger than the memory is refused.
TEST(Dap, BigArraysShowABoundedPart) {
    harness_init();
    const std::string path = testing::TempDir() + "dap-big.cdb";
    std::ofstream(path) << "M:big\nS:G$row$0_0$0({2000}DA1000d,SI:S),E,0,0\n"
                           "S:G$grid$0_0$0({0}DA256d,DA256d,DA256d,DA256d,SC:U),E,0,0\n"
                           "L:G$row$0_0$0:9000\nL:G$grid$0_0$0:9000\n";
    dbg_dap_t *s = dbg_dap_new(dbg_engine(), "");
    int seq = 1;
    auto request = [&](const std::string &command, const std::string &arguments) {
        const std::string body = R"({"seq":)" + std::to_string(seq++) +
                                 R"(,"type":"request","command":")" + command +
                                 R"(","arguments":)" + arguments + "}";
        EXPECT_TRUE(dbg_dap_feed(s, dbg_dap_frame(body).data(), dbg_dap_frame(body).size()));
        return dbg_dap_take_output(s);
    };
    std::string out =
        request("evaluate", R"({"context":"repl","expression":"symbols )" + path + "\"}");
    ASSERT_NE(std::string::npos, out.find("\"success\":true")) << out;
    out = request("evaluate", R"({"context":"watch","expression":"grid"})");
    EXPECT_NE(std::string::npos, out.find("unknown name grid")) << out;
    out = request("evaluate", R"({"context":"watch","expression":"row"})");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(out, found, std::regex(R"("variablesReference":([1-9][0-9]*))")))
        << out;
    out = request("variables", R"({"variablesReference":)" + found[1].str() + "}");
    const std::regex name(R"re("name":"([^"]*)")re");
    std::vector<std::string> names;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), name); it != std::sregex_iterator();
         ++it)
        names.push_back((*it)[1].str());
    ASSERT_EQ(DBG_VALUE_MAX_ELEMENTS + 1, names.size()) << out.substr(0, 400);
    EXPECT_EQ("[0]", names.front());
    EXPECT_EQ("...", names.back());
    dbg_dap_free(s);
}
