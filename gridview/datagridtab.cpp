#include "gridview/datagridtab.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QModelIndex>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "common/qtcommon.h"
#include "gridview/qtgridmodel.h"
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
      mitmDelete_(nullptr),
      mnuCopy_(new QMenu(QStringLiteral("コピー(&C)"), this)),
      mitmSelectAll_(nullptr),
      mitmCopy_(nullptr) {
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
    hfgLogView_->installEventFilter(this);
    hfgLogView_->viewport()->installEventFilter(this);
    connect(hfgLogView_, &QAbstractItemView::doubleClicked, this,
            &DataGridTab::onGridDoubleClicked);

    mnuTab_->setObjectName(QStringLiteral("mnuTab"));
    mitmDelete_ = mnuTab_->addAction(QStringLiteral("このタブを削除(&D)"));
    mitmDelete_->setObjectName(QStringLiteral("mitmDelete"));
    connect(mitmDelete_, &QAction::triggered, this, &DataGridTab::RemoveTab);

    mnuCopy_->setObjectName(QStringLiteral("mnuCopy"));
    mitmSelectAll_ = mnuCopy_->addAction(QStringLiteral("全て選択(&A)"));
    mitmSelectAll_->setObjectName(QStringLiteral("mitmSelectAll"));
    connect(mitmSelectAll_, &QAction::triggered, this, &DataGridTab::SelectAll);
    mitmCopy_ = mnuCopy_->addAction(QStringLiteral("コピー(&C)"));
    mitmCopy_->setObjectName(QStringLiteral("mitmCopy"));
    connect(mitmCopy_, &QAction::triggered, this, &DataGridTab::CopySelected);

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
    tabLogViews_->setTabText(tab, plainCaption(name));
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

void DataGridTab::SelectAll() {
    GridView* grid = hfgLogView_;
    // The far column is the last bound field, not the last column width the
    // grid keeps: those beyond the table hold no text.
    const int64_t farCol = std::max<int64_t>(grid->gridModel()->columnCount(), grid->FixedCols());
    const int64_t farRow = grid->Rows() - grid->FixedRows();
    grid->selectCells(0, grid->FixedCols(), farRow, farCol);
}

void DataGridTab::CopySelected() {
    if (hfgLogView_->isHidden() || !hfgLogView_->DataSource()) return;
    const QString text = hfgLogView_->selectedText();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void DataGridTab::onGridDoubleClicked(const QModelIndex& index) {
    // Only data cells raise the event: the header row and the row-header
    // column are separate widgets, and the space below the last row has no
    // index.
    if (!index.isValid() || !hfgLogView_->DataSource()) return;
    const int64_t row = index.row() + 1;
    const int64_t col = index.column() + 1;
    if (row < hfgLogView_->FixedRows()) return;
    const GridModel* model = hfgLogView_->gridModel();
    Q_EMIT ItemClick(model->fieldName(static_cast<size_t>(col - 1)), hfgLogView_->textAt(row, col));
}

bool DataGridTab::gridKeyPress(QKeyEvent* event) {
    // The character code the key produces: the text a platform gives for a
    // control key, or the code the letter has with Ctrl held (where the
    // platform sends the letter itself).
    int code = 0;
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).unicode() < 0x20) {
        code = text.at(0).unicode();
    } else {
        const Qt::KeyboardModifiers mods =
            event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        const int key = event->key();
        if (mods == Qt::ControlModifier && key >= Qt::Key_A && key <= Qt::Key_Z)
            code = key - Qt::Key_A + 1;
    }
    // The view's own bindings for these two keys would select again without
    // the header row, and put the current cell alone on the clipboard over
    // the copy: the keys stop here.
    if (code == 1) {
        SelectAll();
        return true;
    }
    if (code == 3) {
        CopySelected();
        return true;
    }
    return false;
}

void DataGridTab::gridMousePress(QMouseEvent* event) {
    if (event->buttons() == Qt::RightButton) {
        mnuCopy_->popup(event->globalPosition().toPoint());
    } else if (event->buttons() == Qt::LeftButton) {
        // The press is about to make the cell under the pointer current; its
        // full text then shows when the pointer rests on a long value.
        const QModelIndex index = hfgLogView_->indexAt(event->position().toPoint());
        hfgLogView_->setToolTip(
            plainToolTip(index.isValid() ? hfgLogView_->textAt(index.row() + 1, index.column() + 1)
                                         : hfgLogView_->Text()));
    }
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
    if (event->type() == QEvent::KeyPress && watched == hfgLogView_) {
        if (gridKeyPress(static_cast<QKeyEvent*>(event))) return true;
    }
    if (event->type() == QEvent::MouseButtonPress && watched == hfgLogView_->viewport()) {
        gridMousePress(static_cast<QMouseEvent*>(event));
    }
    if (watched == tabLogViews_ && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // The menu acts on the selected tab, whichever tab was clicked.
        if (mouse->buttons() == Qt::RightButton) mnuTab_->popup(mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace brevadin
