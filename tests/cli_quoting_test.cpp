// File names on a terminal: quoted as ls quotes them, never able to move the
// cursor, retitle the terminal or break a line.
#include <gtest/gtest.h>

#include <string>

#include "outputs/quoting.h"

namespace {

struct QuotingCase {
  std::string name;
  std::string shown;   // ShownName
  std::string quoted;  // QuotedName
};

class Quoting : public testing::TestWithParam<QuotingCase> {};

TEST_P(Quoting, NamesAreQuotedOnlyAsMuchAsAShellNeeds) {
  const QuotingCase& c = GetParam();
  EXPECT_EQ(ShownName(c.name), c.shown);
  EXPECT_EQ(QuotedName(c.name), c.quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Quoting,
    testing::Values(QuotingCase{"stamp.txt", "stamp.txt", "'stamp.txt'"},
                    QuotingCase{"dumps/site-4_2024:01.txt", "dumps/site-4_2024:01.txt",
                                "'dumps/site-4_2024:01.txt'"},
                    QuotingCase{"", "''", "''"},
                    QuotingCase{"my dump.txt", "'my dump.txt'", "'my dump.txt'"},
                    QuotingCase{"it's.txt", "\"it's.txt\"", "\"it's.txt\""},
                    QuotingCase{"it's $5.txt", "'it'\\''s $5.txt'", "'it'\\''s $5.txt'"},
                    QuotingCase{"~home", "'~home'", "'~home'"}, QuotingCase{"a~b", "a~b", "'a~b'"},
                    QuotingCase{"caf\xc3\xa9.txt", "caf\xc3\xa9.txt", "'caf\xc3\xa9.txt'"},
                    QuotingCase{"st\namp.txt", "'st'$'\\n''amp.txt'", "'st'$'\\n''amp.txt'"},
                    QuotingCase{"\x1b]0;owned\x07.txt", "$'\\033'']0;owned'$'\\a''.txt'",
                                "$'\\033'']0;owned'$'\\a''.txt'"},
                    QuotingCase{"x\xff\xfe", "'x'$'\\377\\376'", "'x'$'\\377\\376'"},
                    // C1 controls and the marks that turn text around are escaped.
                    QuotingCase{"a\xc2\x9b"
                                "b",
                                "'a'$'\\302\\233''b'", "'a'$'\\302\\233''b'"},
                    QuotingCase{"\xe2\x80\xae"
                                "txt.exe",
                                "$'\\342\\200\\256''txt.exe'", "$'\\342\\200\\256''txt.exe'"},
                    QuotingCase{"tab\t", "'tab'$'\\t'", "'tab'$'\\t'"}));

}  // namespace
