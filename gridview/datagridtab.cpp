#include "gridview/datagridtab.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
#include "gridview/datagridtabview.h"
#include "gridview/qtgridmodel.h"
#include "gridview/qtgridview.h"
#include "logdata/rowquery.h"

namespace brevadin {

namespace {

// Where the grid lies inside the tab strip's area, in pixels.
constexpr int kGridLeft = 8;
constexpr int kGridTop = 32;
constexpr int kGridWidthLess = 15;
constexpr int kGridHeightLess = 40;

QHBoxLayout* barLayout(QWidget* bar) {
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 2, 0, 2);
    return layout;
}

}  // namespace

DataGridTab::DataGridTab(QWidget* parent)
    : QWidget(parent),
      tabLogViews_(new QTabBar(this)),
      hfgLogView_(new GridView(this)),
      mnuTab_(new QMenu(QStringLiteral("タブ(&T)"), this)),
      mitmDelete_(nullptr),
      mnuCopy_(new QMenu(QStringLiteral("コピー(&C)"), this)),
      mitmSelectAll_(nullptr),
      mitmCopy_(nullptr),
      mitmFilterValue_(nullptr),
      mitmExcludeValue_(nullptr),
      mitmFind_(new QAction(QStringLiteral("検索(&F)"), this)),
      mitmFilter_(new QAction(QStringLiteral("絞り込み(&L)"), this)),
      mitmCloseTab_(new QAction(QStringLiteral("タブの削除(&D)"), this)),
      filterBar_(new QWidget(this)),
      txtFilter_(new QLineEdit(filterBar_)),
      lblFilterError_(new QLabel(filterBar_)),
      findBar_(new QWidget(this)),
      txtFind_(new QLineEdit(findBar_)),
      chkMatchCase_(new QCheckBox(QStringLiteral("大文字と小文字を区別する"), findBar_)),
      lblFindStatus_(new QLabel(findBar_)) {
    setFont(logViewFont());

    tabLogViews_->setObjectName(QStringLiteral("tabLogViews"));
    tabLogViews_->setExpanding(false);
    tabLogViews_->setDrawBase(false);  // the page frame below is drawn by paintEvent
    tabLogViews_->setUsesScrollButtons(true);
    tabLogViews_->addTab(QString());
    views_.push_back(std::make_unique<TabView>());
    tabLogViews_->installEventFilter(this);
    connect(tabLogViews_, &QTabBar::currentChanged, this, [this] {
        if (!changingTabs_) onTabSelected();
    });
    connect(tabLogViews_, &QTabBar::tabCloseRequested, this, [this](int tab) { RemoveTab(tab); });

    hfgLogView_->setObjectName(QStringLiteral("hfgLogView"));
    hfgLogView_->installEventFilter(this);
    hfgLogView_->viewport()->installEventFilter(this);
    connect(hfgLogView_, &QAbstractItemView::doubleClicked, this,
            &DataGridTab::onGridDoubleClicked);

    mnuTab_->setObjectName(QStringLiteral("mnuTab"));
    mitmDelete_ = mnuTab_->addAction(QStringLiteral("このタブを削除(&D)"));
    mitmDelete_->setObjectName(QStringLiteral("mitmDelete"));
    connect(mitmDelete_, &QAction::triggered, this,
            [this] { RemoveTab(std::exchange(menuTab_, -1)); });

    mnuCopy_->setObjectName(QStringLiteral("mnuCopy"));
    mitmSelectAll_ = mnuCopy_->addAction(QStringLiteral("全て選択(&A)"));
    mitmSelectAll_->setObjectName(QStringLiteral("mitmSelectAll"));
    connect(mitmSelectAll_, &QAction::triggered, this, &DataGridTab::SelectAll);
    mitmCopy_ = mnuCopy_->addAction(QStringLiteral("コピー(&C)"));
    mitmCopy_->setObjectName(QStringLiteral("mitmCopy"));
    connect(mitmCopy_, &QAction::triggered, this, &DataGridTab::CopySelected);
    mnuCopy_->addSeparator();
    mitmFilterValue_ = mnuCopy_->addAction(QStringLiteral("この値で絞り込む"));
    mitmFilterValue_->setObjectName(QStringLiteral("mitmFilterValue"));
    mitmExcludeValue_ = mnuCopy_->addAction(QStringLiteral("この値を除外"));
    mitmExcludeValue_->setObjectName(QStringLiteral("mitmExcludeValue"));
    for (QAction* a : {mitmFilterValue_, mitmExcludeValue_}) {
        const bool exclude = a == mitmExcludeValue_;
        connect(a, &QAction::triggered, this, [this, exclude] {
            if (menuRow_ >= 0 && menuCol_ >= 0)
                FilterByCell(static_cast<size_t>(menuRow_), static_cast<size_t>(menuCol_), exclude);
        });
    }

    // The filter bar above the grid.
    filterBar_->setObjectName(QStringLiteral("filterBar"));
    QHBoxLayout* filterLayout = barLayout(filterBar_);
    auto* filterCaption = new QLabel(QStringLiteral("絞り込み:"), filterBar_);
    filterCaption->setBuddy(txtFilter_);
    txtFilter_->setObjectName(QStringLiteral("txtFilter"));
    txtFilter_->setClearButtonEnabled(true);
    txtFilter_->installEventFilter(this);
    // The message names the user's own text, shown as it is.
    lblFilterError_->setObjectName(QStringLiteral("lblFilterError"));
    lblFilterError_->setTextFormat(Qt::PlainText);
    lblFilterError_->setStyleSheet(QStringLiteral("color: #c00000;"));
    filterLayout->addWidget(filterCaption);
    filterLayout->addWidget(txtFilter_, 1);
    filterLayout->addWidget(lblFilterError_);
    filterBar_->hide();  // until a tab holds a table
    connect(txtFilter_, &QLineEdit::returnPressed, this,
            [this] { ApplyFilter(txtFilter_->text()); });
    // The clear button empties the box: that is no filter at all.
    connect(txtFilter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && !FilterText().isEmpty()) ApplyFilter(QString());
    });
    mitmFilter_->setObjectName(QStringLiteral("mitmFilter"));
    mitmFilter_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    mitmFilter_->setShortcutContext(Qt::WindowShortcut);
    connect(mitmFilter_, &QAction::triggered, this, [this] {
        txtFilter_->setFocus(Qt::ShortcutFocusReason);
        txtFilter_->selectAll();
    });

    // The find bar under the grid, hidden until asked for.
    findBar_->setObjectName(QStringLiteral("findBar"));
    QHBoxLayout* findLayout = barLayout(findBar_);
    auto* findCaption = new QLabel(QStringLiteral("検索:"), findBar_);
    findCaption->setBuddy(txtFind_);
    txtFind_->setObjectName(QStringLiteral("txtFind"));
    txtFind_->installEventFilter(this);
    chkMatchCase_->setObjectName(QStringLiteral("chkMatchCase"));
    lblFindStatus_->setObjectName(QStringLiteral("lblFindStatus"));
    lblFindStatus_->setTextFormat(Qt::PlainText);
    findLayout->addWidget(findCaption);
    findLayout->addWidget(txtFind_, 2);
    findLayout->addWidget(chkMatchCase_);
    findLayout->addWidget(lblFindStatus_, 1);
    findBar_->hide();
    mitmFind_->setObjectName(QStringLiteral("mitmFind"));
    mitmFind_->setShortcut(QKeySequence::Find);
    mitmFind_->setShortcutContext(Qt::WindowShortcut);
    connect(mitmFind_, &QAction::triggered, this, &DataGridTab::ShowFindBar);
    addAction(mitmFind_);
    addAction(mitmFilter_);
    // The keys browsers use for their tabs.
    mitmCloseTab_->setObjectName(QStringLiteral("mitmCloseTab"));
    mitmCloseTab_->setShortcuts(QKeySequence::Close);
    connect(mitmCloseTab_, &QAction::triggered, this, [this] { RemoveTab(); });
    for (const int step : {1, -1}) {
        auto* a = new QAction(this);
        QList<QKeySequence> keys = QKeySequence::keyBindings(
            step > 0 ? QKeySequence::NextChild : QKeySequence::PreviousChild);
        keys << QKeySequence(Qt::CTRL | (step > 0 ? Qt::Key_PageDown : Qt::Key_PageUp));
        // The standard binding is Ctrl+Shift+Backtab, but the shortcut map
        // looks a Ctrl+Shift+Tab press up as Ctrl+Shift+Tab or Ctrl+Backtab.
        if (step < 0) keys << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab);
        a->setShortcuts(keys);
        connect(a, &QAction::triggered, this, [this, step] { StepTab(step); });
        addAction(a);
    }
    for (QAction* a : actions()) a->setShortcutContext(Qt::WindowShortcut);
    mitmCloseTab_->setShortcutContext(Qt::WindowShortcut);
    addAction(mitmCloseTab_);

    QHeaderView* header = hfgLogView_->horizontalHeader();
    connect(header, &QHeaderView::sectionClicked, this, &DataGridTab::SortByColumn);

    setTabCount(0);
    layoutChildren();
}

DataGridTab::~DataGridTab() = default;

RecordsetPtr DataGridTab::Recordset() const {
    return hfgLogView_->DataSource();
}

DataGridTab::TabView* DataGridTab::selectedView() const {
    const int tab = tabLogViews_->currentIndex();
    if (tabCount_ == 0 || tab < 0 || static_cast<size_t>(tab) >= views_.size()) return nullptr;
    TabView* view = views_[static_cast<size_t>(tab)].get();
    return view->table ? view : nullptr;
}

size_t DataGridTab::ShownRows() const {
    return hfgLogView_->gridModel()->rows();
}

size_t DataGridTab::TotalRows() const {
    return bound_ ? bound_->all.size() : 0;
}

const std::vector<uint32_t>& DataGridTab::ShownRowList() const {
    return hfgLogView_->gridModel()->rowList();
}

const void* DataGridTab::SelectedTab() const {
    return selectedView();
}

bool DataGridTab::SelectTab(const void* tab, const brevadin::Recordset* table) {
    for (size_t i = 0; i < views_.size(); ++i) {
        if (views_[i].get() != tab || views_[i]->table.get() != table) continue;
        setTabIndex(static_cast<int>(i) + 1);
        return true;
    }
    return false;
}

void DataGridTab::setTabCount(int count) {
    if (count != 0) hfgLogView_->show();
    if (count == 0) {
        tabLogViews_->setTabText(0, QString());
        hfgLogView_->hide();
    }
    tabCount_ = count;
    tabLogViews_->setTabsClosable(count > 0);
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
        views_.push_back(std::make_unique<TabView>());
    }
    tabLogViews_->setTabText(tab, plainCaption(name));
    TabView& view = *views_[static_cast<size_t>(tab)];
    view = TabView{};
    view.table = std::move(recordset);
    if (view.table) {
        // Newest first: descending on the first two fields, the first one first.
        view.all = view.table->view();
        std::vector<SortKey> keys;
        for (size_t c = 0; c < std::min<size_t>(2, view.table->fieldCount()); ++c)
            keys.push_back({c, true});
        sortRows(*view.table, view.all, keys);
        view.shown = view.all;
    }
    setTabIndex(tabCount_);
    layoutChildren();
}

void DataGridTab::RemoveTab(int tab) {
    const int shown = tabLogViews_->currentIndex();
    if (tab < 0) tab = shown;
    if (tab < tabCount_) {
        if (bound_ == views_[static_cast<size_t>(tab)].get()) bound_ = nullptr;
        *views_[static_cast<size_t>(tab)] = TabView{};
        if (tabCount_ > 1) {
            QScopedValueRollback guard(changingTabs_, true);
            tabLogViews_->removeTab(tab);
            views_.erase(views_.begin() + tab);
        }
        setTabCount(tabCount_ - 1);
    }
    // Closing another tab leaves the shown one's scroll and current cell be.
    if (tab == shown) bindSelectedTab();
}

void DataGridTab::StepTab(int step) {
    if (tabCount_ < 2) return;
    tabLogViews_->setCurrentIndex((tabLogViews_->currentIndex() + step + tabCount_) % tabCount_);
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
    if (event->key() == Qt::Key_F3) {
        FindNext(!(event->modifiers() & Qt::ShiftModifier));
        return true;
    }
    if (event->key() == Qt::Key_Escape && !findBar_->isHidden()) {
        HideFindBar();
        return true;
    }
    return false;
}

bool DataGridTab::barKeyPress(QObject* box, QKeyEvent* event) {
    const int key = event->key();
    if (box == txtFilter_ && key == Qt::Key_Escape) {
        // Emptying the box applies no filter (once, through textChanged).
        txtFilter_->clear();
        lblFilterError_->clear();
        return true;
    }
    if (box != txtFind_) return false;
    if (key == Qt::Key_Escape) {
        HideFindBar();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F3) {
        FindNext(!(event->modifiers() & Qt::ShiftModifier));
    } else {
        return false;
    }
    return true;
}

void DataGridTab::gridMousePress(QMouseEvent* event) {
    if (event->buttons() == Qt::RightButton) {
        // The value commands take the cell under the pointer, not the
        // decorated text the grid may show for it.
        const QModelIndex index = hfgLogView_->indexAt(event->position().toPoint());
        menuRow_ = index.isValid() ? index.row() : -1;
        menuCol_ = index.isValid() ? index.column() : -1;
        mitmFilterValue_->setEnabled(index.isValid());
        mitmExcludeValue_->setEnabled(index.isValid());
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
    // The grid hands the rows of the tab it showed back to that tab.
    if (bound_) bound_->shown = hfgLogView_->gridModel()->takeRows();
    bound_ = selectedView();
    // Binding drops the grid's hold on the table it showed before.
    if (bound_) {
        hfgLogView_->setDataSource(bound_->table, std::move(bound_->shown));
        bound_->shown = {};
    } else {
        hfgLogView_->setDataSource(nullptr);
    }
    showSortIndicator(bound_);
    txtFilter_->setText(FilterText());
    lblFilterError_->clear();
    lblFindStatus_->clear();
    filterBar_->setVisible(bound_ != nullptr);
    hfgLogView_->setVisible(bound_ != nullptr);
    layoutChildren();
    Q_EMIT RowsChanged();
}

void DataGridTab::layoutChildren() {
    const int w = std::max(width(), 1);
    const int h = std::max(height(), 1);
    const int barHeight = std::clamp(tabLogViews_->sizeHint().height(), 1, h);
    tabLogViews_->setGeometry(0, 0, w, barHeight);
    const int barWidth = std::max(w - kGridWidthLess, 1);
    const int filterHeight = filterBar_->isHidden() ? 0 : filterBar_->sizeHint().height();
    const int findHeight = findBar_->isHidden() ? 0 : findBar_->sizeHint().height();
    filterBar_->setGeometry(kGridLeft, kGridTop, barWidth, filterHeight);
    const int gridHeight = std::max(h - kGridHeightLess - filterHeight - findHeight, 1);
    hfgLogView_->setGeometry(kGridLeft, kGridTop + filterHeight, barWidth, gridHeight);
    findBar_->setGeometry(kGridLeft, kGridTop + filterHeight + gridHeight, barWidth, findHeight);
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
    if (event->type() == QEvent::KeyPress && (watched == txtFilter_ || watched == txtFind_)) {
        if (barKeyPress(watched, static_cast<QKeyEvent*>(event))) return true;
    }
    if (event->type() == QEvent::MouseButtonPress && watched == hfgLogView_->viewport()) {
        gridMousePress(static_cast<QMouseEvent*>(event));
    }
    if (watched == tabLogViews_ && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // The menu acts on the tab clicked, selected or not.
        if (mouse->buttons() == Qt::RightButton) {
            menuTab_ = tabLogViews_->tabAt(mouse->position().toPoint());
            mnuTab_->popup(mouse->globalPosition().toPoint());
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace brevadin
