// The serial port itself only says that an open failed. After a failed connection this looks
// at the device the way the port opens it (an exclusive flock, which other programs holding
// the port keep), so the client learns whether another program has it.
#include "indi/PortDiagnosis.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace kavri::indi {

std::string PortRefusalReason(const std::string& devicePath) {
    const int fd = open(devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENXIO || errno == ENODEV) return "no such device";
        if (errno == EACCES || errno == EPERM) return "permission denied";
        if (errno == EBUSY) return "in use by another program";
        return "cannot be opened";
    }
    std::string reason;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = errno == EWOULDBLOCK ? "in use by another program" : "cannot be locked";
    } else {
        flock(fd, LOCK_UN);
    }
    close(fd);
    return reason;
}

}  // namespace kavri::indi
