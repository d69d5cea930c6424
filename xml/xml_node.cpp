#include "xml/xml_node.h"

#include <cstring>
#include <limits>

#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_node_pool.h"
#include "xml/xml_unicode.h"

namespace zephron {

namespace {

// The run-time string list's comma text: items separated by commas or blanks,
// an item in double quotes may hold either (a doubled quote stands for one).
std::vector<std::string> SplitCommaText(const std::string& text) {
  std::vector<std::string> items;
  std::size_t p = 0;
  const std::size_t n = text.size();
  auto isBlank = [&](std::size_t i) {
    return i < n && text[i] != '\0' && static_cast<unsigned char>(text[i]) <= ' ';
  };
  while (isBlank(p)) ++p;
  while (p < n && text[p] != '\0') {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item.push_back('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item.push_back(text[p++]);
      }
    } else {
      const std::size_t start = p;
      while (p < n && static_cast<unsigned char>(text[p]) > ' ' && text[p] != ',') ++p;
      item.assign(text, start, p - start);
    }
    items.push_back(std::move(item));
    while (isBlank(p)) ++p;
    if (p < n && text[p] == ',') {
      if (p + 1 >= n || text[p + 1] == '\0') items.emplace_back();
      do {
        ++p;
      } while (isBlank(p));
    }
  }
  return items;
}

std::string_view WithoutPrefix(std::string_view name) {
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

}  // namespace

static_assert(alignof(TxmlNode) <= alignof(void*), "pooled nodes are aligned like pointers");

void* TxmlNode::operator new(std::size_t size) { return xmlnodes::AllocateHeapNode(size); }
void* TxmlNode::operator new(std::size_t size, xmlnodes::NodePool& pool) { return pool.Allocate(size); }
void TxmlNode::operator delete(void* node) { xmlnodes::FreeNode(node); }
void TxmlNode::operator delete(void* node, xmlnodes::NodePool&) { xmlnodes::FreeNode(node); }

TxmlNode::TxmlNode(TxmlNode* AParent, TxmlDocument* ADocument) : FParent(AParent), FDocument(ADocument) {
  if (ADocument != nullptr) {
    if (ADocument->NodeCount < std::numeric_limits<std::int32_t>::max()) ++ADocument->NodeCount;
    if (ADocument->NodeCount > TxmlDocument::kMaxNodes) throw TxmlError(xmlerr::kMaxNodes);
  }
}

TxmlNode::~TxmlNode() { TxmlNode::Clear(); }

void TxmlNode::Clear() {
  // Children are unlinked before they go, so no destructor recurses.
  NodeList pending = std::move(FItems);
  FItems.clear();
  while (!pending.empty()) {
    std::unique_ptr<TxmlNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->FItems) pending.push_back(std::move(child));
    node->FItems.clear();
  }
}

TxmlNode* TxmlNode::GetItem(int index) const {
  if (index < 0 || index >= Count()) throw TxmlError(xmlerr::ListIndexOutOfBounds(index));
  return FItems[static_cast<std::size_t>(index)].get();
}

int TxmlNode::Add(std::unique_ptr<TxmlNode> node) {
  if (node == nullptr) return -1;
  node->FParent = this;
  // A subtree taken from another document must not keep pointing at it: that
  // document may be freed while the subtree lives on here.
  if (node->FDocument != FDocument) {
    std::vector<TxmlNode*> pending{node.get()};
    while (!pending.empty()) {
      TxmlNode* n = pending.back();
      pending.pop_back();
      n->FDocument = FDocument;
      for (const auto& child : n->FItems) pending.push_back(child.get());
    }
  }
  FItems.push_back(std::move(node));
  return Count() - 1;
}

std::unique_ptr<TxmlNode> TxmlNode::Remove(TxmlNode* node) {
  const int index = IndexOf(node);
  if (index < 0) return nullptr;
  std::unique_ptr<TxmlNode> taken = std::move(FItems[static_cast<std::size_t>(index)]);
  FItems.erase(FItems.begin() + index);
  taken->FParent = nullptr;
  return taken;
}

int TxmlNode::IndexOf(const TxmlNode* node) const {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == node) return static_cast<int>(i);
  }
  return -1;
}

std::string TxmlNode::FileValue() const {
  if (FValue.find_first_of("<>&") == std::string::npos) return FValue;
  std::string out;
  out.reserve(FValue.size() + 16);
  for (const char c : FValue) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

void TxmlNode::SetFileValue(std::string escaped) {
  escaped.resize(xmlchars::UnescapeInPlace(escaped.data(), escaped.size()));
  FValue = std::move(escaped);
}

std::string TxmlNode::NameWithoutNameSpace() const { return std::string(WithoutPrefix(FName)); }

TxmlNode* TxmlNode::CreateSubNode(const std::string& Name, const std::string& Value) {
  auto node = std::make_unique<TxmlNode>(this, FDocument);
  node->FName = Name;
  node->FValue = Value;
  TxmlNode* result = node.get();
  Add(std::move(node));
  return result;
}

TxmlNode* TxmlNode::NodeByName(const std::string& Name, bool CreateIfNotExists) {
  if (Name.find('/') != std::string::npos) throw TxmlError(xmlerr::kSlashInName + Name);
  const std::string lowered = xmlchars::LowerCase(Name);
  for (const auto& child : FItems) {
    if (xmlchars::EqualsLowered(child->FName, lowered)) return child.get();
  }
  return CreateIfNotExists ? CreateSubNode(Name, std::string()) : nullptr;
}

TxmlNode* TxmlNode::NodeByNameWithoutNS(const std::string& name, bool CreateIfNotExists) {
  if (name.find('/') != std::string::npos) throw TxmlError(xmlerr::kSlashInName + name);
  const std::string lowered = xmlchars::LowerCase(name);
  for (const auto& child : FItems) {
    if (xmlchars::EqualsLowered(WithoutPrefix(child->FName), lowered)) return child.get();
  }
  return CreateIfNotExists ? CreateSubNode(name, std::string()) : nullptr;
}

namespace {

// The string path walk shared by both lookups: each step drops leading line
// breaks and takes the text up to the next "/".
template <typename Lookup>
TxmlNode* WalkPath(TxmlNode* start, const std::string& path, Lookup lookup) {
  TxmlNode* node = start;
  std::string_view rest = path;
  while (true) {
    while (!rest.empty() && (rest.front() == '\r' || rest.front() == '\n')) rest.remove_prefix(1);
    const auto slash = rest.find('/');
    std::string element(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    node = lookup(node, element);
    if (node == nullptr || rest.empty()) return node;
  }
}

}  // namespace

TxmlNode* TxmlNode::NodeByPath(const std::string& path, bool CreateIfNotExists) {
  return WalkPath(this, path, [&](TxmlNode* n, const std::string& e) { return n->NodeByName(e, CreateIfNotExists); });
}

TxmlNode* TxmlNode::NodeByPathWithoutNS(const std::string& path) {
  return WalkPath(this, path, [](TxmlNode* n, const std::string& e) { return n->NodeByNameWithoutNS(e, false); });
}

TxmlNode* TxmlNode::NodeByPath(const std::vector<std::string>& path, bool CreateIfNotExists) {
  TxmlNode* node = this;
  for (const auto& name : path) {
    node = node->NodeByName(name, CreateIfNotExists);
    if (node == nullptr) return nullptr;
  }
  return node;
}

TxmlNode* TxmlNode::NodeByPathWithoutNS(const std::vector<std::string>& path) {
  TxmlNode* node = this;
  for (const auto& name : path) {
    node = node->NodeByNameWithoutNS(name, false);
    if (node == nullptr) return nullptr;
  }
  return node;
}

TxmlNode* TxmlNode::StoreSubNode(const std::string& Name, const std::string& Value) {
  TxmlNode* node = NodeByName(Name, true);
  node->SetValue(Value);
  return node;
}

TxmlNode* TxmlNode::StoreNodeWithPath(const std::string& Path, const std::string& Value) {
  TxmlNode* node = NodeByPath(Path, true);
  node->SetValue(Value);
  return node;
}

TxmlNode* TxmlNode::FindSubNode(const std::string& subnames, const std::string& subvalues) {
  const std::vector<std::string> names = SplitCommaText(subnames);
  const std::vector<std::string> values = SplitCommaText(subvalues);
  for (const auto& child : FItems) {
    bool match = true;
    for (std::size_t i = 0; i < names.size() && match; ++i) {
      const TxmlNode* sub = child->NodeByName(names[i], false);
      if (i >= values.size()) throw TxmlError(xmlerr::ListIndexOutOfBounds(static_cast<std::int64_t>(i)));
      match = (sub != nullptr ? sub->FValue : std::string()) == values[i];
    }
    if (match) return child.get();
  }
  return nullptr;
}

void TxmlNode::ClearNodes(const std::string& Name) {
  std::vector<TxmlNode*> pending{this};
  while (!pending.empty()) {
    TxmlNode* node = pending.back();
    pending.pop_back();
    // Children go on the work list in reverse so they are visited in order.
    for (auto it = node->FItems.rbegin(); it != node->FItems.rend(); ++it) {
      if ((*it)->FName == Name) {
        (*it)->Clear();
      } else {
        pending.push_back(it->get());
      }
    }
  }
}

void TxmlNode::RemoveYourselfAndFree() {
  if (FParent == nullptr) throw TxmlError(xmlerr::kRemoveRoot);
  // The returned owner frees this node at the end of the statement.
  FParent->Remove(this);
}

std::string TxmlNode::PathFrom(const TxmlNode* node) const {
  std::vector<const TxmlNode*> chain{this};
  for (const TxmlNode* a = FParent; a != nullptr && a != node; a = a->FParent) chain.push_back(a);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty() || it != chain.rbegin()) path.push_back('/');
    path += (*it)->FName;
  }
  return path;
}

TxmlNode* TxmlNode::PreviousSibling() const {
  if (FParent == nullptr) return nullptr;
  const int index = FParent->IndexOf(this);
  return index > 0 ? FParent->FItems[static_cast<std::size_t>(index - 1)].get() : nullptr;
}

}  // namespace zephron
