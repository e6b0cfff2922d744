#include "tavro/overlay/TavroOverlay.h"

#include <chrono>
#include <utility>

#include "tavro/agent/TavroAgent.h"
#include "tavro/core/TavroGold.h"
#include "tavro/core/TavroPacing.h"
#include "tavro/core/TavroText.h"
#include "tavro/models/TavroDownloadCard.h"
#include "tavro/models/TavroDownloadRing.h"
#include "tavro/surfaces/WebSurface.h"

namespace tavro {

using namespace std::chrono_literals;
using namespace views;

namespace {

constexpr double launcherSize = 56;
constexpr double pointerSize = 28;
constexpr double ringWidth = 3;

ui::Rect toUi(const TavroRect& r) { return {r.x, r.y, r.width, r.height}; }

}  // namespace

TavroOverlay::TavroOverlay(Key, std::weak_ptr<TavroAgent> agent, std::function<std::shared_ptr<ui::Window>()> appWindow)
    : agent_(std::move(agent)), appWindow_(std::move(appWindow)) {}

TavroOverlay::~TavroOverlay() {
    tokens_.clear();
    if (browser_) browser_->removeFromSuperview();
    // The window leaves the scene with the overlay.
    if (window_) window_->setWindowScene(nullptr);
}

std::shared_ptr<TavroOverlay> TavroOverlay::create(std::shared_ptr<ui::WindowScene> scene,
                                                   std::weak_ptr<TavroAgent> agent,
                                                   std::function<std::shared_ptr<ui::Window>()> appWindow) {
    auto overlay = std::make_shared<TavroOverlay>(Key(), std::move(agent), std::move(appWindow));
    overlay->build(scene);
    return overlay;
}

void TavroOverlay::build(const std::shared_ptr<ui::WindowScene>& scene) {
    const ui::Rect bounds = scene ? scene->screenBounds() : ui::Rect{0, 0, 390, 844};
    window_ = std::make_shared<ui::Window>(bounds);
    window_->setAccessibilityIdentifier(std::string(windowID));
    // Above the app's windows, below system alerts; clear, so the app shows through.
    window_->setWindowLevel(ui::WindowLevel::alert - 1);
    window_->setBackgroundColor(ui::Color::clear());
    if (scene) window_->setWindowScene(scene);

    std::weak_ptr<TavroOverlay> weak = weak_from_this();
    auto host = [&](std::string_view id, views::Node (TavroOverlay::*body)() const, const ui::Rect& frame) {
        auto view = ui::HostingView::create(
            [weak, body] {
                auto self = weak.lock();
                return self ? ((*self).*body)() : views::Empty();
            },
            frame);
        view->setAccessibilityIdentifier(std::string(id));
        view->setHidden(true);
        window_->addSubview(view);
        return view;
    };
    // Back to front: the glowing edge, the panel, the launcher, the pointer.
    glow_ = host(glowID, &TavroOverlay::glowBody, {0, 0, bounds.width, bounds.height});
    glow_->setUserInteractionEnabled(false);
    panel_ = host(panelID, &TavroOverlay::panelBody,
                  {12, bounds.height * 0.45, bounds.width - 24, bounds.height * 0.45 - launcherSize - 24});
    launcher_ = host(launcherID, &TavroOverlay::launcherBody,
                     {bounds.width - launcherSize - 16, bounds.height - launcherSize - 34, launcherSize, launcherSize});
    pointer_ = host(pointerID, &TavroOverlay::pointerBody,
                    {bounds.midX() - pointerSize / 2, bounds.midY() - pointerSize / 2, pointerSize, pointerSize});
    pointer_->setUserInteractionEnabled(false);

    // The download offer fills the panel's slot and its progress ring the launcher's.
    const TavroDownloadCard card{TavroModelDownloads::shared()};
    const TavroDownloadRing ring{card.downloads, ringWidth};
    card_ = [card] { return card.body(); };
    ring_ = [ring] { return ring.body(); };
    card.observe(*panel_);
    ring.observe(*launcher_);
    panel_->rebuild();
    launcher_->rebuild();

    glow_->observe(ui_->glow);
    pointer_->observe(ui_->pointer);
    if (auto agent = agent_.lock()) {
        panel_->observe(agent->goal());
        panel_->observe(agent->status());
        panel_->observe(agent->currentStep());
    }

    tokens_.push_back(ui_->expanded.didSet([this](const bool& open) { panel_->setHidden(!open); }));
    tokens_.push_back(ui_->launcherVisible.didSet([this](const bool& shown) { launcher_->setHidden(!shown); }));
    tokens_.push_back(ui_->glow.didSet([this](const Glow& glow) { glow_->setHidden(!glow.visible); }));
    tokens_.push_back(ui_->pointer.didSet([this](const Pointer& pointer) {
        pointer_->setHidden(!pointer.visible);
        if (pointer.visible && pointer.rect.width > 0 && pointer.rect.height > 0) pointer_->setFrame(toUi(pointer.rect));
    }));
}

// ---- panel and launcher ----

void TavroOverlay::collapse() { ui_->expanded.set(false); }

void TavroOverlay::setLauncherVisible(bool visible) { ui_->launcherVisible.set(visible); }

void TavroOverlay::toggleExpanded() { ui_->expanded.set(!ui_->expanded.value()); }

void TavroOverlay::setCardSlot(Slot card) {
    card_ = std::move(card);
    panel_->rebuild();
}

void TavroOverlay::setRingSlot(Slot ring) {
    ring_ = std::move(ring);
    launcher_->rebuild();
}

views::Node TavroOverlay::launcherBody() const {
    std::weak_ptr<TavroOverlay> weak = std::const_pointer_cast<TavroOverlay>(shared_from_this());
    Node face = ZStack({Circle() | fill(TavroGold::gradient),
                        Image("sparkles") | font(TextStyle::title2, Weight::semibold) | foreground(Color::black())}) |
                frame(launcherSize, launcherSize);
    Node button = Button(std::move(face),
                         [weak] {
                             if (auto self = weak.lock()) self->toggleExpanded();
                         }) |
                  identifier(std::string(launcherID)) | accessibilityLabel(L("Tavro", "Tavro"));
    if (ring_) button = std::move(button) | overlay(ring_());
    return button;
}

views::Node TavroOverlay::panelBody() const {
    std::vector<Node> rows;
    if (card_) rows.push_back(card_());
    if (auto agent = agent_.lock()) {
        if (!agent->goal().value().empty()) {
            rows.push_back(Text(agent->goal().value()) | font(TextStyle::headline) | foreground(Color::white()) |
                           lineLimit(3) | identifier("tavro.sdk.panel.goal"));
        }
        if (const auto& status = agent->status().value()) {
            rows.push_back(Text(*status) | font(TextStyle::subheadline) | foreground(TavroGold::light) |
                           identifier("tavro.sdk.panel.status"));
        }
        if (const auto& step = agent->currentStep().value()) {
            rows.push_back(Text(*step) | font(TextStyle::caption) | foreground(SemanticStyle::secondary) |
                           lineLimit(2) | identifier("tavro.sdk.panel.step"));
        }
    }
    return VStack(std::move(rows), Alignment::leading, 10) | padding(16) |
           background(RoundedRectangle(20, CornerStyle::continuous) | fill(Color::white(0.08, 0.96))) |
           overlay(RoundedRectangle(20, CornerStyle::continuous) | stroke(TavroGold::dark.withOpacity(0.4), 1)) |
           identifier(std::string(panelID));
}

views::Node TavroOverlay::pointerBody() const {
    const Pointer& p = ui_->pointer.value();
    std::vector<Node> layers;
    layers.push_back(Circle() | fill(TavroGold::gradient) | stroke(TavroGold::white, 2) |
                     frame(pointerSize, pointerSize) | animation(Curve::spring, 0.35));
    if (p.rippling) {
        layers.push_back(Circle() | stroke(TavroGold::light, 3) | frame(pointerSize * 2, pointerSize * 2) |
                         animation(Curve::easeOut, 0.25));
    }
    std::vector<Node> texts;
    if (!p.label.empty()) texts.push_back(Text(p.label) | font(TextStyle::caption, Weight::semibold) | lineLimit(1));
    if (!p.caption.empty()) {
        texts.push_back(Text(p.caption) | font(TextStyle::caption) | lineLimit(3) | animation(Curve::easeInOut, 0.3));
    }
    if (!texts.empty()) {
        layers.push_back(VStack(std::move(texts), Alignment::leading, 2) | foreground(Color::black()) |
                         padding(8, Edge::horizontal) | padding(5, Edge::vertical) |
                         background(Capsule() | fill(TavroGold::white)) | padding(pointerSize + 6, Edge::top));
    }
    return ZStack(std::move(layers), Alignment::top) | identifier(std::string(pointerID)) | hitTesting(false) |
           opacity(p.fading ? 0 : 1) | animation(Curve::easeOut, p.fading ? 0.3 : 0.35);
}

views::Node TavroOverlay::glowBody() const {
    const Glow& g = ui_->glow.value();
    Node edge = RoundedRectangle(44, CornerStyle::continuous);
    if (g.waiting) {
        edge = std::move(edge) | stroke(TavroGold::light.withOpacity(0.6), 10) | animation(Curve::easeInOut, 1.2);
    } else {
        edge = std::move(edge) | stroke(TavroGold::gradient, 6) | animation(Curve::easeInOut, 0.6);
    }
    return std::move(edge) | opacity(g.visible ? 1 : 0) | identifier(std::string(glowID)) | hitTesting(false);
}

views::Node TavroOverlay::browserBarBody() const {
    std::weak_ptr<TavroOverlay> weak = std::const_pointer_cast<TavroOverlay>(shared_from_this());
    return HStack({Text(L("Browser", "ブラウザ")) | font(TextStyle::headline) | foreground(Color::white()), Spacer(),
                   Button(Image("xmark.circle.fill") | font(TextStyle::title2) | foreground(TavroGold::light),
                          [weak] {
                              if (auto self = weak.lock()) self->closeBrowser();
                          }) |
                       identifier(std::string(browserCloseID)) | accessibilityLabel(L("Close", "閉じる"))}) |
           padding(16, Edge::horizontal) | frame(std::nullopt, browserBarHeight) |
           background(RoundedRectangle(0) | fill(Color::white(0.08)));
}

// ---- presenter ----

void TavroOverlay::setGlow(bool visible, bool waiting) { ui_->glow.set(Glow{visible, waiting}); }

void TavroOverlay::setPointer(Pointer pointer) {
    ++pointerGeneration_;
    ui_->pointer.set(std::move(pointer));
}

rt::Task<void> TavroOverlay::point(TavroRect at, std::string label) {
    const auto keep = shared_from_this();
    Pointer p = ui_->pointer.value();
    p.visible = true;
    p.fading = false;
    p.rippling = false;
    p.rect = at;
    p.label = std::move(label);
    p.caption.clear();
    setPointer(std::move(p));
    // The spring move, then the pause that lets the user see where the step lands.
    if (co_await rt::sleep(pacing::pointerMove)) (void)co_await rt::sleep(pacing::pointerPause);
}

rt::Task<void> TavroOverlay::say(std::string text) {
    const auto keep = shared_from_this();
    Pointer p = ui_->pointer.value();
    if (!p.visible) {
        const auto app = appWindow_ ? appWindow_() : nullptr;
        const ui::Rect area = app ? app->frame() : window_->frame();
        p.rect = TavroRect{area.midX() - pointerSize / 2, area.midY() - pointerSize / 2, pointerSize, pointerSize};
        p.label.clear();
    }
    p.visible = true;
    p.fading = false;
    p.caption = std::move(text);
    setPointer(std::move(p));
    if (co_await rt::sleep(pacing::captionShow)) (void)co_await rt::sleep(pacing::captionPause);
}

rt::Task<void> TavroOverlay::tap() {
    const auto keep = shared_from_this();
    Pointer p = ui_->pointer.value();
    p.rippling = true;
    ui_->pointer.set(p);
    (void)co_await rt::sleep(pacing::tapRipple);
    Pointer after = ui_->pointer.value();
    after.rippling = false;
    ui_->pointer.set(std::move(after));
}

void TavroOverlay::hideCursor() {
    Pointer p = ui_->pointer.value();
    if (!p.visible || p.fading) return;
    p.fading = true;
    p.rippling = false;
    ui_->pointer.set(std::move(p));
    rt::spawn(fadeOut(weak_from_this(), pointerGeneration_));
}

rt::Task<void> TavroOverlay::fadeOut(std::weak_ptr<TavroOverlay> weak, unsigned generation) {
    (void)co_await rt::sleep(pacing::pointerFade);
    auto self = weak.lock();
    // A pointer placed again meanwhile stays.
    if (!self || self->pointerGeneration_ != generation) co_return;
    self->setPointer(Pointer{});
}

TavroPresenter::WebPage TavroOverlay::showWeb() {
    if (web_) return {web_, ui::Point{0, browserBarHeight}};
    const ui::Rect bounds = window_->bounds();
    browser_ = std::make_shared<ui::View>(ui::Rect{0, 0, bounds.width, bounds.height});
    browser_->setAccessibilityIdentifier(std::string(browserID));
    browser_->setBackgroundColor(ui::Color::black());

    std::weak_ptr<TavroOverlay> weak = weak_from_this();
    browserBar_ = ui::HostingView::create(
        [weak] {
            auto self = weak.lock();
            return self ? self->browserBarBody() : views::Empty();
        },
        {0, 0, bounds.width, browserBarHeight});
    browserBar_->setAccessibilityIdentifier("tavro.sdk.browser.bar");
    auto webView = std::make_shared<ui::WebView>(
        ui::Rect{0, browserBarHeight, bounds.width, bounds.height - browserBarHeight});
    webView->setAccessibilityIdentifier("tavro.sdk.browser.web");
    browser_->addSubview(browserBar_);
    browser_->addSubview(webView);
    // Above the panel and the glow, below the pointer, which keeps pointing into the page.
    window_->insertSubview(browser_, window_->subviews().size() - 1);
    web_ = std::make_shared<WebSurface>(std::move(webView));
    ui_->browserOpen.set(true);
    return {web_, ui::Point{0, browserBarHeight}};
}

void TavroOverlay::hideWeb() {
    if (!browser_ && !web_) return;
    // Kept until the end of this call: the close control that called it lives in the browser.
    const auto browser = std::exchange(browser_, nullptr);
    const auto bar = std::exchange(browserBar_, nullptr);
    web_.reset();
    if (browser) browser->removeFromSuperview();
    ui_->browserOpen.set(false);
}

void TavroOverlay::closeBrowser() {
    // Only a run in progress is stopped: closing the browser after a run has ended keeps that
    // run's outcome on show.
    if (auto agent = agent_.lock(); agent && agent->running().value()) agent->stop(L("Stopped.", "停止しました。"));
    hideWeb();
}

}  // namespace tavro
