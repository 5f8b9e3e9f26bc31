#pragma once

#include "tk_singl.hpp"
#include "udb_nmap.hpp"
#include "udb_vali.hpp"

#include <memory>
#include <set>
#include <string>
#include <vector>

class ora_session;
class t_ftd;
class udb_field;
class udb_indexes;

// oracle identifiers: 1 to 30 bytes, a letter first, then letters, digits, "_", "$", "#"
class ora_validator : public udb_validator {
public:
    ora_validator();

    bool is_acceptable(const std::wstring& name) const override;
    std::wstring get_safe_name(const std::wstring& name) const override;

protected:
    // bytes in the database character set (AL32UTF8): servers before 12.2 allow 30 of
    // them, so a name of 30 non-ASCII characters is too long
    size_t name_length(const std::wstring& name) const override;
    // never between the two halves of a surrogate pair
    void cut_name(std::wstring& name, size_t length) const override;
};

// column names; every name of the list starts out as an existing name
class ora_fn_validator : public ora_validator {
public:
    explicit ora_fn_validator(const std::vector<std::unique_ptr<t_ftd>>& fields);
    explicit ora_fn_validator(const std::vector<std::unique_ptr<udb_field>>& fields);

    // also refuses ROWID in upper case, the pseudo-column's name, which Oracle does not let
    // a column carry even quoted
    bool is_acceptable(const std::wstring& name) const override;

    // source name -> generated name of the columns a table builder renamed
    void add_mapped_pair(const std::wstring& source, const std::wstring& generated);
    const t_names_map& get_names_map() const { return m_names_map; }

private:
    t_names_map m_names_map;
};

// table names: the given oracle tables first, then the source tables, as existing names
class ora_tn_validator : public ora_validator {
public:
    ora_tn_validator(const std::vector<std::wstring>& source_tables,
                     const std::vector<std::wstring>& oracle_tables);

    // also refuses, exactly as written, a name held by an oracle table of another source
    // table
    bool is_acceptable(const std::wstring& name) const override;
    bool is_duplicated(const std::wstring& name) const override;

    std::set<std::wstring> held_names;
};

// index and constraint names of the destination schema, for one conversion run
class ora_in_validator : public tk_singleton<ora_in_validator> {
public:
    // reads every constraint and index name of the schema as restricted names
    explicit ora_in_validator(ora_session& session);
    ~ora_in_validator() override;

    void load(const udb_indexes& indexes);
    // frees the index and key names of a table about to be dropped, so that its new copy
    // gets the same names again
    void forget_table(const std::wstring& table);

    ora_validator& validator() { return m_validator; }

private:
    ora_session& m_session;
    ora_validator m_validator;
};
