#include "ora_oci.hpp"

#include "tk_except.hpp"
#include "tk_log.hpp"

#include <dlfcn.h>

#include <mutex>

namespace ora_oci
{

const char *const library_names[] = {
    "libclntsh.so",      "libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.20.1",
    "libclntsh.so.19.1", "libclntsh.so.18.1", "libclntsh.so.12.1", "libclntsh.so.11.1",
    nullptr,
};

namespace
{

std::mutex g_mutex;
symbols g_symbols;
bool g_loaded = false;
std::string g_library;

std::string last_dl_error()
{
    const char *e = dlerror();
    return e ? e : "unknown loader error";
}

// the handle stays open for the life of the process: the client keeps threads and
// atexit handlers of its own that must not lose their code
void *open_client(std::string &tried)
{
    for (const char *const *name = library_names; *name; ++name) {
        void *h = dlopen(*name, RTLD_NOW | RTLD_LOCAL);
        if (h) {
            tk_trace(1, "ora_oci::load - loaded '%s'", *name);
            g_library = *name;
            return h;
        }
        std::string e = last_dl_error();
        tk_trace(1, "ora_oci::load - %s", e.c_str());
        if (!tried.empty())
            tried += "; ";
        tried += e;
    }
    return nullptr;
}

} // namespace

const symbols &load()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_loaded)
        return g_symbols;
    tk_trace(2, "ora_oci::load");

    std::string tried;
    void *h = open_client(tried);
    if (!h)
        throw load_error("Oracle client library not found: " + tried);

    symbols s;
    std::string missing;
#define ORA_OCI_RESOLVE(name, params)                                                              \
    dlerror();                                                                                     \
    s.name = reinterpret_cast<name##_fn>(dlsym(h, #name));                                         \
    if (!s.name) {                                                                                 \
        std::string e = last_dl_error();                                                           \
        tk_trace(1, "ora_oci::load - %s", e.c_str());                                              \
        if (!missing.empty())                                                                      \
            missing += ", ";                                                                       \
        missing += #name;                                                                          \
    }
    ORA_OCI_CALLS(ORA_OCI_RESOLVE)
#undef ORA_OCI_RESOLVE

    if (!missing.empty()) {
        // the library stays loaded; a later load() finds it again and fails the same way
        std::string lib = g_library;
        g_library.clear();
        throw load_error("Oracle client library '" + lib + "' lacks " + missing);
    }
    g_symbols = s;
    g_loaded = true;
    return g_symbols;
}

const symbols &api()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_loaded)
        throw tk_mail_assertion("ora_oci.cpp", __LINE__);
    return g_symbols;
}

const std::string &loaded_library()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_library;
}

} // namespace ora_oci
