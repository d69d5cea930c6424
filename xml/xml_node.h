// An element of an XML document: a name, one text value and an ordered list of
// owned child elements, with the case-insensitive lookups by name and path
// that find and create elements, and the element-level text and compact
// serialisation entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/xml_node_pool.h"

namespace zephron {

class TxmlDocument;
class TxmlStream;
namespace xmltext {
class ElementReader;
}
namespace xmlnodes {
class NodePool;
}

class TxmlNode {
 public:
  // Create: sets the parent and the document and counts the node in the
  // document (raising "Max nodes per document exceeded!" past the limit). The
  // node is not inserted anywhere; Add does that.
  TxmlNode(TxmlNode* AParent, TxmlDocument* ADocument);
  // Frees the whole subtree without recursion, so arbitrarily deep trees go.
  virtual ~TxmlNode();
  TxmlNode(const TxmlNode&) = delete;
  TxmlNode& operator=(const TxmlNode&) = delete;

  // Nodes made with `new` come from the heap, those of a load from its pool
  // (xml_node_pool.h); `delete` frees either kind.
  static void* operator new(std::size_t size);
  static void* operator new(std::size_t size, xmlnodes::NodePool& pool);
  static void operator delete(void* node);
  static void operator delete(void* node, xmlnodes::NodePool& pool);

  // ---- the child list ----
  int Count() const { return static_cast<int>(FItems.size()); }
  // The child at a 0-based position; outside 0..Count-1 the list's index error.
  TxmlNode* GetItem(int index) const;
  TxmlNode* Items(int index) const { return GetItem(index); }
  // Appends the node (taking it over and making this node its parent); its
  // index, or -1 for no node. A node from another document, with its whole
  // subtree, then belongs to this node's document (it is not counted again:
  // NodeCount counts creations).
  int Add(std::unique_ptr<TxmlNode> node);
  // Takes the first occurrence of the node out of the list and hands it back
  // (empty when it is not a child).
  std::unique_ptr<TxmlNode> Remove(TxmlNode* node);
  int IndexOf(const TxmlNode* node) const;
  // Frees every child with its subtree; Name and Value stay.
  virtual void Clear();

  // ---- fields and properties ----
  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  const std::string& Value() const { return FValue; }
  void SetValue(std::string value) { FValue = std::move(value); }
  // The escaped form of Value ("<", ">", "&" as "&lt;", "&gt;", "&amp;").
  std::string FileValue() const;
  void SetFileValue(std::string escaped);
  TxmlNode* Parent() const { return FParent; }
  TxmlDocument* Document() const { return FDocument; }
  // Name without everything up to and including its first ":".
  std::string NameWithoutNameSpace() const;

  // ---- typed values (written in the library's number format, xml_number.h) ----
  // 0 for a value that is not a number; TxmlConvertError for a number that
  // is not a 32-bit integer.
  std::int32_t IntValue() const;
  void SetIntValue(std::int32_t value);
  // 0 for a value that is not a number. Date-times are doubles too: days
  // since 30 December 1899, the time of day as the fraction.
  double DoubleValue() const;
  void SetDoubleValue(double value);
  bool HasDoubleValue() const;
  // True exactly for "true" in any letter case.
  bool BoolValue() const;
  void SetBoolValue(bool value);
  // The first UTF-16 unit of the value, 0 when it is empty. Character 0 is
  // kept as the empty value, which reads back as 0.
  char16_t CharValue() const;
  void SetCharValue(char16_t value);

  // ---- named-child forms (NodeByName; a missing child reads as empty, 0 or false) ----
  std::string SubNodeValue(const std::string& Name);
  std::int32_t SubNodeIntValue(const std::string& Name);
  double SubNodeDoubleValue(const std::string& Name);
  char16_t SubNodeCharValue(const std::string& Name);
  bool SubNodeBoolValue(const std::string& Name);
  bool SubNodeValueIsNumber(const std::string& Name);
  // Procedure forms leave `value` alone when the child is missing; the
  // function forms then give the empty string, 0 or false. IgnoreIfNotExist
  // changes nothing (a missing child is never an error), so the function
  // forms go without it, which keeps ReadBool(name, flag) unambiguous.
  void Read(const std::string& SubNodeName, std::string& value, bool IgnoreIfNotExist = true);
  void ReadInt(const std::string& SubNodeName, std::int32_t& value, bool IgnoreIfNotExist = true);
  void ReadDouble(const std::string& SubNodeName, double& value, bool IgnoreIfNotExist = true);
  void ReadDatetime(const std::string& SubNodeName, double& value, bool IgnoreIfNotExist = true);
  void ReadBool(const std::string& SubNodeName, bool& value, bool IgnoreIfNotExist = true);
  std::string Read(const std::string& SubNodeName);
  std::int32_t ReadInt(const std::string& SubNodeName);
  double ReadDouble(const std::string& SubNodeName);
  double ReadDatetime(const std::string& SubNodeName);
  bool ReadBool(const std::string& SubNodeName);
  TxmlNode* Write(const std::string& SubNodeName, const std::string& value);
  TxmlNode* Write(const std::string& SubNodeName, const char* value) { return Write(SubNodeName, std::string(value)); }
  TxmlNode* WriteInt(const std::string& SubNodeName, std::int32_t value);
  TxmlNode* WriteDouble(const std::string& SubNodeName, double value);
  TxmlNode* WriteDatetime(const std::string& SubNodeName, double value);
  TxmlNode* WriteBool(const std::string& SubNodeName, bool value);
  TxmlNode* Append(const std::string& SubNodeName, const std::string& AValue);

  // ---- creation and lookup ----
  // The const char* overload keeps string literals from choosing the
  // Boolean overload.
  TxmlNode* CreateSubNode(const std::string& Name, const std::string& Value);
  TxmlNode* CreateSubNode(const std::string& Name, const char* Value) {
    return CreateSubNode(Name, std::string(Value));
  }
  TxmlNode* CreateSubNode(const std::string& Name, std::int32_t Value);
  TxmlNode* CreateSubNode(const std::string& Name, double Value);
  TxmlNode* CreateSubNode(const std::string& Name, bool Value);
  TxmlNode* NodeByName(const std::string& Name, bool CreateIfNotExists);
  TxmlNode* NodeByNameWithoutNS(const std::string& name, bool CreateIfNotExists);
  TxmlNode* NodeByPath(const std::string& path, bool CreateIfNotExists);
  TxmlNode* NodeByPath(const std::vector<std::string>& path, bool CreateIfNotExists);
  TxmlNode* NodeByPathWithoutNS(const std::string& path);
  TxmlNode* NodeByPathWithoutNS(const std::vector<std::string>& path);
  TxmlNode* StoreSubNode(const std::string& Name, const std::string& Value);
  TxmlNode* StoreSubNode(const std::string& Name, const char* Value) {
    return StoreSubNode(Name, std::string(Value));
  }
  TxmlNode* StoreNodeWithPath(const std::string& Path, const std::string& Value);
  TxmlNode* StoreNodeWithPath(const std::string& Path, const char* Value) {
    return StoreNodeWithPath(Path, std::string(Value));
  }
  // First child whose sub-nodes named in the comma list `subnames` hold the
  // values at the same positions of `subvalues`; none when no child matches.
  TxmlNode* FindSubNode(const std::string& subnames, const std::string& subvalues);
  // Empties (keeping them) every descendant named exactly Name.
  void ClearNodes(const std::string& Name);
  // Takes this node out of its parent and frees it; raises for a node
  // without a parent. The node must not be used afterwards.
  void RemoveYourselfAndFree();
  // The names from below `node` (or from the top when none) down to this one,
  // separated by "/". A node that is not an ancestor counts as none.
  std::string PathFrom(const TxmlNode* node) const;
  TxmlNode* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }
  // The child before this one in the parent's list; none for the first child
  // and for a node without a parent.
  TxmlNode* PreviousSibling() const;

  // ---- serialisation ----
  // Text form of this element and its subtree; Offset (indentation) is raised
  // around the children and back at its entry value afterwards.
  virtual void Save(TxmlStream& stream, int& Offset);
  virtual void SaveCompressed(TxmlStream& stream);
  // Reads one element with its subtree into this node; a node without a
  // parent first works out the character width.
  virtual void Load(TxmlStream& stream);
  virtual void Load(const std::string& text);
  virtual void LoadCompressed(TxmlStream& stream);
  // The text Save writes for this element at indentation 0.
  std::string AsString();
  // A plain "name:value" listing of the subtree.
  std::string AsText() const;

 private:
  friend class TxmlDocument;
  friend class xmltext::ElementReader;  // hands a loaded element its children in one piece

  using NodeList = std::vector<std::unique_ptr<TxmlNode>, xmlnodes::ListAllocator<std::unique_ptr<TxmlNode>>>;

  NodeList FItems;
  std::string FValue;
  std::string FName;
  TxmlNode* FParent;
  TxmlDocument* FDocument;
};

}  // namespace zephron
