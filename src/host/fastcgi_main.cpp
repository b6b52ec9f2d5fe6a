// fastcgi_main.cpp - the FastCGI program: the web server starts it once and
// sends it request after request.
#include "host/fastcgi_host.hpp"

int main(int, char**, char** envp) {
    return kestrel::run_fastcgi_host(envp);
}
