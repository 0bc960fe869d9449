// The one deadline wait: a post before the deadline is taken, none by the deadline is a timeout
// that does not come early, and a deadline already past does not wait.
#include <gtest/gtest.h>

#include <cstdint>

#include <semaphore.h>

#include "lib/base/clock.h"

namespace {

TEST(DeadlineWait, PostedOrTimedOut) {
    struct Case {
        const char* name;
        unsigned posts;       // posted before the wait
        std::int64_t wait_ns; // the deadline, from now
        bool posted;          // the answer
        unsigned left;        // posts left after the wait
    } cases[] = {
        {"posted, deadline ahead", 1, 1'000'000'000, true, 0},
        {"posted, deadline past", 1, -1'000'000, true, 0},
        {"two posts, one taken", 2, 20'000'000, true, 1},
        {"none, deadline ahead", 0, 20'000'000, false, 0},
    };
    for (const Case& c : cases) {
        sem_t sem;
        ASSERT_EQ(sem_init(&sem, 0, c.posts), 0);
        std::uint64_t deadline = deadline_after_ns(c.wait_ns);
        EXPECT_EQ(sem_wait_until_ns(&sem, deadline), c.posted) << c.name;
        if (!c.posted) {
            EXPECT_GE(monotonic_ns(), deadline) << c.name << ": woke before the deadline";
        }
        int left = -1;
        sem_getvalue(&sem, &left);
        EXPECT_EQ(left, static_cast<int>(c.left)) << c.name;
        sem_destroy(&sem);
    }
}

} // namespace
