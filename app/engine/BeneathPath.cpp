#include "BeneathPath.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace BeneathPath {

int openDirectory(int rootFd, std::string_view relative)
{
    int current = ::openat(rootFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    while (current >= 0 && start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string component(relative.substr(start, end - start));
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            ::close(current);
            errno = EACCES;
            return -1;
        }
        const int next = ::openat(current, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openError = errno;
        ::close(current);
        current = next;
        errno = openError;
    }
    return current;
}

void splitParent(std::string_view relative, std::string &parent, std::string &name)
{
    while (relative.size() > 1 && relative.back() == '/')
        relative.remove_suffix(1);
    const std::size_t slash = relative.rfind('/');
    if (slash == std::string_view::npos) {
        parent.clear();
        name.assign(relative);
        return;
    }
    parent.assign(relative.substr(0, slash));
    name.assign(relative.substr(slash + 1));
}

} // namespace BeneathPath
