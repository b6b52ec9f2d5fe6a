// log_file.cpp - one log line per open-append-close cycle, with the file
// modes of log_file.hpp. The group is looked up only when a file is created.
#include "frame/log_file.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "frame/wrb.hpp"

namespace kestrel {
namespace {

class fd_owner {
  public:
    explicit fd_owner(int fd) : fd_(fd) {}
    fd_owner(const fd_owner&) = delete;
    fd_owner& operator=(const fd_owner&) = delete;
    ~fd_owner() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

std::optional<gid_t> log_group() {
    const char* name = WRBGetConfigVal(nullptr, "log_group");
    if (name == nullptr || *name == '\0') {
        return std::nullopt;
    }
    const group* g = getgrnam(name);
    if (g == nullptr) {
        return std::nullopt;
    }
    return g->gr_gid;
}

// A new file: the owner's alone, or shared with the log group.
void set_new_file_access(int fd) {
    const std::optional<gid_t> group = log_group();
    if (group && fchown(fd, static_cast<uid_t>(-1), *group) == 0) {
        fchmod(fd, 0640);
        return;
    }
    fchmod(fd, 0600);
}

// A log file from before: whatever others could do with it ends here. Only
// regular files: a log named /dev/null must stay what it is for everyone.
void close_to_others(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IRWXO) != 0) {
        fchmod(fd, st.st_mode & 07770);
    }
}

int open_log(const std::string& path) {
    constexpr int flags = O_WRONLY | O_APPEND | O_CLOEXEC;
    const int created = open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (created >= 0) {
        set_new_file_access(created);
        return created;
    }
    if (errno != EEXIST) {
        return -1;
    }
    const int existing = open(path.c_str(), flags);
    if (existing >= 0) {
        close_to_others(existing);
    }
    return existing;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool append_log_line(const std::string& path, std::string_view text) {
    const fd_owner fd(open_log(path));
    if (fd.get() < 0) {
        return false;
    }
    std::string line(text);
    line += '\n';
    write_all(fd.get(), line);
    return true;
}

}  // namespace kestrel
