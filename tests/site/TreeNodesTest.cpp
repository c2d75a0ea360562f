// The node base, the list node, the default progress callback and the result codes.

#include "site/AppErrorCode.h"
#include "site/DefaultCallback.h"
#include "site/QorList.h"
#include "site/QorView.h"

#include "tests/site/SiteFakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using wvtest::FakeFrame;
using wvtest::FakeTree;

// A node that shows a fixed label, like the concrete nodes do.
class LabelNode : public CQorView {
public:
    explicit LabelNode(std::string label, int image = 5) : label_(std::move(label)), image_(image) {}
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override
    {
        InsertTreeItem(tree, parentItem, insertAfter, image_, label_, expand);
    }
    bool expand = false;

private:
    std::string label_;
    int image_;
};

NodeOwner<CQorList> MakeList(const std::string& label, int32_t key = 0, int flag = 0)
{
    auto list = MakeNode<CQorList>();
    list->SetLabel(label);
    list->SetKey(key);
    list->SetFlag(flag);
    return list;
}

// ---- CQorView ------------------------------------------------------------------------------

TEST(QorView, StartsEmptyAndAnswersAsAPlainNode)
{
    LabelNode node("a");
    EXPECT_EQ(node.GetParent(), nullptr);
    EXPECT_EQ(node.GetTreeItem(), kNoTreeItem);
    EXPECT_EQ(node.GetTree(), nullptr);
    EXPECT_EQ(node.GetFrame(), nullptr);
    EXPECT_EQ(node.GetFlag(), 0);
    EXPECT_EQ(node.GetNodeType(), NodeType::Plain);
    EXPECT_EQ(node.GetViewId(1), ViewId::None);
    node.SetFlag(0x1234); // the low byte is kept
    EXPECT_EQ(node.GetFlag(), 0x34);
}

TEST(QorView, InsertsItsItemOnceAndTakesTheMainFrame)
{
    FakeTree tree;
    FakeFrame frame;
    LabelNode node("Lake", 9);
    const TreeItem item = node.InsertTreeItem(&tree, kTreeRoot, kTreeLast, 9, "Lake", true);
    ASSERT_NE(item, kNoTreeItem);
    EXPECT_EQ(node.GetTreeItem(), item);
    EXPECT_EQ(node.GetParentItem(), kTreeRoot);
    EXPECT_EQ(node.GetTree(), &tree);
    EXPECT_EQ(node.GetFrame(), &frame);
    EXPECT_EQ(tree.Text(item), "Lake");
    EXPECT_EQ(tree.Image(item), 9);
    EXPECT_FALSE(tree.HasButton(item));
    EXPECT_EQ(tree.GetItemNode(item), &node);
    EXPECT_EQ(CQorView::GetLastInsertedItem(), item);
    // The tree root is never expanded.
    EXPECT_TRUE(tree.expanded.empty());

    // A second insertion (or AddToTree) returns the item and inserts nothing.
    EXPECT_EQ(node.InsertTreeItem(&tree, kTreeRoot, kTreeLast, 1, "Other", true), item);
    node.AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(tree.ItemCount(), 1u);
    EXPECT_EQ(tree.Text(item), "Lake");
}

TEST(QorView, ExpandsANonRootParentWhenAsked)
{
    FakeTree tree;
    LabelNode parent("p");
    parent.AddToTree(&tree, kTreeRoot, kTreeLast);
    LabelNode quiet("q");
    quiet.AddToTree(&tree, parent.GetTreeItem(), kTreeLast);
    EXPECT_TRUE(tree.expanded.empty());
    LabelNode loud("l");
    loud.expand = true;
    const int repaints = tree.repaints;
    loud.AddToTree(&tree, parent.GetTreeItem(), kTreeLast);
    EXPECT_EQ(tree.expanded, std::vector<TreeItem>{parent.GetTreeItem()});
    EXPECT_GT(tree.repaints, repaints);
}

TEST(QorView, ReinsertChangesTheItemInPlaceOnlyWhenTheButtonChanges)
{
    FakeTree tree;
    LabelNode node("old", 1);
    node.AddToTree(&tree, kTreeRoot, kTreeLast);
    const TreeItem item = node.GetTreeItem();

    // Same state as the item: nothing, not even the text.
    node.ReinsertTreeItem(false, 2, "new");
    EXPECT_EQ(tree.Text(item), "old");
    EXPECT_EQ(tree.Image(item), 1);

    // The button appears: same item, new text and image.
    node.ReinsertTreeItem(true, 2, "new");
    EXPECT_EQ(node.GetTreeItem(), item);
    EXPECT_TRUE(tree.HasButton(item));
    EXPECT_EQ(tree.Text(item), "new");
    EXPECT_EQ(tree.Image(item), 2);
    EXPECT_EQ(tree.inserts, 1);
    EXPECT_EQ(tree.deletes, 0);

    node.ReinsertTreeItem(true, 3, "newer"); // button already there
    EXPECT_EQ(tree.Text(item), "new");
}

TEST(QorView, ChildItemsHangBelowTheNodesItem)
{
    FakeTree tree;
    LabelNode node("device");
    EXPECT_EQ(node.InsertChildItem(kTreeLast, 4, "Channels", true, false), kNoTreeItem);
    node.AddToTree(&tree, kTreeRoot, kTreeLast);
    TreeItem channels = node.InsertChildItem(kTreeLast, 4, "Channels", true, true);
    ASSERT_NE(channels, kNoTreeItem);
    EXPECT_EQ(tree.At(channels).parent, node.GetTreeItem());
    EXPECT_EQ(tree.GetItemNode(channels), &node);
    EXPECT_TRUE(tree.HasButton(channels));
    EXPECT_EQ(tree.expanded, std::vector<TreeItem>{node.GetTreeItem()});

    const TreeItem before = channels;
    node.ReplaceChildItem(channels, false, 6, "Channels (0)");
    EXPECT_EQ(channels, before); // changed in place, the handle stays valid
    EXPECT_FALSE(tree.HasButton(channels));
    EXPECT_EQ(tree.Text(channels), "Channels (0)");
    EXPECT_EQ(tree.Image(channels), 6);
}

TEST(QorView, DestroyingANodeDeletesItsItemWhileTheTreeExists)
{
    FakeTree tree;
    {
        auto node = MakeNode<LabelNode>("a");
        node->AddToTree(&tree, kTreeRoot, kTreeLast);
        node->InsertChildItem(kTreeLast, 1, "child", false, false);
        EXPECT_EQ(tree.ItemCount(), 2u);
    }
    EXPECT_EQ(tree.ItemCount(), 0u);

    // At shut-down the tree goes first: its items are not touched.
    auto node = MakeNode<LabelNode>("b");
    node->AddToTree(&tree, kTreeRoot, kTreeLast);
    tree.alive = false;
    const int deletes = tree.deletes;
    node.reset();
    EXPECT_EQ(tree.deletes, deletes);
}

TEST(QorView, SelectsItsItemWhenItHasOne)
{
    FakeTree tree;
    LabelNode node("a");
    node.SelectTreeItem();
    EXPECT_TRUE(tree.selections.empty());
    node.AddToTree(&tree, kTreeRoot, kTreeLast);
    node.SelectTreeItem();
    EXPECT_EQ(tree.GetSelectedItem(), node.GetTreeItem());
}

// ---- CQorList ------------------------------------------------------------------------------

TEST(QorList, HasItsDefaultsAndAnswersWithItsFields)
{
    FakeTree tree;
    CQorList list;
    EXPECT_EQ(list.GetIconIndex(), 24);
    EXPECT_EQ(list.GetLabel(), "");
    EXPECT_EQ(list.GetKey(), 0);
    EXPECT_EQ(list.GetChildCount(), 0u);

    list.SetNodeType(NodeType::DataDevice);
    list.SetLabel("SN01234");
    list.SetIconIndex(8);
    list.AddToTree(&tree, kTreeRoot, kTreeLast);
    const TreeItem item = list.GetTreeItem();
    EXPECT_EQ(list.GetNodeType(), NodeType::DataDevice);
    EXPECT_EQ(list.GetViewId(item), ViewId::Empty);
    EXPECT_EQ(list.GetViewId(item + 100), ViewId::None);
    list.SetViewId(ViewId::LowFlowFolder);
    EXPECT_EQ(list.GetViewId(item), ViewId::LowFlowFolder);

    // Setting fields does not touch the item; refreshing does.
    list.SetLabel("SN05678");
    list.SetIconIndex(9);
    EXPECT_EQ(tree.Text(item), "SN01234");
    list.RefreshTreeItem();
    EXPECT_EQ(tree.Text(item), "SN05678");
    EXPECT_EQ(tree.Image(item), 9);
}

TEST(QorList, ShowsAnExpandButtonOnlyWithChildrenInsertedInLabelOrder)
{
    FakeTree tree;
    auto list = MakeList("Folder");
    list->AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_FALSE(tree.HasButton(list->GetTreeItem()));

    list->AddChild(MakeNode<LabelNode>("beta"));
    list->AddChild(MakeNode<LabelNode>("Alpha"));
    list->AddChild(MakeNode<LabelNode>("gamma"));
    list->AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_TRUE(tree.HasButton(list->GetTreeItem()));
    EXPECT_EQ(tree.ChildTexts(list->GetTreeItem()), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    // Children without a parent of their own belong to the list.
    EXPECT_EQ(list->GetChild(0)->GetParent(), list.get());

    // Adding the tree again inserts nothing twice.
    list->AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(tree.ItemCount(), 4u);
}

TEST(QorList, RemovesOneChildOrAllAndDestroysThem)
{
    FakeTree tree;
    auto list = MakeList("Folder");
    list->AddChild(MakeNode<LabelNode>("a"));
    list->AddChild(MakeNode<LabelNode>("b"));
    list->AddChild(MakeNode<LabelNode>("c"));
    list->AddToTree(&tree, kTreeRoot, kTreeLast);

    CQorView* b = list->GetChild(1);
    LabelNode stranger("x");
    list->RemoveChild(&stranger); // not a child: nothing
    EXPECT_EQ(list->GetChildCount(), 3u);
    list->RemoveChild(b);
    EXPECT_EQ(list->GetChildCount(), 2u);
    EXPECT_EQ(tree.ChildTexts(list->GetTreeItem()), (std::vector<std::string>{"a", "c"}));

    list->RemoveAll();
    EXPECT_EQ(list->GetChildCount(), 0u);
    EXPECT_EQ(tree.ItemCount(), 1u);

    // Destroying a list destroys its subtree and every item of it.
    auto inner = MakeList("inner");
    inner->AddChild(MakeNode<LabelNode>("leaf"));
    list->AddChild(std::move(inner));
    list->AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(tree.ItemCount(), 3u);
    list.reset();
    EXPECT_EQ(tree.ItemCount(), 0u);
}

TEST(QorList, FilesANodeIntoTheFirstChildWithItsKeyAndFlag)
{
    CQorList folder;
    folder.AddChild(MakeList("low-flow group", 0, 1));
    folder.AddChild(MakeNode<LabelNode>("a file, not a list"));
    folder.AddChild(MakeList("type 0", 0, 0));
    folder.AddChild(MakeList("type 25", 25, 0));
    folder.AddChild(MakeList("type 25 again", 25, 0));
    auto* lowFlow = static_cast<CQorList*>(folder.GetChild(0));
    auto* type0 = static_cast<CQorList*>(folder.GetChild(2));
    auto* type25 = static_cast<CQorList*>(folder.GetChild(3));

    // Flag 0 never files into a group whose flag is set, even with the same key.
    NodePtr node = MakeNode<LabelNode>("n1");
    CQorView* n1 = node.get();
    EXPECT_TRUE(folder.AddToChildWithKey(0, node, 0));
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(type0->GetChild(0), n1);
    EXPECT_EQ(lowFlow->GetChildCount(), 0u);

    // Any non-zero flag matches a set flag.
    node = MakeNode<LabelNode>("n2");
    EXPECT_TRUE(folder.AddToChildWithKey(0, node, 7));
    EXPECT_EQ(lowFlow->GetChildCount(), 1u);

    node = MakeNode<LabelNode>("n3");
    EXPECT_TRUE(folder.AddToChildWithKey(25, node, 0));
    EXPECT_EQ(type25->GetChildCount(), 1u);

    // No match: the caller keeps the node.
    node = MakeNode<LabelNode>("n4");
    EXPECT_FALSE(folder.AddToChildWithKey(26, node, 0));
    EXPECT_NE(node, nullptr);
    EXPECT_FALSE(folder.AddToChildWithKey(25, node, 1));
    EXPECT_NE(node, nullptr);
}

TEST(QorList, UpdateTreeItemSetsTheButtonWithItsOwnLabel)
{
    FakeTree tree;
    CQorList list;
    list.SetLabel("L");
    list.SetIconIndex(3);
    list.AddToTree(&tree, kTreeRoot, kTreeLast);
    list.SetLabel("M");
    list.UpdateTreeItem(true);
    EXPECT_TRUE(tree.HasButton(list.GetTreeItem()));
    EXPECT_EQ(tree.Text(list.GetTreeItem()), "M");
    list.UpdateTreeItem(false);
    EXPECT_FALSE(tree.HasButton(list.GetTreeItem()));
}

// ---- CDefaultCallback ------------------------------------------------------------------------

TEST(DefaultCallback, ShowsPercentagesModulo101AndNeverCancels)
{
    FakeFrame frame;
    CDefaultCallback callback;
    CCallback& base = callback;
    base.Begin(90);
    EXPECT_EQ(base.Progress(20), 0);
    EXPECT_EQ(callback.GetPercent(), 9); // 110 modulo 101
    EXPECT_EQ(base.Progress(50), 0);
    base.End();
    EXPECT_EQ(frame.progress, (std::vector<int>{90, 9, 59, 0}));
    EXPECT_EQ(callback.GetPercent(), 59); // the end only removes the bar
}

TEST(DefaultCallback, WorksWithoutAMainFrame)
{
    CDefaultCallback callback;
    callback.Begin(100);
    EXPECT_EQ(callback.Progress(1), 0);
    EXPECT_EQ(callback.GetPercent(), 0);
    callback.End();
}

// ---- AppErrorCode ----------------------------------------------------------------------------

TEST(AppErrorCode, TheChannelTableMapsItsCodesAndPassesTheRest)
{
    const std::pair<int, int> cases[] = {
        {0, 0},       {-1, 6002},   {5024, 6040}, {5037, 6040}, {5038, 6040}, {5039, 6040},
        {5040, 6040}, {5025, 6022}, {5030, 6045}, {5061, 6041}, {5076, 6044}, {5080, 6028},
        {5109, 6200}, {5007, 5007}, {5041, 5041}, {212, 212},   {6001, 6001},
    };
    for (const auto& [protocol, app] : cases) {
        EXPECT_EQ(MapProtocolCode(protocol, kChannelErrorMap), app) << protocol;
    }
}

TEST(AppErrorCode, ATableMayCollapseEveryOtherFailureIntoOneCode)
{
    const AppErrorMapEntry table[] = {{0, 0}, {-1, kAppErrNoAnswer}, {5007, kAppErrNoAnswer}};
    EXPECT_EQ(MapProtocolCode(0, table, kAppErrSetName), 0);
    EXPECT_EQ(MapProtocolCode(5007, table, kAppErrSetName), 6002);
    EXPECT_EQ(MapProtocolCode(5025, table, kAppErrSetName), 6010);
    EXPECT_EQ(MapProtocolCode(5025, {}), 5025);
}

} // namespace
