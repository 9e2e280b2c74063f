// Loaded with LD_PRELOAD into the program under test: the kernel's clock state as
// the test decides, so that what a sender does while synchronised and while not
// can be checked on any machine. CHRONVANE_TEST_CLOCK_STATE=synchronised or
// not-synchronised answers a read (modes 0) of adjtimex; anything else, and every
// call that sets something, goes to the C library.
#include <dlfcn.h>
#include <sys/timex.h>

#include <cstdlib>
#include <cstring>

extern "C" int adjtimex(struct timex* tx) {
    const char* state = std::getenv("CHRONVANE_TEST_CLOCK_STATE");
    if (tx->modes == 0 && state != nullptr) {
        const bool synchronised = std::strcmp(state, "synchronised") == 0;
        if (synchronised || std::strcmp(state, "not-synchronised") == 0) {
            *tx = timex{};
            tx->maxerror = synchronised ? 1000 : 16'000'000;
            tx->esterror = synchronised ? 100 : 16'000'000;
            tx->status = synchronised ? 0 : STA_UNSYNC;
            return synchronised ? TIME_OK : TIME_ERROR;
        }
    }
    using Adjtimex = int (*)(struct timex*);
    const auto real = reinterpret_cast<Adjtimex>(dlsym(RTLD_NEXT, "adjtimex"));
    return real(tx);
}
