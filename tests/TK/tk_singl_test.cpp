#include "tk_singl.hpp"
#include "tk_test_files.hpp"

#include <gtest/gtest.h>
#include <memory>

namespace {

class service : public tk_singleton<service> {
public:
    explicit service(int id) : id(id) {}
    int id;
};

class other_service : public tk_singleton<other_service> {};

} // namespace

TEST(tk_singleton, second_instance_is_an_internal_error_and_first_stays)
{
    service first(1);
    EXPECT_TK_ASSERTION(service second(2), "..\\TK/tk_singl.hpp", 35);
    EXPECT_EQ(service::instance().id, 1);
    EXPECT_EQ(&service::instance(), &first);
}

TEST(tk_singleton, access_without_instance_is_an_internal_error_then_new_instance_works)
{
    EXPECT_FALSE(service::has_instance());
    {
        service only(3);
        EXPECT_TRUE(service::has_instance());
    }
    EXPECT_FALSE(service::has_instance());
    EXPECT_TK_ASSERTION(service::instance(), "..\\TK/tk_singl.hpp", 59);
    EXPECT_TK_ASSERTION(service::trace_instance(), "..\\TK/tk_singl.hpp", 66);
    auto again = std::make_unique<service>(4);
    EXPECT_EQ(service::instance().id, 4);
}

TEST(tk_singleton, each_type_has_its_own_instance)
{
    service s(5);
    EXPECT_FALSE(other_service::has_instance());
    other_service o;
    EXPECT_EQ(&other_service::instance(), &o);
    EXPECT_EQ(&service::instance(), &s);
}
