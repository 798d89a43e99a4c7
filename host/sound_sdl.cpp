// The audio stream on SDL2: 16-bit signed mono at 44100 Hz in 512-sample (1024-byte) device
// buffers, pulled by SDL's callback from the ring of four rendered buffers.
#include <SDL.h>

#include "host/sound_sdl.h"
#include "machine/error.h"

int snd_initialize(snd_t *snd, ay_t *psg) {
    snd_ring_init(snd, psg);
    // SDL would take SIGINT and SIGTERM for an event queue nobody reads; the window layer
    // handles them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        emu_set_last_error_text(SDL_GetError(), 1);
        return 1;
    }
    SDL_AudioSpec want{};
    want.freq = SND_SAMPLE_RATE;
    want.format = AUDIO_S16SYS; // the ring hands out native-order 16-bit samples
    want.channels = 1;
    want.samples = SND_BUFFER_BYTES / 2;
    want.callback = snd_callback;
    want.userdata = snd;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        emu_set_last_error_text(SDL_GetError(), 1);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 1;
    }
    snd->device = device;
    return 0;
}

int snd_start(snd_t *snd) {
    snd_ring_prime(snd);
    if (snd->device) SDL_PauseAudioDevice(snd->device, 0);
    return 0;
}

void snd_callback(void *instance, uint8_t *stream, int length) {
    auto *snd = static_cast<snd_t *>(instance);
    snd_note_request(snd, snd_clock_ns(), length);
    snd_ring_fill(snd, stream, length);
}

int snd_finalize(snd_t *snd) {
    if (snd->device) {
        SDL_CloseAudioDevice(snd->device);
        snd->device = 0;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
}
