#include "tk_conv.hpp"

#include "tk_except.hpp"
#include "tk_fname.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// false when the filesystem of a regular file has no block left for its user (root may
// take the reserved ones)
bool has_free_space(int fd)
{
    struct stat st{};
    struct statvfs vfs{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fstatvfs(fd, &vfs) != 0
        || vfs.f_blocks == 0)
        return true;
    return (geteuid() == 0 ? vfs.f_bfree : vfs.f_bavail) != 0;
}

// the log opens its file only for each line it writes: a file it cannot write (a
// directory, a full device) would leave the run without a trace and without a word.
// nothing is written and a file made for the test is removed again
void check_log_writable(const std::string& name)
{
    const int flags = O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    bool created = false;
    int fd = open(name.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
        fd = open(name.c_str(), flags | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
    }
    // an empty write still reaches the device, so a full one answers; a full filesystem
    // takes it without a word, and says so by its free blocks
    int err = fd < 0 ? errno : (write(fd, "", 0) < 0 ? errno : 0);
    if (err == 0 && !has_free_space(fd))
        err = ENOSPC;
    // the trace holds the rows' values: a log others may read that cannot be narrowed to
    // its owner would get no trace at all
    const bool narrowed = err != 0 || created || tk_narrow_to_owner(fd);
    if (!narrowed)
        err = errno;
    if (fd >= 0)
        close(fd);
    if (created)
        unlink(name.c_str());
    if (err == 0)
        return;
    throw tk_exception(std::string(narrowed ? "Logfile cannot be written: "
                                            : "Logfile cannot be made readable by its owner "
                                              "alone: ")
                           + tk_error_text(err)
                           + ".\nPlease verify the correct path was given.",
                       tk_level_fail);
}

// the same file whatever the paths: a link or another spelling of the path included.
// a path that names nothing is no file of the other
bool is_same_file(const std::string& a, const std::string& b)
{
    struct stat sa{};
    struct stat sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
           && sa.st_ino == sb.st_ino;
}

} // namespace

tk_converter::tk_converter()
{
    tk_trace(2, "tk_converter::ctor");
}

void tk_converter::set_logfile(const std::string& name)
{
    tk_trace(1, "tk_convertor::set_logfile(%s)", name.c_str());
    if (!name.empty()) {
        for (const input_file& input : m_input_files)
            if (is_same_file(name, input.path))
                throw tk_exception("Logfile name '" + name + "' specifies the " + input.what
                                       + " '" + input.path
                                       + "'.\nPlease verify the correct path was given.",
                                   tk_level_fail);
        if (tk_is_file_exist(name, 0x4000) && !tk_is_file_exist(name, 1))
            throw tk_exception("Logfile name specifies an existing read-only file.", 1);
        const tk_file_name fn(name);
        if (!tk_is_path_exist(fn.get_path()))
            throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
        check_log_writable(name);
    }
    m_logfile = name;
    if (!m_logfile.empty() && tk_log::has_instance()) {
        tk_log& log = tk_log::instance();
        log.set_file_name(m_logfile.c_str());
        log.set_enabled(true);
    }
}

void tk_converter::add_input_file(const std::string& path, const std::string& what)
{
    m_input_files.push_back({path, what});
}
