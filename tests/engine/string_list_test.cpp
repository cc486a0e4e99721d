#include "engine/string_list.h"

#include <gtest/gtest.h>

namespace zembra::engine {
namespace {

TEST(TStringList, NamesMatchWithoutCaseAndOnlyOnLinesWithEquals) {
  const TStringList list{"qmin", "G=15", "maxrate=1150000", "x264-params=ref=3:bframes=3", "g=9"};
  struct Case {
    const char* name;
    int index;
    const char* value;
  };
  const Case cases[] = {
      {"g", 1, "15"},  // the first of two lines with the same name
      {"MAXRATE", 2, "1150000"},
      {"x264-params", 3, "ref=3:bframes=3"},  // the value runs from the first "="
      {"qmin", -1, ""},                       // a line without "=" has no name
      {"bufsize", -1, ""},
      {"", -1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list.IndexOfName(c.name), c.index) << c.name;
    EXPECT_EQ(list.Values(c.name), c.value) << c.name;
  }
  EXPECT_EQ(list.Names(3), "x264-params");
  EXPECT_EQ(list.Names(0), "");
  EXPECT_EQ(list.ValueFromIndex(0), "");
  EXPECT_EQ(list.IndexOf("g=9"), 4);
  EXPECT_EQ(list.IndexOf("G=9"), -1);
}

TEST(TStringList, SetValuesReplacesAppendsAndRemoves) {
  TStringList list{"a=1", "b=2", "c=3"};
  list.SetValues("B", "20");  // in place
  EXPECT_EQ(list, (TStringList{"a=1", "B=20", "c=3"}));
  list.SetValues("d", "4");  // appended
  EXPECT_EQ(list, (TStringList{"a=1", "B=20", "c=3", "d=4"}));
  list.SetValues("a", "");  // removed
  EXPECT_EQ(list, (TStringList{"B=20", "c=3", "d=4"}));
  list.SetValues("missing", "");  // nothing to remove
  EXPECT_EQ(list.Count(), 3U);
  EXPECT_THROW(list.Delete(3), std::out_of_range);
}

}  // namespace
}  // namespace zembra::engine
