#include "gridview/datagridtab.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <algorithm>
#include <utility>

#include "gridview/qtgridview.h"

namespace brevadin {

namespace {

// Where the grid lies inside the tab strip's area, in pixels.
constexpr int kGridLeft = 8;
constexpr int kGridTop = 32;
constexpr int kGridWidthLess = 15;
constexpr int kGridHeightLess = 40;

}  // namespace

DataGridTab::DataGridTab(QWidget* parent)
    : QWidget(parent),
      tabLogViews_(new QTabBar(this)),
      hfgLogView_(new GridView(this)),
      mnuTab_(new QMenu(QStringLiteral("タブ(&T)"), this)),
      mitmDelete_(nullptr) {
    setFont(logViewFont());

    tabLogViews_->setObjectName(QStringLiteral("tabLogViews"));
    tabLogViews_->setExpanding(false);
    tabLogViews_->setDrawBase(false);  // the page frame below is drawn by paintEvent
    tabLogViews_->setUsesScrollButtons(true);
    tabLogViews_->addTab(QString());
    tables_.resize(1);
    tabLogViews_->installEventFilter(this);
    connect(tabLogViews_, &QTabBar::currentChanged, this, [this] {
        if (!changingTabs_) onTabSelected();
    });

    hfgLogView_->setObjectName(QStringLiteral("hfgLogView"));

    mnuTab_->setObjectName(QStringLiteral("mnuTab"));
    mitmDelete_ = mnuTab_->addAction(QStringLiteral("このタブを削除(&D)"));
    mitmDelete_->setObjectName(QStringLiteral("mitmDelete"));
    connect(mitmDelete_, &QAction::triggered, this, &DataGridTab::RemoveTab);

    setTabCount(0);
    layoutChildren();
}

DataGridTab::~DataGridTab() = default;

RecordsetPtr DataGridTab::Recordset() const {
    return hfgLogView_->DataSource();
}

void DataGridTab::setTabCount(int count) {
    if (count != 0) hfgLogView_->show();
    if (count == 0) {
        tabLogViews_->setTabText(0, QString());
        hfgLogView_->hide();
    }
    tabCount_ = count;
}

void DataGridTab::setTabIndex(int index) {
    if (index < 1 || index > tabCount_) return;
    {
        QScopedValueRollback guard(changingTabs_, true);
        tabLogViews_->setCurrentIndex(index - 1);
    }
    onTabSelected();
    tabIndex_ = index;
}

void DataGridTab::AddTab(const QString& name, RecordsetPtr recordset) {
    setTabCount(tabCount_ + 1);
    int tab = 0;
    if (tabCount_ > 1) {
        QScopedValueRollback guard(changingTabs_, true);
        tab = tabLogViews_->addTab(QString());
        tables_.emplace_back();
    }
    tabLogViews_->setTabText(tab, name);
    tables_[static_cast<size_t>(tab)] = std::move(recordset);
    setTabIndex(tabCount_);
    layoutChildren();
}

void DataGridTab::RemoveTab() {
    if (tabCount_ > 0) {
        const int tab = tabLogViews_->currentIndex();
        tables_[static_cast<size_t>(tab)].reset();
        if (tabCount_ > 1) {
            QScopedValueRollback guard(changingTabs_, true);
            tabLogViews_->removeTab(tab);
            tables_.erase(tables_.begin() + tab);
        }
        setTabCount(tabCount_ - 1);
    }
    bindSelectedTab();
}

void DataGridTab::onTabSelected() {
    if (tabCount_ == 0) return;
    bindSelectedTab();
}

void DataGridTab::bindSelectedTab() {
    const int tab = tabLogViews_->currentIndex();
    RecordsetPtr table;
    if (tabCount_ > 0 && tab >= 0 && static_cast<size_t>(tab) < tables_.size()) {
        table = tables_[static_cast<size_t>(tab)];
    }
    // Binding drops the grid's hold on the table it showed before.
    hfgLogView_->setDataSource(table);
    if (table) {
        // Newest first: descending on the first two fields, the first one first.
        hfgLogView_->setCol(1);
        hfgLogView_->setColSel(2);
        hfgLogView_->Sort();
        hfgLogView_->setCol(1);
    }
    hfgLogView_->setVisible(table != nullptr);
}

void DataGridTab::layoutChildren() {
    const int w = std::max(width(), 1);
    const int h = std::max(height(), 1);
    const int barHeight = std::clamp(tabLogViews_->sizeHint().height(), 1, h);
    tabLogViews_->setGeometry(0, 0, w, barHeight);
    hfgLogView_->setGeometry(kGridLeft, kGridTop, std::max(w - kGridWidthLess, 1),
                             std::max(h - kGridHeightLess, 1));
}

void DataGridTab::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void DataGridTab::paintEvent(QPaintEvent* /*event*/) {
    // The page under the tabs, framed as a tab widget's page is.
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.shape = QTabBar::RoundedNorth;
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    const int top = std::max(tabLogViews_->height() - overlap, 0);
    frame.rect = QRect(0, top, width(), height() - top);
    frame.tabBarSize = tabLogViews_->sizeHint();
    frame.tabBarRect = tabLogViews_->geometry();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

bool DataGridTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabLogViews_ && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // The menu acts on the selected tab, whichever tab was clicked.
        if (mouse->buttons() == Qt::RightButton) mnuTab_->popup(mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace brevadin
