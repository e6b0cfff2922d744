// A view of the toolkit that shows a declarative node tree (views::Node). A function builds the
// tree; the host view keeps the built tree, rebuilds it on the main actor after a published value
// it observes has changed (several changes in a row make one rebuild), and lets a person, a test
// or the owner find nodes by identifier or text and press a button node. It lays out no pixels:
// its own frame is the only geometry it has.
//
// Observations last as long as the host view (or until stopObserving); nothing is observed
// before `observe` is called.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/Published.h"
#include "platform/ui/View.h"
#include "platform/views/Node.h"

namespace ui {

class HostingView : public View {
public:
    using Body = std::function<views::Node()>;
    // Subscribes to something; calls `changed` after each change; the token ends the subscription.
    using Subscribe = std::function<fnd::ObserverToken(std::function<void()> changed)>;

    // Builds the tree once, at once.
    explicit HostingView(Body body, const Rect& frame = {});
    static std::shared_ptr<HostingView> create(Body body, const Rect& frame = {});
    ~HostingView() override;

    std::string_view className() const override { return "HostingView"; }

    // The tree as last built.
    const views::Node& root() const { return root_; }
    // Replaces the function and builds at once.
    void setBody(Body body);
    // Builds the tree again now.
    void rebuild();
    // How many times the tree was built.
    int builds() const { return builds_; }

    // Rebuilds after each change of the published value (on the main actor, coalesced).
    template <class T>
    void observe(const fnd::Published<T>& published) {
        observe([&published](std::function<void()> changed) {
            return published.didSet([changed = std::move(changed)](const T&) { changed(); });
        });
    }
    void observe(const Subscribe& subscribe);
    // Ends every observation.
    void stopObserving();
    std::size_t observations() const { return tokens_.size(); }
    // Whether a rebuild is scheduled on the main actor.
    bool rebuildPending() const { return pending_; }

    // ---- reading the tree ----
    const views::Node* find(std::string_view identifier) const { return views::findByIdentifier(root_, identifier); }
    const views::Node* findText(std::string_view text) const { return views::findByText(root_, text); }
    std::vector<std::string> texts() const { return views::texts(root_); }
    // Presses a button (or flips a toggle) found by identifier or label text, as a person would;
    // false when the view cannot be touched or no such control takes the press.
    bool press(std::string_view identifierOrText);

    // A person's tap on the view itself: runs a tap handler set on it, else presses the root node
    // when it is a button.
    bool tap() override;

private:
    void scheduleRebuild();

    Body body_;
    views::Node root_;
    std::vector<fnd::ObserverToken> tokens_;
    int builds_ = 0;
    bool pending_ = false;
};

}  // namespace ui
