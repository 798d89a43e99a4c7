// AY-3-8913 programmable sound generator: three square-wave tone channels and one noise source,
// each channel with a fixed 4-bit amplitude. The envelope generator is not modelled (R11-R13 are
// stored only), the amplitude's envelope bit is ignored and R14/R15 do not exist.
#pragma once

#include <cstdint>

#include "files/bytes.h"

struct ay_t {
    uint8_t regs[14];  // R0-R13 exactly as written
    uint8_t selected;  // register address latch, 0-15
    uint32_t clock_hz; // input clock
    uint32_t sample_rate_hz;
    uint16_t counter[4]; // period counters: tone A, B, C, noise
    uint8_t phase[3];    // tone output phase of A, B, C: 0 (+level) or 1 (-level)
    int16_t noise;       // random value latched at the last noise period
    int16_t out_tone[3];
    int16_t out_noise[3];
    // The noise's random source: an additive feedback generator of 31 words (x[n] = x[n-3] +
    // x[n-31], the high 31 bits returned), seeded with 1 as the C library's rand() is when never
    // seeded, so it gives the same sequence; here its whole state is part of the machine.
    int32_t random_words[31];
    uint8_t random_front; // index of x[n-3]
    uint8_t random_rear;  // index of x[n-31]
};

// 16 levels, each as the pair (+level, -level), indexed by 2 * level + phase.
extern const int16_t ay_volume_table[32];

void ay_init(ay_t *ay, uint32_t clock_hz, uint32_t sample_rate_hz);
void ay_reset(ay_t *ay);
uint32_t ay_ticks_per_sample(const ay_t *ay);
void ay_tick(ay_t *ay, uint16_t step, uint16_t random_value);
// Seeds the random source (ay_init seeds it with 1; ay_reset leaves it running).
void ay_random_seed(ay_t *ay, uint32_t seed);
// The next value of the random source, 0 to 0x7FFFFFFF.
int32_t ay_random(ay_t *ay);

// The generator's part of a save state, 166 bytes: R0-R13, the selected register, the four period
// counters (2 each), the three tone phases, the latched noise value (2), the tone and then the
// noise outputs of A, B, C (2 each), the 31 words of the random source (4 each) and its two
// positions. The clock and the sample rate are the board's and are not saved.
enum : uint32_t { AY_STATE_SIZE = 166 };

// Any thread: the fields are read as the audio thread may be ticking them.
void ay_state_write(const ay_t *ay, emu_byte_writer_t *w);
// False, with *ay unchanged, when the bytes run out or hold what the generator cannot be in (a
// register address above 15, a phase above 1, random positions not three words apart).
bool ay_state_read(ay_t *ay, emu_byte_reader_t *r);
// What a state holds of the generator, from one record to another (either may be live).
void ay_state_copy(ay_t *to, const ay_t *from);
