// String lists kept under an element: one "Item" child per string, and a
// multi-line text kept in one child's value.
#pragma once

#include <string>
#include <vector>

#include "xml/xml_node.h"

namespace zephron {

// Replaces every "Item" child (any letter case) by one per string, after the
// other children, which keep their places.
void StoreStringList(TxmlNode& node, const std::vector<std::string>& list);
// Appends the values of the children named exactly "Item" to the list.
void RestoreStringList(TxmlNode& node, std::vector<std::string>& list);
// The list becomes the lines of the child's value (CR LF, CR or LF end a
// line; a line break at the end adds no empty line).
void RestoreStrings(TxmlNode& node, const std::string& Name, std::vector<std::string>& strings);

}  // namespace zephron
