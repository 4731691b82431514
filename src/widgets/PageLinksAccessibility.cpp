// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/PageLinksAccessibility.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBlock>
#include <QTextBrowser>
#include <vector>

namespace quarnel {
namespace {

struct PageLink {
    int start = 0;  // document positions
    int end = 0;
    QString href;
    QString text;
    bool operator==(const PageLink&) const = default;
};

std::vector<PageLink> LinksOf(const QTextDocument& document) {
    std::vector<PageLink> links;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment part = it.fragment();
            const QTextCharFormat format = part.charFormat();
            if (!format.isAnchor() || format.anchorHref().isEmpty()) continue;
            // A change of format inside a link splits it into fragments.
            if (!links.empty() && links.back().href == format.anchorHref() &&
                links.back().end == part.position()) {
                links.back().end += part.length();
                links.back().text += part.text();
            } else {
                links.push_back({part.position(), part.position() + part.length(),
                                 format.anchorHref(), part.text()});
            }
        }
    return links;
}

QTextCursor Selecting(QTextDocument* document, const PageLink& link) {
    QTextCursor cursor(document);
    cursor.setPosition(link.start);
    cursor.setPosition(link.end, QTextCursor::KeepAnchor);
    return cursor;
}

class LinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    LinkAccessible(QTextBrowser* browser, PageLink link)
        : browser_(browser), link_(std::move(link)) {}

    bool isValid() const override { return browser_; }
    // No object of its own: the cache must not take it for the browser's.
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return browser_ ? browser_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return browser_ ? QAccessible::queryAccessibleInterface(browser_->viewport()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? link_.text.simplified() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::Link; }
    QRect rect() const override {
        if (!browser_) return {};
        const QRect local = localRect();
        return {browser_->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.focusable = true;
        s.linked = true;
        if (!browser_) return s;
        s.focused = browser_->hasFocus() && selected();
        s.invisible = !browser_->isVisible();
        s.offscreen = !browser_->viewport()->rect().intersects(localRect());
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& name) override {
        if (!browser_ || (name != pressAction() && name != setFocusAction())) return;
        // Focused as Tab focuses a link: selected and scrolled into view.
        browser_->setFocus();
        browser_->setTextCursor(Selecting(browser_->document(), link_));
        browser_->ensureCursorVisible();
        if (name != pressAction()) return;
        // Followed as Enter follows the focused link: one way for both.
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(browser_, &enter);
    }

    // Whether the browser has this link selected, as Tab selects one.
    bool selected() const {
        const QTextCursor cursor = browser_->textCursor();
        return cursor.selectionStart() == link_.start && cursor.selectionEnd() == link_.end;
    }

  private:
    QRect localRect() const {
        QTextCursor at(browser_->document());
        at.setPosition(link_.start);
        const QRect first = browser_->cursorRect(at);
        at.setPosition(link_.end);
        return first.united(browser_->cursorRect(at));
    }

    QPointer<QTextBrowser> browser_;
    PageLink link_;
};

// The page: Qt's plain interface for the viewport, with the links as children.
class PageAccessible : public QAccessibleWidget {
  public:
    explicit PageAccessible(QTextBrowser* browser)
        : QAccessibleWidget(browser->viewport(), QAccessible::Client), browser_(browser) {}
    ~PageAccessible() override { forget(); }

    int childCount() const override { return int(refreshed().size()); }
    QAccessibleInterface* child(int index) const override {
        const auto& ids = refreshed();
        return index >= 0 && index < int(ids.size()) ? QAccessible::accessibleInterface(ids[index])
                                                     : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto& ids = refreshed();
        for (size_t i = 0; i < ids.size(); ++i)
            if (QAccessible::accessibleInterface(ids[i]) == child) return int(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (QAccessible::Id id : refreshed())
            if (QAccessibleInterface* link = QAccessible::accessibleInterface(id);
                link->rect().contains(x, y))
                return link;
        return nullptr;
    }

    // The link the browser has selected, as Tab selects one, or null.
    QAccessibleInterface* selectedLink() const {
        if (!browser_) return nullptr;
        for (QAccessible::Id id : refreshed()) {
            auto* link = static_cast<LinkAccessible*>(QAccessible::accessibleInterface(id));
            if (link->selected()) return link;
        }
        return nullptr;
    }

  private:
    // The links of the document shown now; read again only after it changed.
    const std::vector<QAccessible::Id>& refreshed() const {
        const QTextDocument* document = browser_ ? browser_->document() : nullptr;
        const int revision = document ? document->revision() : -1;
        if (document == document_ && revision == revision_) return ids_;
        forget();
        document_ = document;
        revision_ = revision;
        if (document)
            for (PageLink& link : LinksOf(*document))
                ids_.push_back(QAccessible::registerAccessibleInterface(
                    new LinkAccessible(browser_, std::move(link))));
        return ids_;
    }
    void forget() const {
        for (QAccessible::Id id : ids_) QAccessible::deleteAccessibleInterface(id);
        ids_.clear();
    }

    QPointer<QTextBrowser> browser_;
    mutable std::vector<QAccessible::Id> ids_;
    mutable const QTextDocument* document_ = nullptr;
    mutable int revision_ = -1;
};

}  // namespace

void ExposePageLinks(QTextBrowser& browser) {
    // Registered before anyone asks, so it stands in for Qt's own.
    auto* page = new PageAccessible(&browser);
    QAccessible::registerAccessibleInterface(page);
    QWidget* viewport = browser.viewport();
    QObject::connect(&browser, &QTextBrowser::sourceChanged, viewport, [viewport] {
        QAccessibleEvent reorder(viewport, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    });
    // Tab moves from link to link by selecting it: say which one has the focus.
    QObject::connect(&browser, &QTextBrowser::cursorPositionChanged, viewport, [&browser, page] {
        if (!QAccessible::isActive() || !browser.hasFocus()) return;
        if (QAccessibleInterface* link = page->selectedLink()) {
            QAccessibleEvent focus(link, QAccessible::Focus);
            QAccessible::updateAccessibility(&focus);
        }
    });
}

}  // namespace quarnel
