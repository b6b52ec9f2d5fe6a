// fault_shim.cpp - a failure injector for the end-to-end tests only, loaded
// into the FastCGI processes with LD_PRELOAD. Two kinds of failure:
// - a statement whose text or parameters name "kestrel_fault_bad_alloc"
//   throws std::bad_alloc where the gateway sends it, as if memory had run
//   out in the middle of a request;
// - while the file kestrel_fault_at beside the application file holds N,
//   every statement or piece of COPY data sent counts it down, and the one
//   that finds 1 fails to be sent (the file goes), as if the connection had
//   broken there.
// Everything else goes on to libpq.
#include <dlfcn.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr const char* trigger = "kestrel_fault_bad_alloc";

bool names_trigger(const char* text) {
    return text != nullptr && std::strstr(text, trigger) != nullptr;
}

std::string countdown_path() {
    const char* appfile = std::getenv("OWS_APPFILE");
    if (appfile == nullptr) {
        return "";
    }
    const std::string path(appfile);
    return path.substr(0, path.rfind('/') + 1) + "kestrel_fault_at";
}

// True when this call is the one to fail.
bool countdown_reached() {
    static const std::string path = countdown_path();
    if (path.empty()) {
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "r+");
    if (file == nullptr) {
        return false;
    }
    long left = 0;
    if (std::fscanf(file, "%ld", &left) != 1 || left <= 1) {
        std::fclose(file);
        unlink(path.c_str());
        return true;
    }
    std::rewind(file);
    if (ftruncate(fileno(file), 0) == 0) {
        std::fprintf(file, "%ld\n", left - 1);
    }
    std::fclose(file);
    return false;
}

template <typename Fn>
Fn real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// Parameter names as libpq declares them.
extern "C" int PQsendQueryParams(PGconn* conn, const char* command, int nParams,
                                 const Oid* paramTypes, const char* const* paramValues,
                                 const int* paramLengths, const int* paramFormats,
                                 int resultFormat) {
    using fn = int (*)(PGconn*, const char*, int, const Oid*, const char* const*, const int*,
                       const int*, int);
    static const auto next = real<fn>("PQsendQueryParams");
    bool out_of_memory = names_trigger(command);
    for (int i = 0; i < nParams && !out_of_memory; ++i) {
        out_of_memory =
            (paramFormats == nullptr || paramFormats[i] == 0) && names_trigger(paramValues[i]);
    }
    if (out_of_memory) {
        throw std::bad_alloc();
    }
    if (countdown_reached()) {
        return 0;
    }
    return next(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
                resultFormat);
}

extern "C" int PQsendQuery(PGconn* conn, const char* query) {
    static const auto next = real<int (*)(PGconn*, const char*)>("PQsendQuery");
    return countdown_reached() ? 0 : next(conn, query);
}

extern "C" int PQputCopyData(PGconn* conn, const char* buffer, int nbytes) {
    static const auto next = real<int (*)(PGconn*, const char*, int)>("PQputCopyData");
    return countdown_reached() ? -1 : next(conn, buffer, nbytes);
}
