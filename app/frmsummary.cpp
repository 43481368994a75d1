#include "app/frmsummary.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "common/qtcommon.h"
#include "gridview/datagridtab.h"
#include "logdata/rowquery.h"

namespace brevadin {
namespace {

constexpr size_t kTopRows = 20;
// Past a week of hours the bars would be too thin to read: one a day then.
constexpr size_t kMaxHourBars = 7 * 24;

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString number(uint64_t n) {
    return QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(n));
}

struct ListText {
    const char* tab;
    const char* keyHeader;
};
// In SummaryList order.
const ListText kListTexts[kSummaryListCount] = {
    {"クライアント", "クライアント"},
    {"パス", "パス"},
    {"参照元", "参照元"},
    {"ユーザーエージェント", "ユーザーエージェント"},
    {"404 のパス", "パス"},
    {"ステータスコード", "ステータスコード"},
};

}  // namespace

frmSummary::frmSummary(DataGridTab* grid, int timeDiff, QWidget* parent)
    : QWidget(parent, Qt::Window),
      grid_(grid),
      tab_(grid->SelectedTab()),
      table_(grid->Recordset()),
      timeDiff_(timeDiff) {
    setObjectName(QStringLiteral("frmSummary"));
    setAttribute(Qt::WA_DeleteOnClose);
    const int tabIndex = grid->tabLogViews()->currentIndex();
    setWindowTitle(QStringLiteral("集計 - ") + grid->tabLogViews()->tabText(tabIndex));
    // Wholly on the screen at any scale factor.
    const QRect area = screen()->availableGeometry();
    resize(std::min(900, area.width() * 9 / 10), std::min(720, area.height() * 9 / 10));

    auto* top = new QVBoxLayout(this);
    auto* totals = new QGridLayout;
    const char* const kTotals[] = {"要求数:", "転送量 (バイト):", "クライアント数:", "期間:"};
    for (int i = 0; i < 4; ++i) {
        auto* caption = new QLabel(QString::fromUtf8(kTotals[i]), this);
        values_[static_cast<size_t>(i)] = new QLabel(QStringLiteral("集計しています…"), this);
        // Log text, shown as written.
        values_[static_cast<size_t>(i)]->setTextFormat(Qt::PlainText);
        values_[static_cast<size_t>(i)]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        totals->addWidget(caption, i / 2, (i % 2) * 2);
        totals->addWidget(values_[static_cast<size_t>(i)], i / 2, (i % 2) * 2 + 1);
    }
    totals->setColumnStretch(1, 1);
    totals->setColumnStretch(3, 1);
    top->addLayout(totals);

    chartView_ = new QChartView(this);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumHeight(280);
    top->addWidget(chartView_, 3);
    lblNoChart_ = new QLabel(this);
    lblNoChart_->setTextFormat(Qt::PlainText);
    lblNoChart_->hide();
    top->addWidget(lblNoChart_);
    cmdSaveImage_ = new QPushButton(QStringLiteral("画像として保存…"), this);
    cmdSaveImage_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSaveImage_);
    top->addLayout(buttons);
    connect(cmdSaveImage_, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, QStringLiteral("画像として保存"), QString(),
                           QStringLiteral("PNG 画像 (*.png)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // A name typed without an extension gets ".png" before the overwrite question.
        dialog.setDefaultSuffix(QStringLiteral("png"));
        dialog.selectFile(windowTitle() + QStringLiteral(".png"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const QString path = dialog.selectedFiles().front();
        if (!saveChart(path))
            fncCallMessage(QStringLiteral("画像を保存できませんでした: ") + path, kMsgOkOnly,
                           QString(), this);  // plain: a message box of plain text
    });

    tabLists_ = new QTabWidget(this);
    for (size_t l = 0; l < kSummaryListCount; ++l) {
        auto* table = new QTableWidget(0, 3, this);
        table->setHorizontalHeaderLabels({QString::fromUtf8(kListTexts[l].keyHeader),
                                          QStringLiteral("要求数"),
                                          QStringLiteral("転送量 (バイト)")});
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->verticalHeader()->hide();
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        table->setWordWrap(false);
        connect(table, &QTableWidget::cellDoubleClicked, this,
                [this, l](int row, int) { filterByEntry(static_cast<SummaryList>(l), row); });
        lists_[l] = table;
        tabLists_->addTab(table, QString::fromUtf8(kListTexts[l].tab));
        // A list the table has no field for (IIS logs name no referrer) stays out.
        if (summaryClause(*table_, static_cast<SummaryList>(l), "").empty())
            tabLists_->setTabVisible(static_cast<int>(l), false);
    }
    top->addWidget(tabLists_, 2);
    // Our own copy: the table's built-in one takes only the current cell.
    auto* copy = new QShortcut(QKeySequence::Copy, tabLists_);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this,
            [this] { copyList(static_cast<SummaryList>(tabLists_->currentIndex())); });

    connect(grid_, &DataGridTab::RowsChanged, this, &frmSummary::onRowsChanged);
    recompute();
}

frmSummary::~frmSummary() {
    if (cancel_) *cancel_ = true;
}

void frmSummary::recompute() {
    if (cancel_) *cancel_ = true;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    filter_ = grid_->FilterText().toStdString();
    rows_ = grid_->ShownRows();
    // The worker gets its own copies: the tab may filter again or close meanwhile.
    std::vector<uint32_t> rows = grid_->ShownRowList();
    RecordsetPtr table = table_;
    const int diff = timeDiff_;
    using Result = std::optional<Summary>;
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this, [this, watcher, cancel] {
        watcher->deleteLater();
        Result r = watcher->result();
        if (!*cancel && r) showSummary(std::move(*r));
    });
    watcher->setFuture(QtConcurrent::run([table, rows = std::move(rows), diff, cancel] {
        return summarize(*table, rows, diff, kTopRows, [cancel] { return cancel->load(); });
    }));
}

void frmSummary::onRowsChanged() {
    // The signal speaks of the selected tab, which need not be ours.
    if (grid_->SelectedTab() != tab_ || grid_->Recordset() != table_) return;
    if (grid_->FilterText().toStdString() == filter_ && grid_->ShownRows() == rows_) return;
    recompute();
}

void frmSummary::showSummary(Summary s) {
    values_[0]->setText(number(s.requests));
    values_[1]->setText(number(s.bytes));
    values_[2]->setText(number(s.clients));
    values_[3]->setText(s.first ? fromUtf8(summaryMomentText(*s.first)) + QStringLiteral(" ～ ") +
                                      fromUtf8(summaryMomentText(*s.last))
                                : QStringLiteral("-"));
    for (size_t l = 0; l < kSummaryListCount; ++l) {
        QTableWidget* table = lists_[l];
        const auto& entries = s.lists[l];
        table->setRowCount(static_cast<int>(entries.size()));
        for (size_t r = 0; r < entries.size(); ++r) {
            const int row = static_cast<int>(r);
            table->setItem(row, 0, new QTableWidgetItem(fromUtf8(entries[r].key)));
            for (int c = 1; c < 3; ++c) {
                auto* item =
                    new QTableWidgetItem(number(c == 1 ? entries[r].requests : entries[r].bytes));
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table->setItem(row, c, item);
            }
        }
    }
    const bool chart = s.hasMomentField && !s.hours.empty();
    chartView_->setVisible(chart);
    cmdSaveImage_->setEnabled(chart);
    lblNoChart_->setText(
        s.hasMomentField
            ? QStringLiteral("日時を読み取れる行がないため、時間ごとのグラフは表示できません。")
            : QStringLiteral(
                  "このログには日時のフィールドがないため、時間ごとのグラフは表示できません。"));
    lblNoChart_->setVisible(!chart);
    if (chart) drawChart(s);
    summary_ = std::move(s);
    Q_EMIT updated();
}

void frmSummary::drawChart(const Summary& s) {
    // A bar per hour, or per day over a week; days start at 0時 of the zone shown.
    const bool daily = s.hours.size() > kMaxHourBars;
    std::vector<SummaryEntry> bars;
    int64_t firstBar = s.firstHour;
    if (daily) {
        // Floored, as hours before 1970 are negative.
        auto dayOf = [](int64_t hour) { return hour >= 0 ? hour / 24 : -((-hour + 23) / 24); };
        firstBar = dayOf(s.firstHour);
        for (size_t i = 0; i < s.hours.size(); ++i) {
            const auto at =
                static_cast<size_t>(dayOf(s.firstHour + static_cast<int64_t>(i)) - firstBar);
            if (bars.size() <= at) bars.resize(at + 1);
            bars[at].requests += s.hours[i].requests;
            bars[at].bytes += s.hours[i].bytes;
        }
    } else {
        bars = s.hours;
    }
    uint64_t maxBytes = 0, maxRequests = 0;
    for (const SummaryEntry& b : bars) {
        maxBytes = std::max(maxBytes, b.bytes);
        maxRequests = std::max(maxRequests, b.requests);
    }
    const bool mega = maxBytes >= 10'000'000;
    const double unit = mega ? 1e6 : 1e3;

    auto* requests = new QBarSet(QStringLiteral("要求数"));
    auto* bytes = new QLineSeries;
    bytes->setName(mega ? QStringLiteral("転送量 (MB)") : QStringLiteral("転送量 (KB)"));
    // A single hour or day is a line of one point: only its marker shows it.
    bytes->setPointsVisible(bars.size() == 1);
    for (size_t i = 0; i < bars.size(); ++i) {
        requests->append(static_cast<qreal>(bars[i].requests));
        bytes->append(static_cast<qreal>(i), static_cast<qreal>(bars[i].bytes) / unit);
    }
    auto* barSeries = new QBarSeries;
    barSeries->append(requests);
    barSeries->setBarWidth(0.8);

    auto* chart = new QChart;
    chart->addSeries(barSeries);
    chart->addSeries(bytes);
    chart->setTitle(daily ? QStringLiteral("日ごとの要求数と転送量")
                          : QStringLiteral("時間ごとの要求数と転送量"));
    chart->legend()->setAlignment(Qt::AlignBottom);

    // Labels on a few bar boundaries only: a label per bar would overlap.
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setRange(-0.5, static_cast<qreal>(bars.size()) - 0.5);
    const size_t step = std::max<size_t>(1, (bars.size() + 11) / 12);
    for (size_t i = 0; i < bars.size(); i += step) {
        const std::string at = daily ? summaryHourText((firstBar + static_cast<int64_t>(i)) * 24)
                                     : summaryHourText(firstBar + static_cast<int64_t>(i));
        // "2003-05-01 13" as "05/01 13時", or "05/01" a day.
        QString label = fromUtf8(at.substr(5, 2) + "/" + at.substr(8, 2));
        if (!daily)
            label += QStringLiteral(" ") + fromUtf8(at.substr(11, 2)) + QStringLiteral("時");
        x->append(label, static_cast<qreal>(i) - 0.5);
    }
    x->setLabelsAngle(-45);
    chart->addAxis(x, Qt::AlignBottom);
    barSeries->attachAxis(x);
    bytes->attachAxis(x);

    auto* left = new QValueAxis;
    left->setTitleText(QStringLiteral("要求数"));
    left->setLabelFormat(QStringLiteral("%d"));
    left->setRange(0, static_cast<qreal>(std::max<uint64_t>(1, maxRequests)) * 1.1);
    left->applyNiceNumbers();
    chart->addAxis(left, Qt::AlignLeft);
    barSeries->attachAxis(left);
    auto* right = new QValueAxis;
    right->setTitleText(bytes->name());
    right->setLabelFormat(QStringLiteral("%.0f"));
    right->setRange(0, std::max(1.0, static_cast<double>(maxBytes) / unit * 1.1));
    right->applyNiceNumbers();
    chart->addAxis(right, Qt::AlignRight);
    bytes->attachAxis(right);

    QChart* old = chartView_->chart();
    chartView_->setChart(chart);
    delete old;
}

bool frmSummary::saveChart(const QString& path) {
    if (!summary_ || summary_->hours.empty()) return false;
    return chartView_->grab().save(path, "PNG");
}

void frmSummary::copyList(SummaryList l) {
    if (!summary_) return;
    // The rows as the exporter writes them, under the header the list shows.
    QString text = fromUtf8(summaryListTsv(*summary_, l));
    QStringList header;
    QTableWidget* table = lists_[static_cast<size_t>(l)];
    for (int c = 0; c < table->columnCount(); ++c) header << table->horizontalHeaderItem(c)->text();
    text.replace(0, text.indexOf(QLatin1Char('\n')), header.join(QLatin1Char('\t')));
    QApplication::clipboard()->setText(text);
}

void frmSummary::filterByEntry(SummaryList l, int row) {
    if (!summary_ || row < 0 || static_cast<size_t>(row) >= summary_->list(l).size()) return;
    const std::string clause = summaryClause(*table_, l, summary_->list(l)[row].key);
    if (clause.empty()) return;
    if (!grid_->SelectTab(tab_, table_.get())) {
        fncCallMessage(QStringLiteral("集計したタブは閉じられています。"), kMsgOkOnly, QString(),
                       this);
        return;
    }
    grid_->AddFilterClause(clause);
    QWidget* main = grid_->window();
    main->raise();
    main->activateWindow();
}

}  // namespace brevadin
