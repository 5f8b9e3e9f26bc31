#include "tab_file.hpp"

#include "console.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <fstream>
#include <vector>

namespace {

const char missing_file[] =
    "Table names file does not exist.\nPlease verify the correct path/name was given.";
const char utf8_mark[] = "\xEF\xBB\xBF";

} // namespace

void process_tab_file(const std::string& path)
{
    tk_trace(1, "process_tab_file(%s)", path.c_str());
    if (!tk_is_file_exist(path, 0x4000))
        fatal_exit(missing_file);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        fatal_exit(missing_file);

    enum class encoding { unknown, utf8, ansi } kind = encoding::unknown;
    std::vector<std::wstring> names;
    std::string line;
    // lines are read whole, whatever their length
    while (std::getline(file, line)) {
        // a line end of CR LF leaves no CR in the name
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (kind == encoding::unknown) {
            kind = line.rfind(utf8_mark, 0) == 0 ? encoding::utf8 : encoding::ansi;
            if (kind == encoding::utf8) {
                line.erase(0, sizeof utf8_mark - 1);
                if (line.empty())
                    continue;
            }
        }
        names.push_back(kind == encoding::utf8 ? tk_from_utf8(line) : tk_to_unicode(line));
    }
    tarnova_convertor::instance().selected = std::move(names);
}
