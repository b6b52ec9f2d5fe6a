// run_program.hpp - runs a built program as a web server would: exactly the
// given environment, nothing on standard input, its standard output read back.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kestrel::test {

struct run_result {
    std::string out;
    int status = -1;
};

// In a forked child: becomes binary with exactly env, or exits 127.
[[noreturn]] inline void exec_with_env(const char* binary, const std::vector<std::string>& env) {
    std::vector<char*> envp;
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(binary), nullptr};
    ::execve(binary, argv, envp.data());
    ::_exit(127);
}

inline run_result run_program(const char* binary, const std::vector<std::string>& env) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        const int null_fd = ::open("/dev/null", O_RDWR);
        ::dup2(null_fd, 0);
        ::dup2(null_fd, 2);
        ::close(out[0]);
        exec_with_env(binary, env);
    }
    ::close(out[1]);
    run_result r;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        r.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace kestrel::test
