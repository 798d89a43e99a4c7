// Live reload: a rebuilt program loaded again in place of the old one.
#pragma once

#include <string>
#include <vector>

struct dbg_engine_t;

// Reads every image first (an image that fails to read changes nothing), then stores them, loads
// the monitor's symbols and the symbols beside each image (NAME.sym, else NAME.noi; together in
// place of all symbols held), moves each
// breakpoint that stood at a label to that label's new address, resets the machine and queues
// the texts to type again once the keyboard is ready. False with a one-line reason.
bool dbg_reload(dbg_engine_t *e, const std::vector<std::string> &images,
                const std::vector<std::string> &type, std::string *error);
