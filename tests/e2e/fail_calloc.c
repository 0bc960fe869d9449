/* Preloaded into xdemo by the allocation-failure test: the first calloc(N, S) with the count and
   size named by QUAB_TEST_FAIL_CALLOC ("N,S") returns null, as an exhausted heap would. */
#include <stdio.h>
#include <stdlib.h>

extern void* __libc_calloc(size_t count, size_t size);

void* calloc(size_t count, size_t size) {
    static int failed = 0;
    const char* spec = getenv("QUAB_TEST_FAIL_CALLOC");
    unsigned long n, s;
    if (!failed && spec && sscanf(spec, "%lu,%lu", &n, &s) == 2 && n == count && s == size) {
        failed = 1;
        return NULL;
    }
    return __libc_calloc(count, size);
}
