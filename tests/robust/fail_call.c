/* Preloaded into xdemo by the robustness tests: signal(SIGALRM, ...) or setitimer fails when
   QUAB_TEST_FAIL_CALL names it ("signal" or "setitimer"), as on a system out of timers. Every
   other call goes through to the C library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>

static int failing(const char* name) {
    const char* which = getenv("QUAB_TEST_FAIL_CALL");
    return which && strcmp(which, name) == 0;
}

sighandler_t signal(int number, sighandler_t handler) {
    static sighandler_t (*real)(int, sighandler_t);
    if (number == SIGALRM && failing("signal")) {
        errno = EINVAL;
        return SIG_ERR;
    }
    if (!real)
        *(void**)&real = dlsym(RTLD_NEXT, "signal");
    return real(number, handler);
}

int setitimer(__itimer_which_t which, const struct itimerval* value, struct itimerval* old) {
    static int (*real)(__itimer_which_t, const struct itimerval*, struct itimerval*);
    if (failing("setitimer")) {
        errno = EINVAL;
        return -1;
    }
    if (!real)
        *(void**)&real = dlsym(RTLD_NEXT, "setitimer");
    return real(which, value, old);
}
