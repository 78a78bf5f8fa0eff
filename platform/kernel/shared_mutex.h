// Mutexes that live in files mapped by several processes.
#pragma once

#include <pthread.h>

#include <string>

namespace platform {

// This boot's identity, empty when it cannot be read. A mutex stored in a file made in an
// earlier boot may name a holder that no exit will ever release: such a file starts afresh.
const std::string& BootId();

// Makes `mutex`, in memory that other processes map, a process-shared robust mutex: when its
// holder dies, the next one to lock it gets it with EOWNERDEAD.
void InitSharedRobustMutex(pthread_mutex_t* mutex);

}  // namespace platform
