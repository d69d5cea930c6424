// The typed value accessors of TxmlNode and their named-child forms.
#include <string>

#include "platform/ascii_case.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"
#include "xml/xml_number.h"
#include "xml/xml_unicode.h"

namespace zephron {

std::int32_t TxmlNode::IntValue() const {
  if (!xmlnum::TextToFloat(FValue)) return 0;
  const auto value = xmlnum::TextToInt(FValue);
  if (!value) throw TxmlConvertError(xmlerr::NotAnInteger(FValue));
  return *value;
}

void TxmlNode::SetIntValue(std::int32_t value) { FValue = xmlnum::IntToText(value); }

double TxmlNode::DoubleValue() const { return xmlnum::TextToFloat(FValue).value_or(0.0); }

void TxmlNode::SetDoubleValue(double value) { FValue = xmlnum::FloatToText(value); }

bool TxmlNode::HasDoubleValue() const { return xmlnum::TextToFloat(FValue).has_value(); }

bool TxmlNode::BoolValue() const { return platform::SameTextAscii(FValue, "true"); }

void TxmlNode::SetBoolValue(bool value) { FValue = value ? "true" : "false"; }

char16_t TxmlNode::CharValue() const {
  if (FValue.empty()) return 0;
  const std::u16string units = xmlchars::Utf8ToUtf16(FValue);
  return units.empty() ? char16_t{0} : units.front();
}

void TxmlNode::SetCharValue(char16_t value) {
  FValue = value == 0 ? std::string() : xmlchars::Utf16ToUtf8(std::u16string(1, value));
}

std::string TxmlNode::SubNodeValue(const std::string& Name) {
  const TxmlNode* node = NodeByName(Name, false);
  return node != nullptr ? node->FValue : std::string();
}

std::int32_t TxmlNode::SubNodeIntValue(const std::string& Name) {
  const TxmlNode* node = NodeByName(Name, false);
  return node != nullptr ? node->IntValue() : 0;
}

double TxmlNode::SubNodeDoubleValue(const std::string& Name) {
  const TxmlNode* node = NodeByName(Name, false);
  return node != nullptr ? node->DoubleValue() : 0.0;
}

char16_t TxmlNode::SubNodeCharValue(const std::string& Name) {
  const TxmlNode* node = NodeByName(Name, false);
  return node != nullptr ? node->CharValue() : char16_t{0};
}

bool TxmlNode::SubNodeBoolValue(const std::string& Name) {
  const TxmlNode* node = NodeByName(Name, false);
  return node != nullptr && node->BoolValue();
}

bool TxmlNode::SubNodeValueIsNumber(const std::string& Name) {
  const TxmlNode* node = NodeByName(Name, false);
  return node != nullptr && node->HasDoubleValue();
}

void TxmlNode::Read(const std::string& SubNodeName, std::string& value, bool) {
  if (const TxmlNode* node = NodeByName(SubNodeName, false)) value = node->FValue;
}

void TxmlNode::ReadInt(const std::string& SubNodeName, std::int32_t& value, bool) {
  if (const TxmlNode* node = NodeByName(SubNodeName, false)) value = node->IntValue();
}

void TxmlNode::ReadDouble(const std::string& SubNodeName, double& value, bool) {
  if (const TxmlNode* node = NodeByName(SubNodeName, false)) value = node->DoubleValue();
}

void TxmlNode::ReadDatetime(const std::string& SubNodeName, double& value, bool IgnoreIfNotExist) {
  ReadDouble(SubNodeName, value, IgnoreIfNotExist);
}

void TxmlNode::ReadBool(const std::string& SubNodeName, bool& value, bool) {
  if (const TxmlNode* node = NodeByName(SubNodeName, false)) value = node->BoolValue();
}

std::string TxmlNode::Read(const std::string& SubNodeName) { return SubNodeValue(SubNodeName); }
std::int32_t TxmlNode::ReadInt(const std::string& SubNodeName) { return SubNodeIntValue(SubNodeName); }
double TxmlNode::ReadDouble(const std::string& SubNodeName) { return SubNodeDoubleValue(SubNodeName); }
double TxmlNode::ReadDatetime(const std::string& SubNodeName) { return SubNodeDoubleValue(SubNodeName); }
bool TxmlNode::ReadBool(const std::string& SubNodeName) { return SubNodeBoolValue(SubNodeName); }

TxmlNode* TxmlNode::Write(const std::string& SubNodeName, const std::string& value) {
  return StoreSubNode(SubNodeName, value);
}

TxmlNode* TxmlNode::WriteInt(const std::string& SubNodeName, std::int32_t value) {
  return StoreSubNode(SubNodeName, xmlnum::IntToText(value));
}

TxmlNode* TxmlNode::WriteDouble(const std::string& SubNodeName, double value) {
  return StoreSubNode(SubNodeName, xmlnum::FloatToText(value));
}

TxmlNode* TxmlNode::WriteDatetime(const std::string& SubNodeName, double value) {
  return WriteDouble(SubNodeName, value);
}

TxmlNode* TxmlNode::WriteBool(const std::string& SubNodeName, bool value) {
  return StoreSubNode(SubNodeName, value ? "true" : "false");
}

TxmlNode* TxmlNode::Append(const std::string& SubNodeName, const std::string& AValue) {
  TxmlNode* node = NodeByName(SubNodeName, true);
  node->FValue += AValue;
  return node;
}

TxmlNode* TxmlNode::CreateSubNode(const std::string& Name, std::int32_t Value) {
  return CreateSubNode(Name, xmlnum::IntToText(Value));
}

TxmlNode* TxmlNode::CreateSubNode(const std::string& Name, double Value) {
  return CreateSubNode(Name, xmlnum::FloatToText(Value));
}

TxmlNode* TxmlNode::CreateSubNode(const std::string& Name, bool Value) {
  return CreateSubNode(Name, std::string(Value ? "true" : "false"));
}

}  // namespace zephron
