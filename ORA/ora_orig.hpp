#pragma once

#include <map>
#include <string>
#include <vector>

class ora_session;
class udb_schema;

// which source table an oracle table holds and which source column each of its columns
// holds, kept as their comments when a run creates them: a later run finds them there, so
// that names the source no longer gives the same way still lead to their own table and
// column. a table or column without such a comment (the user's own, or made before the
// comments were kept) has no known origin

// the source table of an oracle table, and whether the run that made it named its tables
// in upper case: a run of the other case rule makes tables of its own
struct ora_table_origin {
    std::wstring source;
    bool upper_case = false;
};

// the source name a comment records, empty when the comment is not such a record
ora_table_origin ora_table_origin_of(const std::wstring& comment);
std::wstring ora_column_origin(const std::wstring& comment);

// the comments that record them
std::wstring ora_table_origin_comment(const ora_table_origin& origin);
std::wstring ora_column_origin_comment(const std::wstring& source);

// oracle table -> the source table its comment records, for every table of the schema
// that has such a record
std::map<std::wstring, ora_table_origin> ora_read_table_origins(ora_session& session);

// records on a table just created the source table it holds (when origin.source is not
// empty) and, on each column, the source field it was made from: columns[i] from
// source.fields[i]
void ora_record_origins(ora_session& session, const std::wstring& table,
                        const ora_table_origin& origin, const udb_schema& columns,
                        const udb_schema& source);
