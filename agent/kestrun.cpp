#include "cmd_line.hpp"
#include "console.hpp"
#include "console_error.hpp"
#include "console_run.hpp"
#include "error_handler.hpp"
#include "tarnova_convertor.hpp"
#include "tk_except.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstdio>
#include <malloc.h>

namespace {

// a trace log that lost lines is no trace of the run: an error of the run. said once the
// run is over, since a log that fails would take the news with it
bool report_log_failure(error_handler& handler)
{
    const int err = tk_log::has_instance() ? tk_log::instance().get_write_error() : 0;
    if (err == 0)
        return false;
    handler.clear_context();
    handler.handle(tk_exception("Logfile cannot be written: " + tk_error_text(err)
                                    + ".\nThe trace log of this run is incomplete.",
                                tk_level_go_on),
                   false);
    return true;
}

// the conversion from the command line; 0 only when every requested table was
// converted without a reported error. the task is gone (oracle logged off, which
// commits pending large-object writes) before the code is returned
int convert(int argc, char** argv, error_handler& handler)
{
    tarnova_convertor task(tarnova_convertor::program::console);
    handler.set_before_exit(&tarnova_convertor::log_off_before_exit);
    console_run_hooks hooks;
    task.set_hooks(&hooks);
    try {
        if (argc <= 1 || !parse_cmd_line(argc, argv))
            fatal_exit(usage_text());
        // oracle first: a failure there leaves postgresql unconnected
        task.connect_oracle_server(task.get_dest_name());
        // the source database: the user need not have a database of their own name
        task.pgs().connect_pgs_server(tk_to_utf8(task.get_source_name()));
        task();
        // checked here: the log-off commits what the session left open
        task.log_off_oracle();
        report_log_failure(handler);
        return handler.get_reported_errors() == 0 ? 0 : -1;
    } catch (const tk_exception& e) {
        // levels 1 and 2 end the process inside handle
        handler.handle(e, false);
        report_log_failure(handler);
        return -1;
    } catch (const std::exception& e) {
        fatal_exit(e.what());
    }
}

} // namespace

int main(int argc, char** argv)
{
    // a large value's buffers go back to the system as soon as they are freed: by default
    // the allocator raises its threshold to the largest block freed so far and keeps that
    // much more of the heap for the rest of the run
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    try {
        tk_log log(nullptr, false, 3, false);
        error_handler handler(oracle_error_count, oracle_errors);
        handler.load_err_map(pgs_connection_error_count, pgs_connection_errors);
        console_error_reaction reaction;
        handler.set_reaction(&reaction);
        const int code = convert(argc, argv, handler);
        handler.set_reaction(nullptr);
        return code;
    } catch (const std::exception& e) {
        // the service objects could not be built
        std::fprintf(stderr, "Internal error: %s\n", e.what());
        return -1;
    }
}
