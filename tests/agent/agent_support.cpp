#include "agent_support.hpp"

#include "test_ora.hpp"

#include <cstdlib>
#include <sstream>

extern char** environ;

kestrun_result run_kestrun(const std::vector<std::string>& args,
                           const std::vector<std::string>& env)
{
    std::vector<std::string> pg_names;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("PG", 0) == 0)
            pg_names.push_back(entry.substr(0, entry.find('=')));
    }
    for (const std::string& name : pg_names)
        unsetenv(name.c_str());

    std::vector<std::string> argv{KESTRUN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    kestrun_result result;
    result.exit_code = test_run_process(argv, env, "", &result.out, &result.err);
    return result;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string table_line(const std::string& name, int records)
{
    return "Converting table " + name + "(" + std::to_string(records) + " records)\n";
}
