// Relaxed loads and stores of fields shared between threads without the lock (run flag, keyboard
// matrix, sound registers, video memory). They compile to plain moves on x86 and keep the program
// free of data races; written with the compiler's builtins so that they also build where the C++
// library has no std::atomic_ref (the browser edition's).
#pragma once

template <class T> static inline T emu_relaxed_load(const T &field) {
    return __atomic_load_n(&field, __ATOMIC_RELAXED);
}

template <class T, class V> static inline void emu_relaxed_store(T &field, V value) {
    __atomic_store_n(&field, static_cast<T>(value), __ATOMIC_RELAXED);
}
