#include "convert/field_properties.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

NativeFieldType kindOf(NativeKind kind) {
  NativeFieldType t;
  t.kind = kind;
  return t;
}

// Each Access property as FoxPro keeps it, or named as left out.
TEST(FieldProperties, TranslatedWhereFoxProHasTheSameThing) {
  struct Case {
    NativeKind kind;
    const char* defaultValue;
    const char* rule;
    const char* ruleText;
    const char* clauses;
    const char* leftOut;
  } cases[] = {
      {NativeKind::Number, "=0", ">=0", "No negatives.", " DEFAULT 0 CHECK Col >= 0 ERROR 'No negatives.'", ""},
      {NativeKind::Integer, "+5", "[Field One]<>0", "", " DEFAULT 5 CHECK Col <> 0", ""},
      {NativeKind::Double, "", "Between 0 And 1", "", " CHECK BETWEEN(Col, 0, 1)", ""},
      {NativeKind::Text, "\"It\"\"s\"", "Is Not Null", "", " DEFAULT 'It\"s' CHECK !ISNULL(Col)", ""},
      {NativeKind::Text, "42", "<>''", "", " DEFAULT '42' CHECK Col <> ''", ""},
      {NativeKind::Memo, "'O''Neil'", "", "", " DEFAULT 'O''Neil'", ""},
      {NativeKind::Logical, "Yes", "", "", " DEFAULT .T.", ""},
      {NativeKind::DateTime, "Now()", "<Date()", "", " DEFAULT DATETIME() CHECK Col < DTOT(DATE())", ""},
      {NativeKind::DateTime, "#1/2/2020 9:05#", "", "", " DEFAULT {^2020-01-02 09:05:00}", ""},
      {NativeKind::Text, "GenGUID()", "Like \"A*\"", "Starts with A.", "",
       "Field One.DefaultValue (GenGUID()), Field One.ValidationRule (Like \"A*\")"},
      {NativeKind::Integer, "\"x\"", "", "", "", "Field One.DefaultValue (\"x\")"},
  };
  for (const Case& c : cases) {
    data::FieldInfo f{"Field One", 0};
    if (*c.defaultValue) f.properties["DefaultValue"] = Value(std::string(c.defaultValue));
    if (*c.rule) f.properties["ValidationRule"] = Value(std::string(c.rule));
    if (*c.ruleText) f.properties["ValidationText"] = Value(std::string(c.ruleText));
    const FieldProperties p = TranslateFieldProperties(f, kindOf(c.kind), "T", "Col");
    EXPECT_EQ(p.clauses, c.clauses) << c.defaultValue << " " << c.rule;
    std::string leftOut;
    for (const auto& l : p.leftOut) leftOut += (leftOut.empty() ? "" : ", ") + l;
    EXPECT_EQ(leftOut, c.leftOut) << c.defaultValue << " " << c.rule;
  }
  data::FieldInfo f{"Freight", 0};
  f.properties["Caption"] = Value(std::string("Shipping"));
  f.properties["Description"] = Value(std::string("What it costs\r\nto ship"));
  EXPECT_EQ(TranslateFieldProperties(f, kindOf(NativeKind::Number), "Order Lines", "Freight").statements,
            (std::vector<std::string>{"DBSETPROP('Order Lines.Freight', 'FIELD', 'Caption', 'Shipping')",
                                      "DBSETPROP('Order Lines.Freight', 'FIELD', 'Comment', 'What it costs'+CHR(13)+"
                                      "CHR(10)+'to ship')"}));
}

}  // namespace
}  // namespace tw
