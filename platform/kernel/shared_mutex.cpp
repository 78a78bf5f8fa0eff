#include "platform/kernel/shared_mutex.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

const std::string& BootId() {
  static const std::string id = [] {
    char buf[64] = {};
    const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      const ssize_t n = ::read(fd, buf, sizeof buf - 1);
      ::close(fd);
      if (n > 0) buf[n] = '\0';
    }
    return std::string(buf);
  }();
  return id;
}

void InitSharedRobustMutex(pthread_mutex_t* mutex) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

}  // namespace platform
