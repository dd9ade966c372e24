#include "platform/thread_util.h"

#include <cstring>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void SetCurrentThreadName(const char *name)
{
    char cut[16];
    std::strncpy(cut, name, sizeof cut - 1);
    cut[sizeof cut - 1] = '\0';
    pthread_setname_np(pthread_self(), cut);
}

void RaiseCurrentThreadPriority()
{
    // On Linux a nice value applies to the thread id; failure (no permission) is harmless.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, -10);
}
