// An element of an XML document: a name, one text value and an ordered list of
// owned child elements, with the case-insensitive lookups by name and path
// that find and create elements, and the element-level text and compact
// serialisation entry points.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zephron {

class TxmlDocument;
class TxmlStream;

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

  // ---- creation and lookup ----
  // (Typed overloads of CreateSubNode and the typed value properties come
  // with the persistence helpers; the const char* overloads keep string
  // literals from choosing a Boolean overload then.)
  TxmlNode* CreateSubNode(const std::string& Name, const std::string& Value);
  TxmlNode* CreateSubNode(const std::string& Name, const char* Value) {
    return CreateSubNode(Name, std::string(Value));
  }
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

  std::vector<std::unique_ptr<TxmlNode>> FItems;
  std::string FValue;
  std::string FName;
  TxmlNode* FParent;
  TxmlDocument* FDocument;
};

}  // namespace zephron
