#include "TlsEnforcement.h"

#ifdef HALVANE_TLS_INTERPOSED
#include <dlfcn.h>
#include <mysql.h>
#endif

namespace hv::tls {

namespace {
thread_local bool t_strict = false;
thread_local bool t_enforced = false;
} // namespace

Strict::Strict(bool on) : m_previous(t_strict) {
    t_strict = on;
    t_enforced = false;
}

Strict::~Strict() {
    t_strict = m_previous;
}

bool Strict::enforced() const {
    return t_enforced;
}

bool available() {
#ifdef HALVANE_TLS_INTERPOSED
    return true;
#else
    return false;
#endif
}

} // namespace hv::tls

#ifdef HALVANE_TLS_INTERPOSED
// The driver's call on its way to the client library: the program exports this definition
// (--export-dynamic-symbol in data/CMakeLists.txt), so the driver, loaded later as a plugin, binds
// to it; it sets the two options where the thread asks for them and hands on to the library's own.
extern "C" MYSQL* mysql_real_connect(MYSQL* mysql, const char* host, const char* user, const char* password,
                                     const char* database, unsigned int port, const char* socket, unsigned long flags) {
    using Connect = MYSQL* (*)(MYSQL*, const char*, const char*, const char*, const char*, unsigned int, const char*,
                               unsigned long);
    static const Connect library = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "mysql_real_connect"));
    if (!library) return nullptr;
    if (hv::tls::t_strict && mysql) {
        my_bool on = 1;
        const bool enforce = mysql_optionsv(mysql, MYSQL_OPT_SSL_ENFORCE, &on) == 0;
        const bool verify = mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on) == 0;
        hv::tls::t_enforced = enforce && verify;
        // Without both, nothing goes out: a login in plain text is what this is here to prevent.
        if (!hv::tls::t_enforced) return nullptr;
    }
    return library(mysql, host, user, password, database, port, socket, flags);
}
#endif
