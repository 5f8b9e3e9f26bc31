#include "tk_reg_store.hpp"

#include "tk_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

struct tk_reg_node {
    std::string file; // empty for the root
};

namespace {

tk_reg_node current_user_root;

// one process may hold several keys of one file; writes are read-modify-write
std::mutex store_mutex;

struct reg_value {
    unsigned long type = 0;
    std::string text;    // sz: utf-8
    uint32_t number = 0; // dword
};

using value_map = std::map<std::string, reg_value>;

std::string config_home()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return xdg;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    return std::string(home ? home : ".") + "/.config";
}

// "Software\A\B" -> "A/B"; false for paths that would leave the store
bool key_relative_path(const std::string& subkey, std::string& out)
{
    std::string path = subkey;
    const std::string software = "software\\";
    if (path.size() >= software.size() &&
        tk_compare_no_case(path.substr(0, software.size()), software) == 0)
        path = path.substr(software.size());
    out.clear();
    size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos)
            return false;
        if (!out.empty())
            out += '/';
        out += part;
        start = end + 1;
    }
    return !out.empty();
}

bool make_dirs(const std::string& file)
{
    for (size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
        const std::string dir = file.substr(0, pos);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::string escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            out += n == 'r' ? '\r' : n == 'n' ? '\n' : n;
        } else {
            out += text[i];
        }
    }
    return out;
}

// a line that does not parse is skipped; the first line for a name wins
value_map load(const std::string& file)
{
    value_map values;
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return values;
    std::string content;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        content.append(buf, n);
    std::fclose(f);
    size_t start = 0;
    while (start < content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        const std::string name = line.substr(0, eq);
        const std::string rest = line.substr(eq + 1);
        reg_value v;
        if (rest.rfind("dword:", 0) == 0) {
            char* endp = nullptr;
            errno = 0;
            const unsigned long long n = std::strtoull(rest.c_str() + 6, &endp, 10);
            if (errno || endp == rest.c_str() + 6 || *endp || n > 0xFFFFFFFFull)
                continue;
            v.type = tk_reg_type_dword;
            v.number = static_cast<uint32_t>(n);
        } else if (rest.rfind("sz:", 0) == 0) {
            v.type = tk_reg_type_sz;
            v.text = unescape(rest.substr(3));
        } else {
            continue;
        }
        values.emplace(name, v);
    }
    return values;
}

// temp file and rename, so a failed write never leaves half a store
bool save(const std::string& file, const value_map& values)
{
    std::string content;
    for (const auto& [name, v] : values) {
        content += name + "=";
        if (v.type == tk_reg_type_dword)
            content += "dword:" + std::to_string(v.number);
        else
            content += "sz:" + escape(v.text);
        content += "\n";
    }
    const std::string temp = file + ".tmp." + std::to_string(getpid());
    // created here and now, never an existing file or what a link points to: the store
    // holds passwords. a leftover of an earlier process of this pid is removed (a link
    // itself, not its target) and the creation tried once more
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(temp.c_str(), flags, 0600);
    if (fd < 0 && errno == EEXIST && unlink(temp.c_str()) == 0)
        fd = open(temp.c_str(), flags, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        done += static_cast<size_t>(n);
    }
    const bool ok = done == content.size() && fsync(fd) == 0;
    if (close(fd) != 0 || !ok || rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool valid_key(tk_hkey key)
{
    return key && key != tk_hkey_current_user && !key->file.empty();
}

bool valid_name(const char* name)
{
    return name && *name && !std::strpbrk(name, "=\r\n");
}

long copy_out(const void* bytes, unsigned long required, void* data, unsigned long* size)
{
    if (!data) {
        *size = required;
        return tk_reg_ok;
    }
    if (*size < required) {
        *size = required;
        return tk_reg_more_data;
    }
    std::memcpy(data, bytes, required);
    *size = required;
    return tk_reg_ok;
}

long query(tk_hkey key, const char* name, unsigned long* type, void* data, unsigned long* size,
           bool wide)
{
    if (!valid_key(key) || !name || !size)
        return tk_reg_invalid_parameter;
    std::lock_guard<std::mutex> lock(store_mutex);
    const value_map values = load(key->file);
    const auto it = values.find(name);
    if (it == values.end())
        return tk_reg_not_found;
    const reg_value& v = it->second;
    if (type)
        *type = v.type;
    if (v.type == tk_reg_type_dword)
        return copy_out(&v.number, sizeof v.number, data, size);
    if (wide) {
        const std::wstring w = tk_from_utf8(v.text);
        return copy_out(w.c_str(), static_cast<unsigned long>((w.size() + 1) * sizeof(wchar_t)), data,
                        size);
    }
    return copy_out(v.text.c_str(), static_cast<unsigned long>(v.text.size() + 1), data, size);
}

long store(tk_hkey key, const char* name, unsigned long type, const void* data, unsigned long size,
           bool wide)
{
    if (!valid_key(key) || !valid_name(name) || !data)
        return tk_reg_invalid_parameter;
    reg_value v;
    v.type = type;
    if (type == tk_reg_type_dword) {
        if (size != sizeof(uint32_t))
            return tk_reg_invalid_parameter;
        std::memcpy(&v.number, data, sizeof v.number);
    } else if (type == tk_reg_type_sz) {
        // the text ends at its terminator or at the given size
        if (wide) {
            const auto* w = static_cast<const wchar_t*>(data);
            size_t n = 0;
            while (n < size / sizeof(wchar_t) && w[n])
                ++n;
            v.text = tk_to_utf8(std::wstring(w, n));
        } else {
            const auto* c = static_cast<const char*>(data);
            v.text = std::string(c, strnlen(c, size));
        }
    } else {
        return tk_reg_invalid_parameter;
    }
    std::lock_guard<std::mutex> lock(store_mutex);
    value_map values = load(key->file);
    values[name] = v;
    return save(key->file, values) ? tk_reg_ok : tk_reg_access_denied;
}

} // namespace

const tk_hkey tk_hkey_current_user = &current_user_root;

long tk_reg_create_key(tk_hkey root, const char* subkey, const char*, unsigned long,
                       unsigned long, const void*, tk_hkey* result, unsigned long* disposition)
{
    if (root != tk_hkey_current_user || !subkey || !result)
        return tk_reg_invalid_parameter;
    std::string relative;
    if (!key_relative_path(subkey, relative))
        return tk_reg_invalid_parameter;
    const std::string file = config_home() + "/" + relative + ".ini";
    std::lock_guard<std::mutex> lock(store_mutex);
    if (!make_dirs(file))
        return tk_reg_access_denied;
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool created = false;
    if (fd >= 0) {
        close(fd);
        created = true;
    } else if (errno != EEXIST) {
        return tk_reg_access_denied;
    }
    if (disposition)
        *disposition = created ? tk_reg_created_new_key : tk_reg_opened_existing_key;
    *result = new tk_reg_node{file};
    return tk_reg_ok;
}

long tk_reg_close_key(tk_hkey key)
{
    if (!valid_key(key))
        return tk_reg_invalid_parameter;
    delete key;
    return tk_reg_ok;
}

long tk_reg_query_value(tk_hkey key, const char* name, unsigned long* type, void* data,
                        unsigned long* size)
{
    return query(key, name, type, data, size, false);
}

long tk_reg_query_wvalue(tk_hkey key, const char* name, unsigned long* type, void* data,
                         unsigned long* size)
{
    return query(key, name, type, data, size, true);
}

long tk_reg_set_value(tk_hkey key, const char* name, unsigned long type, const void* data,
                      unsigned long size)
{
    return store(key, name, type, data, size, false);
}

long tk_reg_set_wvalue(tk_hkey key, const char* name, unsigned long type, const void* data,
                       unsigned long size)
{
    return store(key, name, type, data, size, true);
}
