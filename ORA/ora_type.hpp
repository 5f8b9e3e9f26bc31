#pragma once

// internal to the oracle engine: one column object per select-list column. it reads the
// column's description, owns the single-row buffer the client fills at each fetch with
// the NULL indicator, and turns the fetched value into a variant and a descriptor.

#include "ole_var.hpp"
#include "ora_oci.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ora_session;
class t_ftd;
class udb_field;

class ora_type {
public:
    virtual ~ora_type();
    ora_type(const ora_type&) = delete;
    ora_type& operator=(const ora_type&) = delete;

    virtual VARTYPE get_vartype() const;
    // a new descriptor of the column
    virtual std::unique_ptr<t_ftd> get_ftd() const;
    // the value of the last fetched row; the indicator is the caller's to test
    virtual void to_variant(ole_variant& out) = 0;
    // binds the buffer to the 1-based select-list position
    virtual void define(OCIStmt* stmt, ub4 position) = 0;

    // a new field of the current value with the column's name and data size
    std::unique_ptr<udb_field> make_field();

    const std::wstring& get_name() const { return m_name; }
    int get_data_size() const { return m_data_size; }
    void set_data_size(int size) { m_data_size = size; }
    ub1 get_nullable() const { return m_nullable; }
    sb2 get_indicator() const { return m_indicator; }
    bool is_null() const { return m_indicator == -1; }
    ub2 get_define_type() const { return m_define_type; }

protected:
    ora_type(ora_session& session, OCIParam* param, ub2 define_type);

    // OCIDefineByPos at the position into buffer, size and type, with the indicator
    void define_buffer(OCIStmt* stmt, ub4 position, void* buffer, sb4 size, ub2 type,
                       ub2* returned_length = nullptr);
    ub2 get_param_data_size() const;

    ora_session& m_session;
    OCIParam* m_param;
    OCIDefine* m_define = nullptr;
    std::wstring m_name;
    ub1 m_nullable = 0;
    int m_data_size = 0;
    ub2 m_define_type;
    sb2 m_indicator = 0;
};

// VARCHAR2, CHAR and zero-terminated strings
class ora_string : public ora_type {
public:
    ora_string(ora_session& session, OCIParam* param);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

private:
    std::vector<char16_t> m_buffer;   // 2 * size + 2 bytes
};

// NUMBER and the other numeric codes, fetched as text
class ora_number : public ora_type {
public:
    ora_number(ora_session& session, OCIParam* param);
    VARTYPE get_vartype() const override;
    std::unique_ptr<t_ftd> get_ftd() const override;
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

    int get_precision() const { return m_precision; }
    int get_scale() const { return m_scale; }

private:
    int m_precision = 0;
    int m_scale = 0;
    VARTYPE m_refined = VT_DECIMAL;
    char16_t m_buffer[255] = {};    // 510 bytes
};

// BINARY_FLOAT and BINARY_DOUBLE, fetched as the value itself: no decimal text between
class ora_ieee : public ora_type {
public:
    ora_ieee(ora_session& session, OCIParam* param, ub2 type);
    VARTYPE get_vartype() const override;   // VT_R4 or VT_R8
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

private:
    bool single() const { return m_define_type == SQLT_IBFLOAT; }

    float m_single = 0;
    double m_double = 0;
};

// RAW
class ora_binary : public ora_type {
public:
    ora_binary(ora_session& session, OCIParam* param);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

private:
    std::vector<BYTE> m_buffer;
    ub2 m_length = 0;               // the fetched length
};

// DATE (and the timestamp codes the factory sends here), fetched as the 7-byte form
class ora_date : public ora_type {
public:
    ora_date(ora_session& session, OCIParam* param, ub2 type);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

    // one century or year byte of the 7-byte form
    static int canon_dt_item(int value);
    // the broken-down time of the 7 bytes
    static SYSTEMTIME decode(const ub1 bytes[7]);

private:
    ub1 m_buffer[7] = {};
};

// CLOB and BLOB through a locator
class ora_lob : public ora_type {
public:
    ora_lob(ora_session& session, OCIParam* param, ub2 type);
    ~ora_lob() override;
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

    // reads amount (characters of a CLOB, bytes of a BLOB; 0: all of it, piece by piece)
    // from the 1-based offset into buffer of size bytes; amount is set to the bytes read.
    // the client's status: OCI_NEED_DATA while more pieces follow, OCI_NO_DATA at the end
    sword read_lob(ub4 offset, void* buffer, ub4 size, ub4& amount);

private:
    OCILobLocator* m_locator = nullptr;
};

// LONG, LONG RAW, ROWID, intervals and the like, fetched as text
class ora_str_repr : public ora_type {
public:
    ora_str_repr(ora_session& session, OCIParam* param, ub2 type, int size);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

private:
    std::vector<char16_t> m_buffer;
    size_t m_offset = 0;            // LONG RAW: after the "0x" placed first
};

// any other type: every row reads "<unsupported type>"
class ora_dummy : public ora_type {
public:
    ora_dummy(ora_session& session, OCIParam* param);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;
};
