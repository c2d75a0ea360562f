#pragma once
// In-memory stand-ins for what the site model talks to: the navigation tree and the main
// frame. They record what the model asked of them so
// tests can check it.

#include "comm/TkLink.h"
#include "comm/protocol/DeviceRecords.h"
#include "site/QorConnection.h"
#include "site/QorView.h"
#include "site/SiteFrame.h"
#include "site/SiteTree.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wvtest {

// A search's record of a found device, as the connection hands it to its device nodes.
inline FoundDeviceRecord Found(uint16_t address, uint8_t type, const char* name = "Dev")
{
    FoundDeviceRecord record;
    record.address = address;
    record.deviceType = type;
    std::strncpy(record.name, name, 16);
    return record;
}

// A tree control: items with text, image, expand button and node, kept in sibling order.
class FakeTree : public CSiteTree {
public:
    struct Item {
        TreeItem parent = kTreeRoot;
        std::string text;
        int image = -1;
        bool hasChildren = false;
        CQorView* node = nullptr;
        std::vector<TreeItem> children;
    };

    TreeItem InsertItem(TreeItem parent, TreeItem insertAfter, std::string_view text, int image, bool hasChildren,
                        CQorView* node) override
    {
        if (parent != kTreeRoot && items_.count(parent) == 0) {
            return kNoTreeItem;
        }
        const TreeItem id = next_++;
        Item item;
        item.parent = parent;
        item.text = text;
        item.image = image;
        item.hasChildren = hasChildren;
        item.node = node;
        std::vector<TreeItem>& siblings = Children(parent);
        auto at = siblings.end();
        if (insertAfter == kTreeFirst) {
            at = siblings.begin();
        } else if (insertAfter == kTreeSort) {
            at = std::find_if(siblings.begin(), siblings.end(),
                              [&](TreeItem s) { return Folded(items_.at(s).text) > Folded(item.text); });
        } else if (insertAfter != kTreeLast) {
            auto after = std::find(siblings.begin(), siblings.end(), insertAfter);
            at = after == siblings.end() ? siblings.end() : after + 1;
        }
        siblings.insert(at, id);
        items_.emplace(id, std::move(item));
        ++inserts;
        return id;
    }

    void DeleteItem(TreeItem item) override
    {
        if (items_.count(item) == 0) {
            return;
        }
        ++deletes;
        const std::vector<TreeItem> children = items_.at(item).children;
        for (TreeItem child : children) {
            DeleteItem(child);
        }
        std::vector<TreeItem>& siblings = Children(items_.at(item).parent);
        siblings.erase(std::find(siblings.begin(), siblings.end(), item));
        items_.erase(item);
        if (selected_ == item) {
            selected_ = kNoTreeItem;
        }
    }

    void Expand(TreeItem item) override { expanded.push_back(item); }

    void SelectItem(TreeItem item) override
    {
        selected_ = item;
        selections.push_back(item);
        if (onSelect) {
            onSelect(item);
        }
    }

    TreeItem GetSelectedItem() const override { return selected_; }

    TreeItem GetChildItem(TreeItem item) const override
    {
        const std::vector<TreeItem>& children = item == kTreeRoot ? roots_ : items_.at(item).children;
        return children.empty() ? kNoTreeItem : children.front();
    }

    bool ItemHasChildren(TreeItem item) const override { return items_.at(item).hasChildren; }
    void SetItemHasChildren(TreeItem item, bool hasChildren) override { items_.at(item).hasChildren = hasChildren; }
    void SetItemText(TreeItem item, std::string_view text) override { items_.at(item).text = text; }
    void SetItemImage(TreeItem item, int image) override { items_.at(item).image = image; }
    CQorView* GetItemNode(TreeItem item) const override
    {
        auto it = items_.find(item);
        return it == items_.end() ? nullptr : it->second.node;
    }
    bool IsAlive() const override { return alive; }
    void Repaint() override { ++repaints; }

    // ---- For the tests ----
    bool Exists(TreeItem item) const { return items_.count(item) != 0; }
    const Item& At(TreeItem item) const { return items_.at(item); }
    const std::string& Text(TreeItem item) const { return items_.at(item).text; }
    int Image(TreeItem item) const { return items_.at(item).image; }
    bool HasButton(TreeItem item) const { return items_.at(item).hasChildren; }
    size_t ItemCount() const { return items_.size(); }
    std::vector<TreeItem> ChildrenOf(TreeItem item) const
    {
        return item == kTreeRoot ? roots_ : items_.at(item).children;
    }
    std::vector<std::string> ChildTexts(TreeItem item) const
    {
        std::vector<std::string> texts;
        for (TreeItem child : ChildrenOf(item)) {
            texts.push_back(items_.at(child).text);
        }
        return texts;
    }

    bool alive = true;
    int inserts = 0;
    int deletes = 0;
    int repaints = 0;
    std::vector<TreeItem> expanded;
    std::vector<TreeItem> selections;
    std::function<void(TreeItem)> onSelect;

private:
    static std::string Folded(std::string s)
    {
        for (char& c : s) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return s;
    }
    std::vector<TreeItem>& Children(TreeItem parent)
    {
        return parent == kTreeRoot ? roots_ : items_.at(parent).children;
    }

    std::map<TreeItem, Item> items_;
    std::vector<TreeItem> roots_;
    TreeItem selected_ = kNoTreeItem;
    TreeItem next_ = 1;
};

// The main frame, registered as the process's main frame while it lives.
class FakeFrame : public CSiteFrame {
public:
    FakeFrame() : previous_(GetMainFrame()) { SetMainFrame(this); }
    ~FakeFrame() override { SetMainFrame(previous_); }

    void BeginBusy() override { ++busyDepth; ++busyCalls; }
    void EndBusy() override { --busyDepth; }
    void SetStatusText(std::string_view text) override
    {
        statusTexts.emplace_back(text);
        if (onStatus) {
            onStatus(statusTexts.back());
        }
    }
    void SetProgress(int percent) override { progress.push_back(percent); }
    bool IsCancelRequested() const override { return cancelRequested; }
    MessageAnswer ShowMessage(const SiteMessage& message) override
    {
        messages.push_back(message);
        if (onMessage) {
            onMessage(message);
        }
        if (answers.empty()) {
            return message.defaultAnswer;
        }
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    MessageAnswer ShowNumberMessage(const SiteMessage& message, int number) override
    {
        messageNumbers.push_back(number);
        return ShowMessage(message);
    }
    void UpdateWindowTitle() override { ++titleUpdates; }
    void SwitchView(ViewId viewId, CQorView* node) override
    {
        switches.emplace_back(viewId, node);
        if (onSwitch) {
            onSwitch(viewId, node);
        }
    }
    void PostViewCommand(uint32_t command) override { posted.push_back(command); }
    bool IsClosingApplication() const override { return closing; }
    void BringToForeground() override { ++foregrounds; }
    std::optional<std::string> AskSavePath(std::string_view suggestedPath) override
    {
        savePathsAsked.emplace_back(suggestedPath);
        return savePathAnswer;
    }

    void SetCancellable() override { ++cancellableMarks; }
    void StartSearchAnimation(uint32_t intervalMs) override
    {
        animationIntervals.push_back(intervalMs);
        animating = true;
    }
    void StopSearchAnimation() override { animating = false; }
    void ShowModemStatus(int state, int code) override { modemStatus.emplace_back(state, code); }
    void ExpandFoundDevices() override { ++expandRequests; }
    void ActivateTreeView() override { ++treeActivations; }
    void Beep() override { ++beeps; }
    void ClearCancelRequest() override { cancelRequested = false; }
    void OnDeviceExpanded() override { ++devicesExpanded; }
    void SuspendBusyLook() override
    {
        if (busyDepth > 0) {
            ++lookSuspensions;
            busyLookShown = false;
        }
    }
    void ResumeBusyLook() override
    {
        if (busyDepth > 0 && --lookSuspensions == 0) {
            busyLookShown = true;
        }
    }
    int ShowCapWarning(std::string_view text, int days, int remindAgain) override
    {
        capWarnings.push_back({std::string(text), days, remindAgain, busyDepth, busyLookShown});
        return capWarningAnswer.value_or(remindAgain);
    }

    std::vector<uint32_t> MessageIds() const
    {
        std::vector<uint32_t> ids;
        for (const SiteMessage& m : messages) {
            ids.push_back(m.textId);
        }
        return ids;
    }

    int busyDepth = 0;
    int busyCalls = 0;
    bool cancelRequested = false;
    bool closing = false;
    int titleUpdates = 0;
    int foregrounds = 0;
    std::vector<std::string> statusTexts;
    std::function<void(const std::string&)> onStatus;
    std::function<void(const SiteMessage&)> onMessage;
    std::vector<int> messageNumbers; // the numbers of ShowNumberMessage, in turn
    int cancellableMarks = 0;
    std::vector<uint32_t> animationIntervals;
    bool animating = false;
    std::vector<std::pair<int, int>> modemStatus;
    int expandRequests = 0;
    int devicesExpanded = 0;
    // The busy look (cursor, greyed commands) while busy and not suspended.
    int lookSuspensions = 0;
    bool busyLookShown = true;
    struct CapWarning {
        std::string text;
        int days;
        int remindAgain;
        int busyDepth;      // the busy count while it showed
        bool busyLook;      // whether the busy look showed with it
    };
    std::vector<CapWarning> capWarnings;
    std::optional<int> capWarningAnswer; // the user's remind-again choice (none: unchanged)
    int treeActivations = 0;
    int beeps = 0;
    std::vector<int> progress;
    std::vector<SiteMessage> messages;
    std::deque<MessageAnswer> answers; // answered in turn; then each message's default
    std::vector<std::pair<ViewId, CQorView*>> switches;
    std::function<void(ViewId, CQorView*)> onSwitch;
    std::vector<uint32_t> posted;
    std::vector<std::string> savePathsAsked;
    std::optional<std::string> savePathAnswer;

private:
    CSiteFrame* previous_;
};

// Gives a connection an (unconnected) link, which makes it open as far as the node is
// concerned; the connection's own opening comes with the device search.
struct ConnectionLineAccess : CQorConnection {
    static void GiveLink(CQorConnection& connection)
    {
        connection.*(&ConnectionLineAccess::m_link) = std::make_unique<CTkLink>();
    }
};

// A node of a kind the site model does not build yet (device, test, channel): answers
// with its type and views.
class TestNode : public CQorView {
public:
    TestNode(NodeType type, CQorView* parent) : type_(type) { SetParent(parent); }
    NodeType GetNodeType() const override { return type_; }
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override
    {
        InsertTreeItem(tree, parentItem, insertAfter, 7, "test node", false);
    }

private:
    NodeType type_;
};

} // namespace wvtest
