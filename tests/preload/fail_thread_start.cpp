// Preloaded into the real program by the end-to-end tests: the second std::thread the program
// starts fails with EAGAIN, as when the system is out of threads. Other threads (Qt's, SDL's)
// start as usual.
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>

namespace {
using create_fn = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
int std_threads_started = 0;
} // namespace

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attributes,
                              void *(*routine)(void *), void *argument) {
    static const auto real = reinterpret_cast<create_fn>(dlsym(RTLD_NEXT, "pthread_create"));
    Dl_info caller{};
    if (dladdr(__builtin_return_address(0), &caller) && caller.dli_sname &&
        std::strstr(caller.dli_sname, "_M_start_thread") && ++std_threads_started == 2)
        return EAGAIN;
    return real(thread, attributes, routine, argument);
}
