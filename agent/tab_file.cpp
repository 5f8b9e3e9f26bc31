#include "tab_file.hpp"

#include "console.hpp"
#include "tarnova_convertor.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

const char missing_file[] =
    "Table names file does not exist.\nPlease verify the correct path/name was given.";
const char utf8_mark[] = "\xEF\xBB\xBF";
// far beyond any schema-qualified postgresql name; a longer line is no table name,
// and reading it whole would let a file without line ends fill the memory
const std::size_t max_line = 64 * 1024;

// reads the file in blocks, one line at a time
class tab_file_reader {
public:
    explicit tab_file_reader(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~tab_file_reader()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    tab_file_reader(const tab_file_reader&) = delete;
    tab_file_reader& operator=(const tab_file_reader&) = delete;

    bool is_open() const { return m_fd >= 0; }

    // the next line without its line end (LF or CR LF); false at the end of the file.
    // a read error, a NUL byte or a line over the limit ends the program: a partial
    // list would convert other tables than the user named
    bool next_line(std::string& line)
    {
        line.clear();
        if (m_end)
            return false;
        ++m_number;
        for (;;) {
            if (m_pos == m_size && !fill()) {
                // the last line may have no line end; an empty one is skipped
                m_end = true;
                end_line(line);
                return true;
            }
            const char c = m_buffer[m_pos++];
            if (c == '\n') {
                end_line(line);
                return true;
            }
            if (c == '\0')
                refuse("holds a NUL byte on line " + std::to_string(m_number));
            line += c;
            // one byte more for the CR of a CR LF end
            if (line.size() > max_line + 1)
                refuse_long();
        }
    }

private:
    void end_line(std::string& line)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > max_line)
            refuse_long();
    }

    [[noreturn]] void refuse(const std::string& what)
    {
        fatal_exit("Table names file " + what
                   + ".\nPlease verify the file is a text file with one table name per line.");
    }

    [[noreturn]] void refuse_long()
    {
        refuse("has a line longer than " + std::to_string(max_line) + " bytes (line "
               + std::to_string(m_number) + ")");
    }

    bool fill()
    {
        for (;;) {
            const ssize_t got = read(m_fd, m_buffer, sizeof m_buffer);
            if (got > 0) {
                m_pos = 0;
                m_size = static_cast<std::size_t>(got);
                return true;
            }
            if (got == 0)
                return false;
            if (errno == EINTR)
                continue;
            fatal_exit(std::string("Table names file cannot be read: ") + tk_error_text(errno)
                       + ".\nPlease verify the file can be read to its end.");
        }
    }

    int m_fd;
    char m_buffer[8192];
    std::size_t m_pos = 0;
    std::size_t m_size = 0;
    int m_number = 0;
    bool m_end = false;
};

} // namespace

void process_tab_file(const std::string& path)
{
    tk_trace(1, "process_tab_file(%s)", path.c_str());
    if (!tk_is_file_exist(path, 0x4000))
        fatal_exit(missing_file);
    tab_file_reader file(path);
    if (!file.is_open())
        fatal_exit(missing_file);

    enum class encoding { unknown, utf8, ansi } kind = encoding::unknown;
    std::vector<std::wstring> names;
    std::string line;
    while (file.next_line(line)) {
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
    // an empty list would mean every table of the source: not what a list asks for
    if (names.empty())
        fatal_exit("Table names file lists no table.\nPlease verify the correct path/name was given.");
    tarnova_convertor::instance().selected = std::move(names);
}
