// fault_shim.cpp - a failure injector for the end-to-end tests only, loaded
// into the FastCGI processes with LD_PRELOAD: a statement whose text or
// parameters name "kestrel_fault_bad_alloc" throws std::bad_alloc where the
// gateway runs it, as if memory had run out in the middle of a request.
// Everything else goes on to libpq.
#include <dlfcn.h>
#include <libpq-fe.h>

#include <cstring>
#include <new>

namespace {

constexpr const char* trigger = "kestrel_fault_bad_alloc";

bool names_trigger(const char* text) {
    return text != nullptr && std::strstr(text, trigger) != nullptr;
}

}  // namespace

extern "C" PGresult* PQexecParams(PGconn* conn, const char* command, int n_params, const Oid* types,
                                  const char* const* values, const int* lengths, const int* formats,
                                  int result_format) {
    using real_fn = PGresult* (*)(PGconn*, const char*, int, const Oid*, const char* const*,
                                  const int*, const int*, int);
    static const auto real = reinterpret_cast<real_fn>(dlsym(RTLD_NEXT, "PQexecParams"));
    bool fail = names_trigger(command);
    for (int i = 0; i < n_params && !fail; ++i) {
        fail = (formats == nullptr || formats[i] == 0) && names_trigger(values[i]);
    }
    if (fail) {
        throw std::bad_alloc();
    }
    return real(conn, command, n_params, types, values, lengths, formats, result_format);
}
