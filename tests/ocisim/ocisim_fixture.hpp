#pragma once

// an in-process client of the stand-in for its own tests: the calls are those of the client
// library's ABI, linked directly

#include "ora_oci.hpp"
#include "test_ora.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#define OCS_TEST_DECLARE(name, params) extern "C" sword name params;
ORA_OCI_CALLS(OCS_TEST_DECLARE)
#undef OCS_TEST_DECLARE

std::u16string u16(const std::string &ascii_or_utf8);
std::string u8(const char16_t *s, size_t n);

// one environment (UTF-16) with an error handle
struct oci_env
{
    OCIEnv *env = nullptr;
    OCIError *err = nullptr;
    oci_env();
    ~oci_env();
    int code() const;        // the Oracle error number of the last error
    std::string text() const;
};

// one session; statements report the ORA number of a failure (0 on success)
class oci_session
{
public:
    oci_session(oci_env &e, const std::string &user, const std::string &password,
                const std::string &source);
    ~oci_session();
    bool ok() const { return svc_ != nullptr; }
    int logon_code() const { return logon_code_; }

    // 0, or the ORA number; status receives the OCI status
    int exec(const std::string &sql, ub4 mode = OCI_COMMIT_ON_SUCCESS, sword *status = nullptr);
    // rows of a query, values as text ("NULL" for NULL)
    std::vector<std::vector<std::string>> rows(const std::string &sql);
    std::string value(const std::string &sql);

    OCISvcCtx *svc() const { return svc_; }
    oci_env &env() const { return e_; }
    OCIStmt *prepare(const std::string &sql);

private:
    oci_env &e_;
    OCISvcCtx *svc_ = nullptr;
    int logon_code_ = 0;
};

class ocisim_test : public ::testing::Test
{
protected:
    test_ora_schema schema;
    oci_env env;
    std::unique_ptr<oci_session> s;

    void SetUp() override
    {
        s = std::make_unique<oci_session>(env, "scott", "tiger", "ORCL");
        ASSERT_TRUE(s->ok()) << env.text();
    }
    void TearDown() override { s.reset(); }
    void run(const std::string &sql)
    {
        ASSERT_EQ(s->exec(sql), 0) << sql << ": " << env.text();
    }
};
