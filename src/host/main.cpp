// main.cpp - the CGI program: the web server starts it once per request.
#include "host/cgi_host.hpp"

int main(int, char**, char** envp) {
    return kestrel::run_cgi_host(envp);
}
