// The command language: parsing and the engine calls behind each command.
#include "debug/commands.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/commands_machine.h"
#include "debug/engine.h"
#include "debug/engine_internal.h"
#include "machine/emu.h"

namespace {

const char help_text[] =
    "Commands (numbers are hexadecimal; an address may be a symbol or one of the registers\n"
    "pc, sp, hl, ix, iy, each with an optional +offset or -offset):\n"
    "  break [ADDR [SKIP]]       breakpoint at ADDR, ignoring its first SKIP hits; alone: list\n"
    "  delete [N]                delete breakpoint or watchpoint N (decimal, as listed), or all\n"
    "  watch read|write ADDR [LEN]  stop on a memory read or write in ADDR..ADDR+LEN-1\n"
    "  watch in|out PORT         stop on a read or write of a port (low 8 bits)\n"
    "  continue                  run until a stop\n"
    "  pause                     stop the running machine\n"
    "  step [N]                  run N instructions (default 1)\n"
    "  next                      step over a CALL, RST, DJNZ or repeating block instruction\n"
    "  finish                    run until a return leaves the current routine\n"
    "  until ADDR                run until PC reaches ADDR\n"
    "  regs                      registers as one JSON object\n"
    "  set REG VALUE             a register or pair (a ... iy, af' or af_, sp, pc, i, r),\n"
    "                            a flag (fs fz fh fp fn fc; s z p n), im, iff1 or iff2\n"
    "  mem ADDR [LEN]            memory as hex and characters (default 40 bytes)\n"
    "  poke ADDR BYTE...         store bytes from ADDR on\n"
    "  disasm [ADDR [N]]         N instructions from ADDR (default: 10 from PC)\n"
    "  symbols FILE              load a pasmo .sym, SDCC .noi or .map file\n"
    "  type TEXT                 type TEXT on the keyboard (\\n Enter, \\t Tab, \\b Backspace)\n"
    "  load FILE                 load an Intel HEX image\n"
    "  save FILE ADDR LEN        save memory as Intel HEX (raw when FILE ends in .bin)\n"
    "  reset                     reset the processor, sound generator and keyboard\n"
    "  screenshot FILE.png       the 320 x 240 frame as PNG\n"
    "  trace FILE|off            write a line per instruction to FILE\n"
    "  state save|load FILE      save the whole machine to FILE, or continue from one\n"
    "  press KEY, release KEY    a key down or up (A, 1, ENTER, SPACE, SHIFT, CTRL, ...)\n"
    "  hold KEY MS               hold a key for MS board milliseconds (decimal) while running\n"
    "  wait MS                   run MS board milliseconds (decimal)\n"
    "  cells                     the screen: each cell's character and colour byte\n"
    "  back [N]                  N instructions back in time (decimal, default 1)\n"
    "  rcontinue                 back to the previous breakpoint or watchpoint stop\n"
    "  history [SECONDS]         the history kept for going back; SECONDS sets it (0: off)\n"
    "  quit                      end\n"
    "  help                      this list\n";

struct usage_t {
    const char *name;
    const char *usage;
};
const usage_t usages[] = {
    {"break", "break [ADDR [SKIP]]"},
    {"delete", "delete [N]"},
    {"watch", "watch read|write ADDR [LEN] | watch in|out PORT"},
    {"continue", "continue"},
    {"pause", "pause"},
    {"step", "step [N]"},
    {"next", "next"},
    {"finish", "finish"},
    {"until", "until ADDR"},
    {"regs", "regs"},
    {"set", "set REG VALUE"},
    {"mem", "mem ADDR [LEN]"},
    {"poke", "poke ADDR BYTE..."},
    {"disasm", "disasm [ADDR [N]]"},
    {"symbols", "symbols FILE"},
    {"type", "type TEXT"},
    {"load", "load FILE"},
    {"save", "save FILE ADDR LEN"},
    {"reset", "reset"},
    {"screenshot", "screenshot FILE.png"},
    {"trace", "trace FILE|off"},
    {"quit", "quit"},
    {"help", "help"},
};

dbg_result_t fail(const std::string &text) {
    return {text + "\n", true, false, false};
}

dbg_result_t ok(const std::string &text = "") {
    return {text.empty() || text.back() == '\n' ? text : text + "\n", false, false, false};
}

dbg_result_t usage(const std::string &command) {
    for (const usage_t &u : usages)
        if (command == u.name) return fail(std::string("Usage: ") + u.usage);
    return fail("Unknown command: " + command + " (help lists the commands)");
}

// An address written as a register that no hex number can be mistaken for (pc, sp, hl, ix, iy;
// any case), with an optional +/- hexadecimal offset: "mem sp", "disasm pc-4".
bool register_address(dbg_engine_t *e, const std::string &text, uint16_t *address) {
    const size_t sign = text.find_first_of("+-");
    std::string name = text.substr(0, sign);
    for (char &c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    uint32_t offset = 0;
    if (sign != std::string::npos && !dbg_parse_hex(text.substr(sign + 1), 0xFFFF, &offset))
        return false;
    const z_cpu_t c = dbg_registers(e);
    uint16_t value;
    if (name == "pc")
        value = c.PC;
    else if (name == "sp")
        value = c.SP;
    else if (name == "hl")
        value = c.HL;
    else if (name == "ix")
        value = c.IX;
    else if (name == "iy")
        value = c.IY;
    else
        return false;
    *address = static_cast<uint16_t>(
        text[sign == std::string::npos ? 0 : sign] == '-' ? value - offset : value + offset);
    return true;
}

dbg_result_t run_result(const dbg_stop_t &stop) {
    if (stop.cause == DBG_CAUSE_NONE) return ok();
    dbg_result_t r = ok(stop.text);
    r.stopped = true;
    return r;
}

std::string memory_lines(dbg_engine_t *e, uint16_t address, uint32_t length) {
    std::string out;
    for (uint32_t at = 0; at < length; at += 16) {
        const uint16_t line = static_cast<uint16_t>(address + at);
        std::string hex, text;
        for (uint32_t i = 0; i < 16 && at + i < length; ++i) {
            const uint8_t v = dbg_peek(e, static_cast<uint16_t>(line + i));
            hex += dbg_hex2(v) + " ";
            text += (v >= 0x20 && v < 0x7F) ? static_cast<char>(v) : '.';
        }
        hex.resize(48, ' ');
        out += dbg_hex4(line) + "  " + hex + " " + text + "\n";
    }
    return out;
}

std::string disasm_lines(dbg_engine_t *e, uint16_t address, uint32_t count) {
    std::string out;
    // Copies: the processor thread may be running.
    const uint16_t pc = dbg_registers(e).PC;
    const std::vector<uint8_t> memory = dbg_memory(e);
    for (uint32_t n = 0; n < count; ++n) {
        const std::string label = dbg_symbol_at(&e->symbols, address);
        if (!label.empty()) out += label + ":\n";
        const dbg_instruction_t in = dbg_disassemble(memory.data(), address, &e->symbols);
        std::string bytes = dbg_instruction_bytes(in);
        bytes.resize(12, ' ');
        out += (address == pc ? "> " : "  ") + dbg_hex4(address) + "  " + bytes + in.text + "\n";
        address = static_cast<uint16_t>(address + in.length);
    }
    return out;
}

std::string breakpoint_list(dbg_engine_t *e) {
    std::string out;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(e)) {
        out += "Breakpoint " + std::to_string(b.id) + " at " + dbg_hex4(b.address);
        const std::string name = dbg_symbol_near(&e->symbols, b.address);
        if (!name.empty()) out += " (" + name + ")";
        out += ", " + std::to_string(b.hits) + " hits";
        if (b.skip) out += ", skipping " + std::to_string(b.skip) + " more";
        out += "\n";
    }
    static const char *const kinds[] = {"read", "write", "in", "out"};
    for (const dbg_watchpoint_t &w : dbg_watchpoint_list(e)) {
        out += "Watchpoint " + std::to_string(w.id) + ": " + kinds[w.kind] + " " +
               (w.kind >= DBG_WATCH_IN ? dbg_hex2(w.address) : dbg_hex4(w.address));
        if (w.length > 1) out += " length " + dbg_hex4(w.length);
        out += ", " + std::to_string(w.hits) + " hits\n";
    }
    return out.empty() ? "No breakpoints or watchpoints\n" : out;
}

} // namespace

std::string dbg_unescape(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'b' ? '\b' : c;
    }
    return out;
}

dbg_result_t dbg_execute(dbg_engine_t *e, const std::string &line) {
    std::istringstream in(line);
    std::string command;
    if (!(in >> command) || command[0] == '#') return ok();
    for (char &c : command)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::string> args;
    for (std::string word; in >> word;)
        args.push_back(word);
    const size_t n = args.size();
    auto address = [e](const std::string &text, uint16_t *value) {
        return dbg_parse_address(&e->symbols, text, value) || register_address(e, text, value);
    };
    auto bad_address = [](const std::string &text) {
        return fail("Bad address: " + text +
                    " (a hexadecimal number, a known symbol, or pc, sp, hl, ix, iy)");
    };
    auto bad_number = [](const std::string &text) { return fail("Bad hex number: " + text); };

    if (command == "break" || command == "b") {
        if (n == 0) return ok(breakpoint_list(e));
        if (n > 2) return usage("break");
        uint16_t at;
        uint32_t skip = 0;
        if (!address(args[0], &at)) return bad_address(args[0]);
        if (n == 2 && !dbg_parse_hex(args[1], 0xFFFFFFFF, &skip)) return bad_number(args[1]);
        const int id = dbg_break_add(e, at, skip);
        return ok("Breakpoint " + std::to_string(id) + " at " + dbg_hex4(at));
    }
    if (command == "delete") {
        if (n > 1) return usage("delete");
        if (n == 0) {
            dbg_delete_all(e);
            return ok();
        }
        // Numbered as listed, in decimal (not a hexadecimal number like the others).
        int id = 0;
        bool digits = args[0].size() <= 6;
        for (char c : args[0]) {
            digits = digits && std::isdigit(static_cast<unsigned char>(c));
            id = id * 10 + (c & 0x0F);
        }
        if (!digits || id == 0) return fail("Bad breakpoint number: " + args[0]);
        if (!dbg_delete(e, id)) return fail("No breakpoint or watchpoint " + args[0]);
        return ok();
    }
    if (command == "watch") {
        if (n < 2 || n > 3) return usage("watch");
        const std::string kind = args[0];
        if (kind == "in" || kind == "out") {
            uint32_t port;
            if (n != 2) return usage("watch");
            if (!dbg_parse_hex(args[1], 0xFF, &port)) return fail("Bad port: " + args[1]);
            const int id = dbg_watch_add(e, kind == "in" ? DBG_WATCH_IN : DBG_WATCH_OUT,
                                         static_cast<uint16_t>(port), 1);
            return ok("Watchpoint " + std::to_string(id) + ": " + kind + " " + dbg_hex2(port));
        }
        if (kind != "read" && kind != "write") return usage("watch");
        uint16_t at;
        uint32_t length = 1;
        if (!address(args[1], &at)) return bad_address(args[1]);
        if (n == 3 && (!dbg_parse_hex(args[2], 0x10000, &length) || length == 0))
            return fail("Bad length: " + args[2]);
        if (at + length > 0x10000) return fail("Range past FFFF");
        const int id =
            dbg_watch_add(e, kind == "read" ? DBG_WATCH_READ : DBG_WATCH_WRITE, at, length);
        return ok("Watchpoint " + std::to_string(id) + ": " + kind + " " + dbg_hex4(at));
    }
    if (command == "continue" || command == "c") {
        if (n) return usage("continue");
        return run_result(dbg_continue(e));
    }
    if (command == "pause") {
        if (n) return usage("pause");
        dbg_pause(e);
        return ok();
    }
    if (command == "step" || command == "s") {
        uint32_t count = 1;
        if (n > 1) return usage("step");
        if (n == 1 && (!dbg_parse_hex(args[0], 0xFFFFFFFF, &count) || count == 0))
            return bad_number(args[0]);
        return run_result(dbg_step(e, count));
    }
    if (command == "next" || command == "n") {
        if (n) return usage("next");
        return run_result(dbg_next(e));
    }
    if (command == "finish") {
        if (n) return usage("finish");
        return run_result(dbg_finish(e));
    }
    if (command == "until") {
        uint16_t at;
        if (n != 1) return usage("until");
        if (!address(args[0], &at)) return bad_address(args[0]);
        return run_result(dbg_until(e, at));
    }
    if (command == "regs") {
        if (n) return usage("regs");
        return ok(dbg_regs_json(e));
    }
    if (command == "set") {
        if (n != 2) return usage("set");
        uint32_t value;
        uint16_t as_address;
        // A value may be a symbol too (set pc main).
        if (dbg_parse_hex(args[1], 0xFFFF, &value))
            ;
        else if (address(args[1], &as_address))
            value = as_address;
        else
            return bad_number(args[1]);
        std::string error;
        if (!dbg_set_register(e, args[0], value, &error)) return fail(error);
        return ok();
    }
    if (command == "mem") {
        if (n < 1 || n > 2) return usage("mem");
        uint16_t at;
        uint32_t length = 0x40;
        if (!address(args[0], &at)) return bad_address(args[0]);
        if (n == 2 && (!dbg_parse_hex(args[1], 0x10000, &length) || length == 0))
            return fail("Bad length: " + args[1]);
        return ok(memory_lines(e, at, length));
    }
    if (command == "poke") {
        if (n < 2) return usage("poke");
        uint16_t at;
        if (!address(args[0], &at)) return bad_address(args[0]);
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i < n; ++i) {
            uint32_t v;
            if (!dbg_parse_hex(args[i], 0xFF, &v)) return fail("Bad byte: " + args[i]);
            bytes.push_back(static_cast<uint8_t>(v));
        }
        if (at + bytes.size() > 0x10000) return fail("Range past FFFF");
        for (size_t i = 0; i < bytes.size(); ++i)
            dbg_poke(e, static_cast<uint16_t>(at + i), bytes[i]);
        return ok();
    }
    if (command == "disasm" || command == "d") {
        if (n > 2) return usage("disasm");
        uint16_t at = dbg_registers(e).PC;
        uint32_t count = 0x10;
        if (n >= 1 && !address(args[0], &at)) return bad_address(args[0]);
        if (n == 2 && (!dbg_parse_hex(args[1], 0x1000, &count) || count == 0))
            return bad_number(args[1]);
        return ok(disasm_lines(e, at, count));
    }
    if (command == "symbols") {
        if (n != 1) return usage("symbols");
        std::string error;
        dbg_lock(e);
        const int added = dbg_symbols_load(&e->symbols, args[0], &error);
        dbg_unlock(e);
        if (added < 0) return fail(error);
        return ok(std::to_string(added) + " symbols from " + args[0]);
    }
    if (command == "type") {
        // The text is the rest of the line after the command word (in any case), as written.
        size_t start = line.find_first_of(" \t", line.find_first_not_of(" \t"));
        if (start != std::string::npos) start = line.find_first_not_of(" \t", start);
        if (start == std::string::npos) return usage("type");
        std::string error;
        if (!dbg_type(e, dbg_unescape(line.substr(start)), true, &error)) return fail(error);
        return ok();
    }
    if (command == "load") {
        if (n != 1) return usage("load");
        std::string error;
        if (!dbg_load_image(e, args[0], &error)) return fail(error);
        return ok();
    }
    if (command == "save") {
        if (n != 3) return usage("save");
        uint16_t at;
        uint32_t length;
        if (!address(args[1], &at)) return bad_address(args[1]);
        if (!dbg_parse_hex(args[2], 0x10000, &length)) return fail("Bad length: " + args[2]);
        std::string error;
        if (!dbg_save_memory(e, args[0], at, length, &error)) return fail(error);
        return ok();
    }
    if (command == "reset") {
        if (n) return usage("reset");
        dbg_reset(e);
        return ok();
    }
    if (command == "screenshot") {
        if (n != 1) return usage("screenshot");
        std::string error;
        if (!dbg_screenshot(e, args[0], &error)) return fail(error);
        return ok();
    }
    if (command == "trace") {
        if (n != 1) return usage("trace");
        std::string error;
        if (args[0] == "off") {
            dbg_lock(e);
            const bool closed = dbg_trace_close(e, &error);
            dbg_unlock(e);
            return closed ? ok() : fail(error);
        }
        if (!dbg_trace_open(e, args[0], &error)) return fail(error);
        return ok();
    }
    if (command == "state") return dbg_command_state(e, args);
    if (command == "press" || command == "release")
        return dbg_command_press(e, args, command == "press");
    if (command == "hold") return dbg_command_hold(e, args);
    if (command == "wait") return dbg_command_wait(e, args);
    if (command == "cells") return dbg_command_cells(e, args);
    if (command == "back") return dbg_command_back(e, args);
    if (command == "rcontinue" || command == "rc") return dbg_command_rcontinue(e, args);
    if (command == "history") return dbg_command_history(e, args);
    if (command == "quit" || command == "q") {
        if (n) return usage("quit");
        dbg_result_t r = ok();
        r.quit = true;
        return r;
    }
    if (command == "help" || command == "?") return ok(help_text);
    return fail("Unknown command: " + command + " (help lists the commands)");
}

int dbg_run_script(dbg_engine_t *e, FILE *in, const std::string &name, FILE *out, FILE *err,
                   bool *quit) {
    *quit = false;
    int errors = 0;
    std::string line;
    int number = 0;
    for (;;) {
        line.clear();
        int c;
        while ((c = std::fgetc(in)) != EOF && c != '\n')
            line += static_cast<char>(c);
        if (e->interrupted.load(std::memory_order_relaxed)) break;
        if (c == EOF && line.empty()) break;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const dbg_result_t r = dbg_execute(e, line);
        if (r.error) {
            ++errors;
            std::fprintf(err, "%s:%d: %s", name.c_str(), number, r.output.c_str());
        } else {
            std::fputs(r.output.c_str(), out);
        }
        std::fflush(out);
        if (r.quit) {
            *quit = true;
            break;
        }
        if (r.stopped && e->last_stop.cause == DBG_CAUSE_INVALID) break;
        if (e->interrupted.load(std::memory_order_relaxed)) break;
    }
    // A script that cannot be read (a directory, a read error) is an error, not an empty one.
    if (std::ferror(in) && !e->interrupted.load(std::memory_order_relaxed)) {
        ++errors;
        std::fprintf(err, "%s: %s\n", name.c_str(), std::strerror(errno ? errno : EIO));
    }
    return errors;
}
