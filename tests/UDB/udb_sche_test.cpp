#include "udb_sche.hpp"
#include "udb_test_util.hpp"

namespace {

// a descriptor of an engine that counts its destruction
class counted_ftd : public t_ftd {
public:
    counted_ftd(const std::wstring& name, int& destroyed, std::wstring type_name)
        : t_ftd(10, name, VT_BSTR, false, false, ole_variant(), 0),
          destroyed(destroyed), type_name(std::move(type_name))
    {
    }
    ~counted_ftd() override { ++destroyed; }
    int& destroyed;
    std::wstring type_name;
};

t_ftd text_field(const std::wstring& name)
{
    return t_ftd(20, name, VT_BSTR, false, false, ole_variant(), 0);
}

}  // namespace

TEST(t_ftd, constructor_keeps_every_field_and_traces_it)
{
    trace_capture trace;
    t_ftd f(12, L"price", VT_DECIMAL, true, false, ole_variant(5), (10 << 8) | 2);
    EXPECT_EQ(f.size, 12);
    EXPECT_EQ(f.name, L"price");
    EXPECT_EQ(f.vartype, VT_DECIMAL);
    EXPECT_TRUE(f.b_not_null);
    EXPECT_FALSE(f.auto_increment);
    EXPECT_EQ(f.default_value.get_vt(), VT_I4);
    EXPECT_EQ(f.default_value.to_string(), "5");
    EXPECT_EQ(f.reserved, 0x0a02);
    EXPECT_TRUE(f.comment.empty());
    EXPECT_TRUE(trace.contains("t_ftd::ctor2"));
    EXPECT_TRUE(trace.contains(
        "\tfield name='price', vartype=14, size=12, b_not_null=1, reserved=2562"));
}

TEST(udb_schema, lookups_are_case_insensitive_and_the_first_match_wins)
{
    udb_schema schema;
    schema.add_field(std::make_unique<t_ftd>(text_field(L"ID")));
    schema.add_field(std::make_unique<t_ftd>(text_field(L"Id")));
    schema.add_field(std::make_unique<t_ftd>(text_field(L"name")));
    EXPECT_EQ(schema.get_field_idx(L"id"), 0);
    EXPECT_EQ(schema.get_field_idx(L"NAME"), 2);
    EXPECT_EQ(schema.get_field_idx(L"none"), -1);
    EXPECT_TRUE(schema.find_field(L"iD"));
    EXPECT_FALSE(schema.find_field(L"i"));
    EXPECT_EQ(&schema.get_field(L"id"), schema.fields[0].get());
    const udb_schema& read_only = schema;
    EXPECT_EQ(&read_only.get_field(L"Name"), schema.fields[2].get());
}

TEST(udb_schema, find_field_on_empty_schema_traces_only_the_entry_line)
{
    trace_capture trace;
    udb_schema schema;
    EXPECT_FALSE(schema.find_field(L"x"));
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"udb_schema::find_field(x)"});
}

TEST(udb_schema, find_field_traces_each_descriptor_it_compares)
{
    udb_schema schema;
    schema.add_field(std::make_unique<t_ftd>(text_field(L"a")));
    schema.add_field(std::make_unique<t_ftd>(text_field(L"b")));
    schema.add_field(std::make_unique<t_ftd>(text_field(L"c")));
    trace_capture trace;
    EXPECT_TRUE(schema.find_field(L"B"));
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"udb_schema::find_field(B)",
                                                        "Processing a", "Processing b"}));
}

TEST(udb_schema, missing_field_that_must_exist_is_internal_error)
{
    udb_schema schema;
    schema.add_field(std::make_unique<t_ftd>(text_field(L"a")));
    EXPECT_MAIL_ASSERTION(schema.get_field(L"b"), "udb_sche.cpp", 312);
    const udb_schema& read_only = schema;
    EXPECT_MAIL_ASSERTION(read_only.get_field(L"b"), "udb_sche.cpp", 327);
}

TEST(udb_schema, set_field_comment_ignores_empty_comment_and_unknown_field)
{
    udb_schema schema;
    schema.add_field(std::make_unique<t_ftd>(text_field(L"A")));
    schema.add_field(std::make_unique<t_ftd>(text_field(L"a")));
    schema.set_field_comment(L"a", L"first");
    EXPECT_EQ(schema.fields[0]->comment, L"first");
    EXPECT_TRUE(schema.fields[1]->comment.empty());
    schema.set_field_comment(L"a", L"");
    EXPECT_EQ(schema.fields[0]->comment, L"first");

    trace_capture trace;
    schema.set_field_comment(L"zz", L"lost");
    EXPECT_TRUE(trace.contains("Field 'zz' not found"));
}

TEST(udb_schema, schema_deletes_engine_descriptors)
{
    int destroyed = 0;
    {
        udb_schema owning;
        owning.add_field(std::make_unique<counted_ftd>(L"a", destroyed, L"varchar"));
        owning.add_field(std::make_unique<counted_ftd>(L"b", destroyed, L"text"));
    }
    // through the virtual destructor, so the engine's own part goes too
    EXPECT_EQ(destroyed, 2);
}
