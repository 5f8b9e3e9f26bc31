#include "tk_conv.hpp"

#include "tk_except.hpp"
#include "tk_fname.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

tk_converter::tk_converter()
{
    tk_trace(2, "tk_converter::ctor");
}

void tk_converter::set_logfile(const std::string& name)
{
    tk_trace(1, "tk_convertor::set_logfile(%s)", name.c_str());
    if (!name.empty()) {
        if (tk_is_file_exist(name, 0x4000) && !tk_is_file_exist(name, 1))
            throw tk_exception("Logfile name specifies an existing read-only file.", 1);
        const tk_file_name fn(name);
        if (!tk_is_path_exist(fn.get_path()))
            throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
    }
    m_logfile = name;
    if (!m_logfile.empty() && tk_log::has_instance()) {
        tk_log& log = tk_log::instance();
        log.set_file_name(m_logfile.c_str());
        log.set_enabled(true);
    }
}
