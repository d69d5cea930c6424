#include "xml/xml_string_lists.h"

#include "platform/ascii_case.h"

namespace zephron {

void StoreStringList(TxmlNode& node, const std::vector<std::string>& list) {
  std::vector<TxmlNode*> items;
  for (int i = 0; i < node.Count(); ++i) {
    if (platform::SameTextAscii(node.Items(i)->Name(), "Item")) items.push_back(node.Items(i));
  }
  for (TxmlNode* item : items) node.Remove(item);
  for (const auto& text : list) node.CreateSubNode("Item", text);
}

void RestoreStringList(TxmlNode& node, std::vector<std::string>& list) {
  for (int i = 0; i < node.Count(); ++i) {
    if (node.Items(i)->Name() == "Item") list.push_back(node.Items(i)->Value());
  }
}

void RestoreStrings(TxmlNode& node, const std::string& Name, std::vector<std::string>& strings) {
  const std::string text = node.SubNodeValue(Name);
  strings.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    strings.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) strings.push_back(text.substr(start));
}

}  // namespace zephron
