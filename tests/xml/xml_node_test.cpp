// The element tree: lookups, creation on demand, tree edits and the node limit.
#include <gtest/gtest.h>

#include "tests/xml/xml_test_util.h"

namespace zephron::test {
namespace {

class XmlTree : public ::testing::Test {
 protected:
  TxmlDocument doc;
  TxmlNode* root = doc.Root();
};

TEST_F(XmlTree, LookupIgnoresCaseAndKeepsStoredCase) {
  TxmlNode* type = root->CreateSubNode("Type", "x");
  EXPECT_EQ(root->NodeByName("TYPE", false), type);
  EXPECT_EQ(root->NodeByName("type", true), type);
  EXPECT_EQ(root->Count(), 1);
  EXPECT_EQ(type->Name(), "Type");
  // Letters beyond ASCII fold too.
  TxmlNode* size = root->CreateSubNode("GRÖSSE", "");
  EXPECT_EQ(root->NodeByName("grösse", false), size);
}

TEST_F(XmlTree, NameWithSlashIsRefusedAndCreatesNothing) {
  EXPECT_EQ(ErrorOf([&] { root->NodeByName("a/b", true); }), "XML node can't contain slash characters: a/b");
  EXPECT_EQ(ErrorOf([&] { root->NodeByNameWithoutNS("a/b", true); }), "XML node can't contain slash characters: a/b");
  EXPECT_EQ(root->Count(), 0);
  TxmlNode* b = root->NodeByPath("a/b", true);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Name(), "b");
  EXPECT_EQ(b->Parent()->Name(), "a");
  EXPECT_EQ(b->Parent()->Parent(), root);
}

TEST_F(XmlTree, DocumentPathStartsBelowTheRoot) {
  root->SetName("Request");
  TxmlNode* type = doc.NodeByPath("Request/Type", true);
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0)->Name(), "Request");
  EXPECT_EQ(type->Parent(), root->Items(0));
}

TEST_F(XmlTree, FirstOfEqualNamesIsFound) {
  TxmlNode* first = root->CreateSubNode("Item", "1");
  root->CreateSubNode("Item", "2");
  EXPECT_EQ(root->NodeByName("item", false), first);
}

TEST_F(XmlTree, LookupWithoutNameSpaceIgnoresChildPrefixesOnly) {
  TxmlNode* x = root->CreateSubNode("ns:X", "");
  EXPECT_EQ(root->NodeByNameWithoutNS("x", false), x);
  EXPECT_EQ(root->NodeByName("x", false), nullptr);
  EXPECT_EQ(root->NodeByNameWithoutNS("ns:x", false), nullptr);
  EXPECT_EQ(x->NameWithoutNameSpace(), "X");
  TxmlNode* created = root->NodeByNameWithoutNS("p:y", true);
  EXPECT_EQ(created->Name(), "p:y");
}

TEST_F(XmlTree, ArrayPathsStopAtTheFirstMissingName) {
  TxmlNode* b = root->NodeByPath(std::vector<std::string>{"a", "b"}, true);
  EXPECT_EQ(doc.NodeByPath(std::vector<std::string>{"A", "B"}, false), b);
  EXPECT_EQ(doc.NodeByPathWithoutNS(std::vector<std::string>{"missing", "a"}), nullptr);
  EXPECT_EQ(root->Count(), 1);
  EXPECT_EQ(root->NodeByPath(std::vector<std::string>{}, false), root);
}

TEST_F(XmlTree, StringPathForms) {
  TxmlNode* b = root->NodeByPath("a/b", true);
  EXPECT_EQ(root->NodeByPath("a/b/", false), b);
  EXPECT_EQ(root->NodeByPath("\r\na/\nb", false), b);
  EXPECT_EQ(root->NodeByPath("", false), nullptr);
  TxmlNode* unnamed = root->NodeByPath("", true);
  EXPECT_EQ(unnamed->Name(), "");
  TxmlNode* c = root->NodeByPath("a//c", true);
  EXPECT_EQ(c->Parent()->Name(), "");
  EXPECT_EQ(c->Parent()->Parent()->Name(), "a");
  EXPECT_EQ(root->NodeByPathWithoutNS("a/missing"), nullptr);
  EXPECT_EQ(root->StoreNodeWithPath("a/b", "v"), b);
  EXPECT_EQ(b->Value(), "v");
}

TEST_F(XmlTree, PathFromNamesAncestorsBelowTheGivenNode) {
  root->SetName("R");
  TxmlNode* b = root->CreateSubNode("A", "")->CreateSubNode("B", "");
  EXPECT_EQ(b->PathFrom(nullptr), "R/A/B");
  EXPECT_EQ(b->PathFrom(root), "A/B");
  EXPECT_EQ(b->PathFrom(b->Parent()), "B");
}

TEST_F(XmlTree, ClearNodesEmptiesExactNamesAtAnyDepth) {
  TxmlNode* top = root->CreateSubNode("Config", "top");
  top->CreateSubNode("x", "1");
  TxmlNode* other = root->CreateSubNode("config", "");
  TxmlNode* inner = other->CreateSubNode("Config", "inner");
  inner->CreateSubNode("y", "2");
  other->CreateSubNode("z", "3");
  doc.ClearNodes("Config");
  EXPECT_EQ(top->Count(), 0);
  EXPECT_EQ(top->Value(), "top");
  EXPECT_EQ(inner->Count(), 0);
  EXPECT_EQ(inner->Value(), "inner");
  EXPECT_EQ(other->Count(), 2);
}

TEST_F(XmlTree, DocumentClearKeepsTheRootAndCountsOn) {
  root->SetName("Request");
  root->SetValue("v");
  root->CreateSubNode("a", "1");
  EXPECT_EQ(doc.NodeCount, 2);
  doc.Clear();
  EXPECT_EQ(root->Count(), 0);
  EXPECT_EQ(root->Name(), "Request");
  EXPECT_EQ(root->Value(), "v");
  root->CreateSubNode("b", "");
  EXPECT_EQ(doc.NodeCount, 3);
}

TEST_F(XmlTree, LastAndPreviousSibling) {
  EXPECT_EQ(root->Last(), nullptr);
  TxmlNode* a = root->CreateSubNode("a", "");
  EXPECT_EQ(a->PreviousSibling(), nullptr);
  TxmlNode* b = root->CreateSubNode("b", "");
  EXPECT_EQ(root->Last(), b);
  EXPECT_EQ(b->PreviousSibling(), a);
  EXPECT_EQ(root->PreviousSibling(), nullptr);
}

TEST_F(XmlTree, IndexOutsideTheListRaisesTheIndexError) {
  root->CreateSubNode("a", "");
  EXPECT_EQ(ErrorOf([&] { root->Items(1); }), "List index out of bounds (1)");
  EXPECT_EQ(ErrorOf([&] { root->Items(-1); }), "List index out of bounds (-1)");
}

TEST_F(XmlTree, RemoveYourselfAndFreeTakesTheNodeOut) {
  root->CreateSubNode("a", "");
  TxmlNode* b = root->CreateSubNode("b", "");
  b->CreateSubNode("c", "");
  b->RemoveYourselfAndFree();
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0)->Name(), "a");
  EXPECT_EQ(ErrorOf([&] { root->RemoveYourselfAndFree(); }), "A node without a parent can't remove itself!");
}

TEST_F(XmlTree, NodeLimitRefusesEveryCreationPastIt) {
  doc.NodeCount = TxmlDocument::kMaxNodes - 1;
  root->CreateSubNode("last", "");
  EXPECT_EQ(ErrorOf([&] { root->CreateSubNode("over", ""); }), "Max nodes per document exceeded!");
  EXPECT_EQ(ErrorOf([&] { root->NodeByName("other", true); }), "Max nodes per document exceeded!");
  EXPECT_EQ(root->Count(), 1);
  EXPECT_GT(doc.NodeCount, TxmlDocument::kMaxNodes);
  // Loading counts toward the limit too.
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromString("<a><b>1</b></a>"); }), "Max nodes per document exceeded!");
}

TEST_F(XmlTree, FindSubNodeMatchesAllListedValues) {
  TxmlNode* first = root->CreateSubNode("row", "");
  first->CreateSubNode("Name", "alpha");
  first->CreateSubNode("Kind", "x y");
  TxmlNode* second = root->CreateSubNode("row", "");
  second->CreateSubNode("Name", "beta");
  second->CreateSubNode("Kind", "x y");
  EXPECT_EQ(root->FindSubNode("name,kind", "beta,\"x y\""), second);
  EXPECT_EQ(root->FindSubNode("name kind", "alpha \"x y\""), first);
  EXPECT_EQ(root->FindSubNode("name", "Alpha"), nullptr);  // values compare exactly
  EXPECT_EQ(root->FindSubNode("", ""), first);
  EXPECT_EQ(ErrorOf([&] { root->FindSubNode("missing", ""); }), "List index out of bounds (0)");
  EXPECT_EQ(ErrorOf([&] { root->FindSubNode("name,kind", "alpha"); }), "List index out of bounds (1)");
  // The second value is never needed when no first value matches.
  EXPECT_EQ(root->FindSubNode("name,kind", "gamma"), nullptr);
  TxmlNode* blank = root->CreateSubNode("row", "");
  EXPECT_EQ(root->FindSubNode("missing", "\"\""), first);  // absent sub-nodes read as empty
  (void)blank;
}

TEST_F(XmlTree, FileValueEscapesAndUnescapesInOnePass) {
  TxmlNode* n = root->CreateSubNode("v", "a<b>&c");
  EXPECT_EQ(n->FileValue(), "a&lt;b&gt;&amp;c");
  n->SetFileValue("&amp;lt; &lt;&LT;&gt&");
  EXPECT_EQ(n->Value(), "&lt; <&LT;&gt&");
}

TEST_F(XmlTree, NodesMovedBetweenParentsKeepTheirSubtree) {
  TxmlNode* a = root->CreateSubNode("a", "");
  TxmlNode* b = root->CreateSubNode("b", "");
  TxmlNode* c = a->CreateSubNode("c", "1");
  c->CreateSubNode("d", "2");
  std::unique_ptr<TxmlNode> taken = a->Remove(c);
  ASSERT_EQ(taken.get(), c);
  EXPECT_EQ(a->Count(), 0);
  EXPECT_EQ(a->Remove(c), nullptr);
  EXPECT_EQ(b->Add(std::move(taken)), 0);
  EXPECT_EQ(c->Parent(), b);
  EXPECT_EQ(b->IndexOf(c), 0);
  EXPECT_EQ(doc.NodeByPath("b/c/d", false)->Value(), "2");
  // A node made without a document counts nowhere.
  TxmlNode detached(nullptr, nullptr);
  detached.CreateSubNode("x", "");
  EXPECT_EQ(doc.NodeCount, 5);
}

TEST_F(XmlTree, NodeMovedToAnotherDocumentBelongsToIt) {
  auto other = std::make_unique<TxmlDocument>();
  TxmlNode* moved = other->Root()->CreateSubNode("Moved", "1");
  moved->CreateSubNode("Below", "2");
  root->SetName("r");
  root->Add(other->Root()->Remove(moved));
  other.reset();
  EXPECT_EQ(moved->Document(), &doc);
  EXPECT_EQ(moved->Items(0)->Document(), &doc);
  moved->Items(0)->CreateSubNode("Made", "3");
  doc.SaveBlankNodes = true;
  moved->CreateSubNode("Blank", "");
  const std::string text = moved->AsString();
  EXPECT_NE(text.find("<Made>3</Made>"), std::string::npos) << text;
  EXPECT_NE(text.find("<Blank></Blank>"), std::string::npos) << text;
}

// A load takes its nodes from shared chunks of memory; each node still
// lives exactly as long as its owner, wherever it went.
TEST(XmlLoadedNodes, OutliveTheirDocumentAndGoOneByOneInBothForms) {
  TxmlDocument source;
  source.Root()->SetName("r");
  // Enough elements for several chunks, the last of them in large pages.
  for (int i = 0; i < 30000; ++i) source.Root()->CreateSubNode("n", std::to_string(i))->CreateSubNode("c", "x");
  for (const bool compact : {false, true}) {
    TxmlMemoryStream saved;
    source.Save(saved, compact);
    saved.SetPosition(0);
    auto loaded = std::make_unique<TxmlDocument>();
    loaded->Load(saved, compact);
    ASSERT_EQ(loaded->Root()->Count(), 30000);
    auto target = std::make_unique<TxmlDocument>();
    TxmlNode* moved = loaded->Root()->Items(0);
    target->Root()->Add(loaded->Root()->Remove(moved));
    std::unique_ptr<TxmlNode> orphan = loaded->Root()->Remove(loaded->Root()->Last());
    loaded->Root()->Items(15000)->RemoveYourselfAndFree();
    loaded.reset();
    EXPECT_EQ(moved->Value(), "0");
    EXPECT_EQ(moved->Document(), target.get());
    moved->CreateSubNode("added", "y");
    EXPECT_EQ(moved->AsText(), "n:0\r\n   c:x\r\n   added:y\r\n");
    target.reset();
    EXPECT_EQ(orphan->Value(), "29999");
    EXPECT_EQ(orphan->Items(0)->Value(), "x");
  }
}

TEST(XmlDeepTree, MillionNestedNodesAreFreedAndWalkedWithoutRecursion) {
  auto doc = std::make_unique<TxmlDocument>();
  TxmlNode* node = doc->Root();
  node->SetName("r");
  for (int i = 0; i < 1'000'000; ++i) node = node->CreateSubNode("n", "");
  EXPECT_EQ(doc->NodeCount, 1'000'001);
  EXPECT_EQ(node->PathFrom(node->Parent()->Parent()), "n/n");
  doc->ClearNodes("none");
  doc.reset();
}

}  // namespace
}  // namespace zephron::test
