// The processor's part of a save state: its registers as 30 bytes, the pairs little-endian.
//
//   AF BC DE HL AF' BC' DE' HL' IX IY SP PC (2 each), I, R, the T-states left of the
//   instruction in progress (cycles), IM, IFF1, IFF2 (1 each)
//
// The core includes nothing outside cpu/, so it fills and reads a fixed block that the caller
// places in its file. The callbacks and user_data are the host's and are never saved or restored.
#pragma once

#include <cstdint>

#include "cpu/zcpu.h"

enum : uint32_t { Z_STATE_SIZE = 30 };

void z_state_write(const z_cpu_t *cpu, uint8_t out[Z_STATE_SIZE]);
// Sets the registers from a block. False, with nothing changed, when it holds what no processor
// can be in: cycles beyond the longest instruction, IM above 2, IFF1 or IFF2 above 1.
bool z_state_read(z_cpu_t *cpu, const uint8_t in[Z_STATE_SIZE]);
// The registers that a state holds, from one record to another; the callbacks stay.
void z_state_copy(z_cpu_t *to, const z_cpu_t *from);
