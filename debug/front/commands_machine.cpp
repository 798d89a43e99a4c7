// Save states, scripted keys and the screen's cells in the command language.
#include "debug/front/commands_machine.h"

#include <algorithm>

#include "debug/core/engine.h"
#include "debug/travel/history.h"
#include "debug/travel/state.h"

namespace {

// A stop other than reaching the planned tick is reported as the run commands report it.
dbg_result_t stopped(const dbg_stop_t &stop) {
    dbg_result_t r = dbg_done(stop.text + "\n");
    r.stopped = true;
    return r;
}

// Board milliseconds, in decimal (at most an hour), as T-states.
bool parse_ms(dbg_engine_t *e, const std::string &text, uint64_t *ticks) {
    if (text.empty() || text.size() > 7) return false;
    uint64_t ms = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        ms = ms * 10 + static_cast<uint64_t>(c - '0');
    }
    if (ms > 3600000) return false;
    *ticks = ms * dbg_clock_hz(e) / 1000;
    return true;
}

bool parse_key(const std::string &text, uint8_t *vk, dbg_result_t *error) {
    if (dbg_key_by_name(text, vk)) return true;
    *error = dbg_failed("Unknown key: " + text +
                        " (A-Z, 0-9, ` - = [ ] \\ ; ' , . /, ENTER, SPACE, SHIFT, CTRL, BACKSPACE, "
                        "TAB, CAPSLOCK)");
    return false;
}

// Headless: runs until the queued keys have all happened. Keys waiting for the keyboard to be set
// up get ten board seconds for it; a run that stops first (a breakpoint, the tick limit) reports
// its stop and leaves the rest queued.
dbg_result_t run_queued_keys(dbg_engine_t *e) {
    const uint64_t second = dbg_clock_hz(e);
    uint64_t waited = 0;
    while (dbg_typing_pending(e)) {
        const uint64_t before = dbg_ticks(e);
        const bool waiting = dbg_typing_waits(e);
        if (waiting && waited >= 10 * second)
            return dbg_failed("The keyboard is not set up for keys (port B of the PIO as inputs)");
        const uint64_t span =
            waiting ? second / 10 : std::max<uint64_t>(dbg_typing_end(e), before) - before;
        const dbg_stop_t stop = dbg_run_ticks(e, std::max<uint64_t>(span, 1));
        if (stop.cause != DBG_CAUSE_TICKS || dbg_ticks(e) < before + std::max<uint64_t>(span, 1))
            return stopped(stop);
        if (waiting) waited += span;
    }
    return dbg_done();
}

} // namespace

dbg_result_t dbg_command_state(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (args.size() != 2 || (args[0] != "save" && args[0] != "load"))
        return dbg_failed("Usage: state save FILE | state load FILE");
    std::string error;
    const bool good =
        args[0] == "save" ? dbg_state_save(e, args[1], &error) : dbg_state_load(e, args[1], &error);
    return good ? dbg_done() : dbg_failed(error);
}

dbg_result_t dbg_command_press(dbg_engine_t *e, const std::vector<std::string> &args, bool down) {
    if (args.size() != 1) return dbg_failed(down ? "Usage: press KEY" : "Usage: release KEY");
    uint8_t vk;
    dbg_result_t error;
    if (!parse_key(args[0], &vk, &error)) return error;
    dbg_key_after_queue(e, vk, down);
    return dbg_done();
}

dbg_result_t dbg_command_hold(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (args.size() != 2) return dbg_failed("Usage: hold KEY MS");
    uint8_t vk;
    uint64_t ticks;
    dbg_result_t error;
    if (!parse_key(args[0], &vk, &error)) return error;
    if (!parse_ms(e, args[1], &ticks) || ticks == 0)
        return dbg_failed("Bad milliseconds: " + args[1] + " (decimal, 1 to 3600000)");
    dbg_key_hold(e, vk, ticks);
    // The window's processor thread plays the queue as it runs.
    if (dbg_mode(e) == DBG_THREADED) return dbg_done();
    return run_queued_keys(e);
}

dbg_result_t dbg_command_wait(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (args.size() != 1) return dbg_failed("Usage: wait MS");
    uint64_t ticks;
    if (!parse_ms(e, args[0], &ticks))
        return dbg_failed("Bad milliseconds: " + args[0] + " (decimal, 0 to 3600000)");
    if (ticks == 0) return dbg_done();
    // In the window the keys queued after this wait start that much later.
    if (dbg_mode(e) == DBG_THREADED) {
        dbg_key_hold(e, 0, ticks);
        return dbg_done();
    }
    const uint64_t end = dbg_ticks(e) + ticks;
    const dbg_stop_t stop = dbg_run_ticks(e, ticks);
    if (stop.cause == DBG_CAUSE_TICKS && dbg_ticks(e) >= end) return dbg_done();
    return stopped(stop);
}

dbg_result_t dbg_command_cells(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (!args.empty()) return dbg_failed("Usage: cells");
    std::string out;
    for (const std::string &line : dbg_screen_cells(dbg_memory(e).data()))
        out += line + "\n";
    return dbg_done(out);
}

dbg_result_t dbg_command_back(dbg_engine_t *e, const std::vector<std::string> &args) {
    uint64_t count = 1;
    if (args.size() > 1) return dbg_failed("Usage: back [N]");
    if (args.size() == 1 && (!dbg_parse_decimal(args[0], 4000000000u, &count) || count == 0))
        return dbg_failed("Bad count: " + args[0] + " (decimal, 1 to 4000000000)");
    dbg_stop_t stop;
    std::string error;
    if (!dbg_back(e, count, &stop, &error)) return dbg_failed(error);
    return stopped(stop);
}

dbg_result_t dbg_command_rstep(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (!args.empty()) return dbg_failed("Usage: rstep");
    dbg_stop_t stop;
    std::string error;
    if (!dbg_back_by(e, DBG_GRAN_AUTO, &stop, &error)) return dbg_failed(error);
    return stopped(stop);
}

dbg_result_t dbg_command_rcontinue(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (!args.empty()) return dbg_failed("Usage: rcontinue");
    dbg_stop_t stop;
    std::string error;
    if (!dbg_rcontinue(e, &stop, &error)) return dbg_failed(error);
    return stopped(stop);
}

dbg_result_t dbg_command_history(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (args.size() > 1) return dbg_failed("Usage: history [SECONDS]");
    if (args.size() == 1) {
        uint64_t seconds;
        if (!dbg_parse_decimal(args[0], 3600, &seconds))
            return dbg_failed("Bad seconds: " + args[0] + " (decimal, 0 to 3600; 0 turns it off)");
        if (dbg_is_running(e)) return dbg_failed("The machine is running: pause it first");
        dbg_history_start(e, static_cast<uint32_t>(seconds));
    }
    return dbg_done(dbg_history_status(e) + "\n");
}
