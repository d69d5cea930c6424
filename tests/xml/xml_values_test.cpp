// Typed values of elements: the written forms, the number test, the
// conversion error of the integer getter, the named-child forms, and round
// trips that must not depend on the process locale.
#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>

#include "xml/xml.h"
#include "xml/xml_number.h"

namespace zephron::test {
namespace {

class XmlValuesTest : public ::testing::Test {
 protected:
  TxmlDocument doc;
  TxmlNode& root = *doc.Root();
};

TEST_F(XmlValuesTest, DoublesAreWrittenInTheShortestGeneralForm) {
  EXPECT_EQ(xmlnum::FloatToText(1.5), "1.5");
  EXPECT_EQ(xmlnum::FloatToText(-0.1), "-0.1");
  EXPECT_EQ(xmlnum::FloatToText(100), "100");
  EXPECT_EQ(xmlnum::FloatToText(0.00001), "0.00001");
  EXPECT_EQ(xmlnum::FloatToText(0.000001), "1E-6");
  EXPECT_EQ(xmlnum::FloatToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(xmlnum::FloatToText(1234567890123456.0), "1.23456789012346E15");
  EXPECT_EQ(xmlnum::FloatToText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(xmlnum::FloatToText(0.0), "0");
}

TEST_F(XmlValuesTest, IntegerGetterReadsNumbersAndRefusesFractions) {
  EXPECT_EQ(root.SubNodeIntValue("Missing"), 0);
  root.StoreSubNode("Count", "12");
  EXPECT_EQ(root.SubNodeIntValue("count"), 12);
  root.StoreSubNode("Word", "abc");
  EXPECT_EQ(root.SubNodeIntValue("Word"), 0);
  root.StoreSubNode("Padded", "  7");
  EXPECT_EQ(root.SubNodeIntValue("Padded"), 7);
  for (const char* number : {"1.5", "1e3", "3000000000"}) {
    root.StoreSubNode("Odd", number);
    EXPECT_THROW(root.SubNodeIntValue("Odd"), TxmlConvertError) << number;
  }
  EXPECT_TRUE(root.SubNodeValueIsNumber("Odd"));
  EXPECT_FALSE(root.SubNodeValueIsNumber("Word"));
  EXPECT_FALSE(root.SubNodeValueIsNumber("Missing"));
  root.StoreSubNode("Comma", "1,5");
  EXPECT_FALSE(root.NodeByName("Comma", false)->HasDoubleValue());
  EXPECT_EQ(root.SubNodeDoubleValue("Comma"), 0.0);
}

TEST_F(XmlValuesTest, BooleansAndCharacters) {
  root.WriteBool("Flag", true);
  EXPECT_EQ(root.SubNodeValue("Flag"), "true");
  EXPECT_TRUE(root.SubNodeBoolValue("flag"));
  root.StoreSubNode("Flag", "TRUE");
  EXPECT_TRUE(root.SubNodeBoolValue("Flag"));
  root.StoreSubNode("Flag", "yes");
  EXPECT_FALSE(root.SubNodeBoolValue("Flag"));
  EXPECT_FALSE(root.SubNodeBoolValue("Missing"));

  TxmlNode* c = root.CreateSubNode("Char", "Ärger");
  EXPECT_EQ(c->CharValue(), u'Ä');
  c->SetCharValue(u'€');
  EXPECT_EQ(c->Value(), "€");
  c->SetCharValue(0);
  EXPECT_EQ(c->Value(), "");
  EXPECT_EQ(root.SubNodeCharValue("Char"), 0);
  EXPECT_EQ(root.SubNodeCharValue("Missing"), 0);
}

TEST_F(XmlValuesTest, ReadFormsLeaveTheTargetAloneForAMissingChild) {
  root.WriteInt("N", -42);
  root.WriteDatetime("When", 45000.75);  // an evening in March 2023
  root.Write("S", "text");
  root.Append("S", " more");
  std::int32_t n = 5, m = 5;
  double when = 1, other = 1;
  std::string s = "keep", t = "keep";
  bool b = true;
  root.ReadInt("N", n);
  root.ReadInt("Missing", m);
  root.ReadDatetime("When", when);
  root.ReadDouble("Missing", other);
  root.Read("S", s);
  root.Read("Missing", t);
  root.ReadBool("Missing", b);
  EXPECT_EQ(n, -42);
  EXPECT_EQ(m, 5);
  EXPECT_EQ(when, 45000.75);
  EXPECT_EQ(other, 1);
  EXPECT_EQ(s, "text more");
  EXPECT_EQ(t, "keep");
  EXPECT_TRUE(b);
  EXPECT_EQ(root.ReadInt("N"), -42);
  EXPECT_EQ(root.ReadInt("Missing"), 0);
  EXPECT_EQ(root.Read("Missing"), "");
  EXPECT_THROW(root.WriteInt("a/b", 1), TxmlError);
}

// Values written under one locale are read under another: the separator
// must be "." whatever the process says.
class XmlValuesLocaleTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, GetParam()), nullptr) << GetParam() << " is not installed (locales-all)";
#ifndef _WIN32
    // The C++ library of the Windows build knows no named locales; the C one does.
    std::locale::global(std::locale(GetParam()));
#endif
  }
  void TearDown() override {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, saved_.c_str());
  }
  std::string saved_;
};

TEST_P(XmlValuesLocaleTest, TypedValuesRoundTripThroughAFile) {
  TxmlDocument doc;
  TxmlNode& root = *doc.Root();
  root.SetName("Values");
  root.WriteDouble("Price", 1234.5);
  root.WriteDatetime("When", 45000.125);
  root.WriteInt("Count", -1234567);
  root.CreateSubNode("Tiny", 1.5e-7);
  root.CreateSubNode("On", true);
  EXPECT_EQ(root.SubNodeValue("Price"), "1234.5");
  EXPECT_EQ(root.SubNodeValue("Tiny"), "1.5E-7");

  TxmlDocument back;
  back.LoadFromStringAuto(doc.AsString());
  TxmlNode& r = *back.Root();
  EXPECT_EQ(r.SubNodeDoubleValue("Price"), 1234.5);
  EXPECT_EQ(r.ReadDatetime("When"), 45000.125);
  EXPECT_EQ(r.SubNodeIntValue("Count"), -1234567);
  EXPECT_EQ(r.SubNodeDoubleValue("Tiny"), 1.5e-7);
  EXPECT_TRUE(r.SubNodeValueIsNumber("Price"));
  EXPECT_TRUE(r.SubNodeBoolValue("On"));
}

INSTANTIATE_TEST_SUITE_P(Locales, XmlValuesLocaleTest, 
#ifdef _WIN32
                         ::testing::Values("German_Germany.1252", "French_France.1252"));
#else
                         ::testing::Values("de_DE.UTF-8", "fr_FR.UTF-8"));
#endif

}  // namespace
}  // namespace zephron::test
