// The audio stream on SDL2: opens, primes and closes the host's audio device; SDL's callback
// refills it from the ring of devices/sound.h.
#pragma once

#include <cstdint>

#include "devices/sound.h"

// Opens the device (paused) over a fresh ring fed by psg. Returns 0, or 1 with the host's text
// for the failure set as the last error.
int snd_initialize(snd_t *snd, ay_t *psg);
// Renders the four buffers and starts the device.
int snd_start(snd_t *snd);
void snd_callback(void *instance, uint8_t *stream, int length);
int snd_finalize(snd_t *snd);
