// Acceptance of the reader over cases written from RFC 8259, in the naming
// of the common conformance collections: y_ must be accepted, n_ must be
// rejected, i_ is left to the implementation. Where this reader departs from
// the RFC on purpose, `rfc` says what the RFC itself would do.
#include "JsonTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace addoscope::json {
namespace {

enum TOutcome { Accept, Reject };

struct TCase {
    const char* FName;
    std::string FText;
    TOutcome FExpected;
    TOutcome FRfc;
};

std::string Deep(int depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

const TCase Cases[] = {
    // Structure.
    {"y_object_empty", "{}", Accept, Accept},
    {"y_object_simple", R"({"a":"b"})", Accept, Accept},
    {"y_object_duplicated_key", R"({"a":1,"a":2})", Accept, Accept},
    {"y_object_empty_key", R"({"":0})", Accept, Accept},
    {"y_object_whitespace_everywhere", " {\t\"a\"\r\n:\n[ 1 , 2 ] , \"b\" : { } } ", Accept, Accept},
    {"y_object_nested", R"({"a":{"b":{"c":[{}]}}})", Accept, Accept},
    {"y_array_empty", "[]", Accept, Accept},
    {"y_array_mixed", R"([1,"a",true,false,null,{},[]])", Accept, Accept},
    {"y_array_with_leading_space", " [1]", Accept, Accept},
    {"n_object_trailing_comma", R"({"a":1,})", Reject, Reject},
    {"n_object_unquoted_key", "{a:1}", Reject, Reject},
    {"n_object_single_quote", "{'a':1}", Reject, Reject},
    {"n_object_missing_colon", R"({"a" 1})", Reject, Reject},
    {"n_object_missing_value", R"({"a":})", Reject, Reject},
    {"n_object_double_colon", R"({"a"::1})", Reject, Reject},
    {"n_object_comma_instead_of_colon", R"({"a",1})", Reject, Reject},
    {"n_object_non_string_key", "{1:1}", Reject, Reject},
    {"n_object_lone_comma", "{,}", Reject, Reject},
    {"n_object_missing_separator", R"({"a":1 "b":2})", Reject, Reject},
    {"n_object_unclosed", R"({"a":1)", Reject, Reject},
    {"n_object_trailing_garbage", R"({"a":1} x)", Reject, Reject},
    {"n_object_comment", R"({"a":1 /* c */})", Reject, Reject},
    {"n_array_trailing_comma", "[1,]", Reject, Reject},
    {"n_array_leading_comma", "[,1]", Reject, Reject},
    {"n_array_double_comma", "[1,,2]", Reject, Reject},
    {"n_array_missing_separator", "[1 2]", Reject, Reject},
    {"n_array_unclosed", "[1", Reject, Reject},
    {"n_array_unclosed_empty", "[", Reject, Reject},
    {"n_array_extra_close", "[1]]", Reject, Reject},
    {"n_array_colon", R"(["a":1])", Reject, Reject},
    {"n_structure_empty", "", Reject, Reject},
    {"n_structure_only_whitespace", " \n ", Reject, Reject},
    {"n_structure_two_values", "[] []", Reject, Reject},
    {"n_structure_nul_after", std::string("[]\0", 3), Reject, Reject},
    {"n_structure_form_feed_whitespace", "[\f1]", Reject, Reject},
    {"n_structure_nbsp_whitespace", "[\xC2\xA0" "1]", Reject, Reject},
    {"n_structure_lone_close", "}", Reject, Reject},
    // Scalars at the top level.
    {"y_structure_lonely_string", R"("x")", Accept, Accept},
    {"y_structure_lonely_number", "42", Accept, Accept},
    {"y_structure_lonely_true", "true", Accept, Accept},
    {"y_structure_lonely_null", "null", Accept, Accept},
    {"y_structure_leading_space_scalar", "  7", Accept, Accept},
    {"y_structure_trailing_space_container", "[1] \r\n\t", Accept, Accept},
    {"y_structure_scalar_trailing_space", "7 ", Reject, Accept},
    {"y_structure_string_trailing_newline", "\"x\"\n", Reject, Accept},
    // Literals.
    {"n_literal_capital", "[True]", Reject, Reject},
    {"n_literal_truncated", "[tru]", Reject, Reject},
    {"n_literal_glued", "[truefalse]", Reject, Reject},
    {"n_literal_extra_letter", "[nulll]", Reject, Reject},
    {"n_literal_nan", "[NaN]", Reject, Reject},
    {"n_literal_infinity", "[-Infinity]", Reject, Reject},
    // Numbers.
    {"y_number_zero", "[0]", Accept, Accept},
    {"y_number_negative_zero", "[-0]", Accept, Accept},
    {"y_number_fraction", "[1.5]", Accept, Accept},
    {"y_number_exponent_forms", "[1e5,1E5,1e+5,1e-5,1.5E-5]", Accept, Accept},
    {"y_number_huge_exponent", "[1e99999]", Accept, Accept},
    {"y_number_long_integer", "[123456789012345678901234567890]", Accept, Accept},
    {"n_number_leading_zero", "[01]", Reject, Reject},
    {"n_number_negative_leading_zero", "[-01]", Reject, Reject},
    {"n_number_plus_sign", "[+1]", Reject, Reject},
    {"n_number_leading_point", "[.5]", Reject, Reject},
    {"n_number_trailing_point", "[1.]", Reject, Reject},
    {"n_number_point_exponent", "[1.e5]", Reject, Reject},
    {"n_number_empty_exponent", "[1e]", Reject, Reject},
    {"n_number_exponent_sign_only", "[1e+]", Reject, Reject},
    {"n_number_minus_only", "[-]", Reject, Reject},
    {"n_number_minus_exponent", "[-e5]", Reject, Reject},
    {"n_number_hex", "[0x1]", Reject, Reject},
    {"n_number_two_points", "[1.2.3]", Reject, Reject},
    {"n_number_minus_space", "[- 1]", Reject, Reject},
    // Strings.
    {"y_string_escapes", R"(["\"\\\/\b\f\n\r\t"])", Accept, Accept},
    {"y_string_unicode_escape", R"(["\u0041\u00e9\uFFFF"])", Accept, Accept},
    {"y_string_escaped_surrogate_pair", R"(["\uD83D\uDE00"])", Accept, Accept},
    {"y_string_raw_utf8", "[\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"]", Accept, Accept},
    {"y_string_escaped_nul", R"(["\u0000"])", Accept, Accept},
    {"i_string_lone_high_surrogate_escape", R"(["\uD800"])", Accept, Accept},
    {"i_string_reversed_surrogate_escapes", R"(["\uDC00\uD800"])", Accept, Accept},
    {"n_string_unterminated", R"(["abc)", Reject, Reject},
    {"n_string_single_quoted", "['a']", Reject, Reject},
    {"n_string_bad_escape", R"(["\a"])", Reject, Reject},
    {"n_string_escaped_apostrophe", R"(["\'"])", Reject, Reject},
    {"n_string_short_unicode_escape", R"(["\u12"])", Reject, Reject},
    {"n_string_non_hex_unicode_escape", R"(["\u12x4"])", Reject, Reject},
    {"n_string_capital_u_escape", R"(["\U0041"])", Reject, Reject},
    {"n_string_backslash_at_end", "[\"\\", Reject, Reject},
    {"n_string_escaped_raw_letter", "[\"\\\xC3\xA9\"]", Reject, Reject},
    {"n_string_raw_control_tab", "[\"a\tb\"]", Accept, Reject},
    {"n_string_raw_newline", "[\"a\nb\"]", Accept, Reject},
    {"n_string_raw_nul", std::string("[\"\0\"]", 5), Accept, Reject},
    // Encoding.
    {"i_structure_utf8_bom", "\xEF\xBB\xBF{}", Accept, Accept},
    {"n_structure_bom_only", "\xEF\xBB\xBF", Reject, Reject},
    {"n_string_lone_continuation_byte", "[\"\x80\"]", Reject, Reject},
    {"n_string_truncated_two_byte", "[\"\xC3\"]", Reject, Reject},
    {"n_string_truncated_at_end", "[\"\xE2\x82", Reject, Reject},
    {"n_string_bad_continuation", "[\"\xE2\x41\x41\"]", Reject, Reject},
    {"n_string_invalid_lead_FF", "[\"\xFF\"]", Reject, Reject},
    {"n_string_five_byte_form", "[\"\xF8\x88\x80\x80\x80\"]", Reject, Reject},
    {"n_string_beyond_10FFFF", "[\"\xF4\x90\x80\x80\"]", Reject, Reject},
    {"n_string_overlong_slash", "[\"\xC0\xAF\"]", Accept, Reject},
    {"n_string_encoded_surrogate", "[\"\xED\xA0\x80\"]", Accept, Reject},
    {"n_structure_raw_letter_outside_string", "[\xC3\xA9]", Reject, Reject},
    // Depth.
    {"y_structure_deep_512", Deep(512), Accept, Accept},
    {"i_structure_deep_513", Deep(513), Reject, Accept},
    {"i_structure_deep_100000", Deep(100000), Reject, Accept},
};

class JsonConformance : public ::testing::TestWithParam<TCase> {};

TEST_P(JsonConformance, Outcome)
{
    const TCase& c = GetParam();
    const bool accepted = test::Parse(c.FText) != nullptr;
    EXPECT_EQ(accepted, c.FExpected == Accept) << c.FName;
}

INSTANTIATE_TEST_SUITE_P(Rfc8259, JsonConformance, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<TCase>& param) { return std::string(param.param.FName); });

} // namespace
} // namespace addoscope::json
